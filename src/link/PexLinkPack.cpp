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
    const bool length = !m_packUpload->lengthWritten() && !last;
    const bool written = length ? m_packUpload->writeLength(data)
                                : m_packUpload->write(data) && (!last || m_packUpload->finish());
    if (!written)
        return fail(Failure::BadArgument, QStringLiteral("the compressor failed"));
    Frame told{FrameKind::Block, 0, kBlockMore, {}};
    // A full block goes only once more follows it, so the last block is never empty.
    while (m_packUpload->pending() > kPackBlock || ((last || length) && m_packUpload->pending() > 0)) {
        const bool final = last && m_packUpload->pending() <= kPackBlock;
        if (const qint32 result = sendPackedBlock(final, told))
            return result;
        if (m_packRefusal)
            break;
    }
    m_packTold = told;
    return PexResult::Done;
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
