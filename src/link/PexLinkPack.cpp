// PexLink's compressed block streams (docs/link-protocol.md, "Compression"): a layer above the block
// calls. The stream's own logic is PackedUpload's and PackedAnswer's (PackedStreams.h); here the
// caller's calls become block exchanges of the stream, through sendBlock and receiveBlock alone.
//
// The caller's calls stay as they are; beneath them:
// - a file write's "FWT " line goes as block type 6 instead of 0, and what the caller sends after
//   it (the 4-byte length, the file blocks) goes into one deflate stream. The length goes at once,
//   flushed into a short block of its own: the instrument decides on it whether there is room, and
//   a refusal is told before any of the file is compressed and sent. The rest goes on the line a
//   full 256-byte block at a time, and what is left when the caller's last block came as the last
//   block (type 1).
// - "DIR?" and "FRD? name" go as block type 5 instead of 3; the answer is one deflate stream of the
//   bytes the plain answer would carry, decompressed as its blocks arrive and handed to the caller
//   in the pieces of the plain answer, so a caller's 256- or 301-byte buffer fits as before.

#include "link/BlockKinds.h"
#include "link/PackedStreams.h"
#include "link/PexLink.h"

namespace orvalt::link {

namespace {

// Blocks of compressed data the compressor may hold or have waiting beyond the window: enough that
// it is flushed a few kilobytes at a time (each flush costs a deflate block's header), few enough
// that the caller's count runs little ahead of what the line has carried.
constexpr int kPackAheadBlocks = 4;

bool isFileRead(const QByteArray& request)
{
    return request.startsWith("FRD? ");
}

bool isListing(const QByteArray& request)
{
    return request == "DIR?";
}

} // namespace

void PexLink::setPack(int windowBits)
{
    m_packWanted = windowBits <= 0 ? 0 : qBound(kMinPackWindowBits, windowBits, kMaxPackWindowBits);
    endPack();
    m_packAgreed = -1;
}

void PexLink::endPack()
{
    m_packUpload.reset();
    m_packAnswer.reset();
    m_packTold.reset();
    m_packRefusal.reset();
    m_packPieceAsked = false;
    m_packRequestOut = false;
}

qint32 PexLink::failStream(const QString& why)
{
    return fail(Failure::BadStream, why);
}

std::optional<qint32> PexLink::sendPacked(qint32 type, const QByteArray& payload)
{
    if (m_packUpload && (type == kBlockMore || type == kBlockFinal))
        return writePacked(type, payload);
    if (m_packAnswer && type == kBlockNext) {
        m_packPieceAsked = true;
        return PexResult::Done;
    }
    endPack();
    if (m_packWanted <= 0)
        return std::nullopt;
    const bool upload = type == kBlockMore && payload.startsWith("FWT ");
    const bool answer = type == kBlockCommand && (isFileRead(payload) || isListing(payload));
    if (!upload && !answer)
        return std::nullopt;
    if (m_packAgreed < 0) {
        if (const qint32 result = agreePack())
            return result;
    }
    if (m_packAgreed <= 0)
        return std::nullopt;
    return upload ? openPackedUpload(payload) : openPackedAnswer(payload);
}

qint32 PexLink::agreePack()
{
    endStream();
    Frame answer;
    if (const qint32 result =
            exchange(FrameKind::Command, 0, packRequest(m_packWanted), FrameKind::Reply, answer))
        return result;
    m_packAgreed = answer.tag == 0 ? packWindowOfReply(answer.payload) : 0;
    return PexResult::Done;
}

qint32 PexLink::openPackedUpload(const QByteArray& line)
{
    if (const qint32 result = sendBlock(kBlockPackedWrite, line))
        return result;
    m_packUpload = std::make_unique<PackedUpload>(m_packAgreed);
    if (!m_packUpload->isValid())
        return fail(Failure::BadArgument, QStringLiteral("the compressor could not start"));
    return PexResult::Done;
}

// One block of the stream on the line, and what its answer says: a refusal ends the file.
qint32 PexLink::sendPackedBlock(bool last, Frame& told)
{
    const QByteArray chunk = m_packUpload->takeBlock();
    if (const qint32 result = sendBlock(last ? kBlockFinal : kBlockMore, chunk))
        return result;
    Frame answer;
    if (const qint32 result = receiveBlock(answer))
        return result;
    if (answer.tag != kBlockMore || last)
        told = answer;
    if (answer.tag == kBlockRefused)
        m_packRefusal = answer;
    return PexResult::Done;
}

qint32 PexLink::writePacked(qint32 type, const QByteArray& data)
{
    m_packTold.reset();
    if (m_packRefusal) {
        m_packTold = m_packRefusal; // after a hole nothing more is sent
        return PexResult::Done;
    }
    const bool last = type == kBlockFinal;
    Frame told{FrameKind::Block, 0, kBlockMore, {}};
    if (!m_packUpload->lengthWritten() && !last) {
        if (!m_packUpload->writeLength(data))
            return fail(Failure::BadArgument, QStringLiteral("the compressor failed"));
        while (!m_packRefusal && m_packUpload->hasBlock(true)) {
            if (const qint32 result = sendPackedBlock(false, told))
                return result;
        }
    } else if (!last) {
        // The compressor takes the block only once there is room for what it makes (at most one
        // answer is waited for), and afterwards the line gets what there is room for.
        if (const qint32 result = pacePackedUpload(true, told))
            return result;
        if (!m_packRefusal) {
            if (!m_packUpload->write(data))
                return fail(Failure::BadArgument, QStringLiteral("the compressor failed"));
            if (const qint32 result = pacePackedUpload(false, told))
                return result;
        }
    } else {
        if (!m_packUpload->write(data) || !m_packUpload->finish())
            return fail(Failure::BadArgument, QStringLiteral("the compressor failed"));
        // The rest of the stream, the last block as type 1, whose answer waits for every answer.
        while (!m_packRefusal && m_packUpload->hasBlock(true)) {
            if (const qint32 result = sendPackedBlock(m_packUpload->pending() <= kPackBlock, told))
                return result;
        }
    }
    m_packTold = told;
    return PexResult::Done;
}

// What a compressed write has in flight is bounded by the window in blocks on the line, as a plain
// one: a full block of the stream goes once the window has room for it, and the compressor is fed
// only while what it was given and the line has not acknowledged (the blocks in flight, those
// waiting to go, and what the file bytes it holds will make) is within the window and a few blocks
// more. It holds the bytes until that is full; when, with nothing left waiting to go, they are
// flushed, the line gets them in one go, and meanwhile the caller fills the compressor anew: the
// line never waits, and the stream is flushed a few kilobytes at a time, not after every block.
// So a stop (the second Interruption) waits for the block in hand and the window, compressed or
// not, and the caller's count of bytes sent runs ahead of what was acknowledged by that much.
qint32 PexLink::pacePackedUpload(bool mayWait, Frame& told)
{
    const bool windowed = m_window.stream() == WindowQueue::Stream::Upload;
    const qsizetype room = (qMax(1, m_window.agreed()) + kPackAheadBlocks) * qsizetype(kPackBlock);
    for (;;) {
        // Every full block the window has room for goes at once. One block at a time, each waits for
        // its answer: at most one per call.
        while (!m_packRefusal && m_packUpload->hasBlock(false) && (windowed ? m_window.hasRoom() : mayWait)) {
            if (!windowed)
                mayWait = false;
            if (const qint32 result = sendPackedBlock(false, told))
                return result;
        }
        if (m_packRefusal)
            return PexResult::Done;
        const qsizetype inFlight = windowed ? qsizetype(m_window.unanswered()) * kPackBlock : 0;
        if (inFlight + m_packUpload->pending() + m_packUpload->heldEstimate() < room)
            return PexResult::Done;
        if (!m_packUpload->hasBlock(false) && m_packUpload->held() > 0) {
            if (!m_packUpload->flush())
                return fail(Failure::BadArgument, QStringLiteral("the compressor failed"));
            continue;
        }
        if (!mayWait || !windowed || m_window.unanswered() == 0)
            return PexResult::Done;
        mayWait = false;
        const size_t before = m_window.unanswered();
        const QDeadlineTimer deadline(m_timeoutMs);
        if (const qint32 result = awaitWindow(deadline, [this, before] {
                return m_window.unanswered() < before || m_window.hasLaterAnswer();
            }))
            return result;
        if (m_window.hasLaterAnswer()) {
            // A block was refused: so is the rest of the file, told to the caller now.
            told = m_window.takeLaterAnswer();
            m_packRefusal = told;
        }
    }
}

qint32 PexLink::openPackedAnswer(const QByteArray& request)
{
    if (const qint32 result = sendBlock(kBlockPackedCommand, request))
        return result;
    m_packAnswer = std::make_unique<PackedAnswer>(m_packWanted, isFileRead(request));
    m_packRequestOut = true;
    m_packPieceAsked = true;
    return PexResult::Done;
}

// The next piece of the answer, asking for the stream's blocks as it needs them.
qint32 PexLink::nextPiece(Frame& told)
{
    m_packPieceAsked = false;
    for (;;) {
        const PackedAnswer::Step step = m_packAnswer->next(told);
        if (step == PackedAnswer::Step::Failed)
            return failStream(m_packAnswer->error());
        if (step == PackedAnswer::Step::Piece)
            break;
        if (!m_packRequestOut) {
            if (const qint32 result = sendBlock(kBlockNext, {}))
                return result;
        }
        m_packRequestOut = false;
        Frame answer;
        if (const qint32 result = receiveBlock(answer))
            return result;
        if (answer.tag == kBlockRefused) {
            // The instrument gave up (the file changed, the medium failed): told as it said it.
            told = answer;
            endPack();
            return PexResult::Done;
        }
        if (answer.tag != kBlockMore && answer.tag != kBlockLast)
            return failStream(QStringLiteral("a block of type %1 in the stream").arg(answer.tag));
        m_packAnswer->feed(answer.payload, answer.tag == kBlockLast);
    }
    if (told.tag == kBlockLast)
        endPack();
    return PexResult::Done;
}

} // namespace orvalt::link
