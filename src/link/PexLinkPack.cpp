// PexLink's compressed block streams (docs/link-protocol.md, "Compression").
//
// The caller's calls stay as they are; beneath them:
// - a file write's "FWT " line goes as block type 6 instead of 0, and what the caller sends after
//   it (the 4-byte length, the file blocks) goes into one deflate stream. The length goes at once,
//   flushed into a short block of its own: the instrument decides on it whether there is room, and
//   a refusal is told before any of the file is compressed and sent. The rest goes on the line a
//   full 256-byte block at a time, and what is left when the caller's last block came as the last
//   block (type 1). Flushing only there keeps the file one stream: flushing after every block of
//   the caller would cost about a third of the gain.
// - "DIR?" and "FRD? name" go as block type 5 instead of 3; the answer is one deflate stream of the
//   bytes the plain answer would carry, decompressed as its blocks arrive and handed to the caller
//   in the pieces of the plain answer, so a caller's 256- or 301-byte buffer fits as before.

#include "link/BlockKinds.h"
#include "link/LinkPack.h"
#include "link/PexLink.h"

#include <QtEndian>

namespace orvalt::link {

namespace {

// The program's compressor: memory is no concern on this side, the instrument's window bounds it
// (packMemLevel).
constexpr int kWriterLevel = 6;
constexpr int kFileReadPiece = 256;
constexpr int kListingPiece = 301;
constexpr int kLengthBytes = 4;

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
    m_packing = Packing::None;
    m_packWriter.reset();
    m_packReader.reset();
    m_packTold.reset();
    m_packRefusal.reset();
    m_packPieceAsked = false;
    m_packLengthSent = false;
    m_packRequestOut = false;
    m_packLastIn = false;
    m_unpacked.clear();
    m_packHanded = 0;
    m_packAnnounced = -1;
}

qint32 PexLink::failStream(const QString& why)
{
    return fail(Failure::BadStream, why);
}

std::optional<qint32> PexLink::sendPacked(qint32 type, const QByteArray& payload)
{
    if (m_packing == Packing::Upload && (type == kBlockMore || type == kBlockFinal))
        return writePacked(type, payload);
    if (m_packing == Packing::Answer && type == kBlockNext) {
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
    m_packing = Packing::Upload;
    m_packWriter = std::make_unique<PackWriter>(m_packAgreed, packMemLevel(m_packAgreed), kWriterLevel);
    if (!m_packWriter->isValid())
        return fail(Failure::BadArgument, QStringLiteral("the compressor could not start"));
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
    const bool length = !m_packLengthSent && !last;
    m_packLengthSent = true;
    if (!m_packWriter->write(data) || (last && !m_packWriter->finish()) || (length && !m_packWriter->flush()))
        return fail(Failure::BadArgument, QStringLiteral("the compressor failed"));
    Frame told{FrameKind::Block, 0, kBlockMore, {}};
    // A full block goes only once more follows it, so the last block is never empty.
    while (m_packWriter->pending() > kPackBlock || ((last || length) && m_packWriter->pending() > 0)) {
        const QByteArray chunk = m_packWriter->take(kPackBlock);
        const bool final = last && m_packWriter->pending() == 0;
        if (const qint32 result = sendBlock(final ? kBlockFinal : kBlockMore, chunk))
            return result;
        Frame answer;
        if (const qint32 result = receiveBlock(answer))
            return result;
        if (answer.tag != kBlockMore || final)
            told = answer;
        if (answer.tag == kBlockRefused) {
            m_packRefusal = answer;
            break;
        }
    }
    m_packTold = told;
    return PexResult::Done;
}

qint32 PexLink::openPackedAnswer(const QByteArray& request)
{
    if (const qint32 result = sendBlock(kBlockPackedCommand, request))
        return result;
    m_packing = Packing::Answer;
    m_packReader = std::make_unique<PackReader>(m_packWanted);
    m_packFileRead = isFileRead(request);
    m_pieceSize = m_packFileRead ? kFileReadPiece : kListingPiece;
    m_packRequestOut = true;
    m_packPieceAsked = true;
    return PexResult::Done;
}

// The next piece of the answer: as large as the plain answer's blocks, and marked last only when
// the stream has ended with nothing after it. At most a piece and one byte are held, whatever the
// size of the file.
qint32 PexLink::nextPiece(Frame& told)
{
    m_packPieceAsked = false;
    for (;;) {
        if (!m_packReader->read(m_unpacked, m_pieceSize + 1 - m_unpacked.size()))
            return failStream(m_packReader->error());
        if (m_unpacked.size() > m_pieceSize || m_packReader->atEnd())
            break;
        if (m_packLastIn)
            return failStream(QStringLiteral("the stream stops short of its end"));
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
        m_packReader->feed(answer.payload);
        m_packLastIn = answer.tag == kBlockLast;
    }
    if (m_packReader->atEnd() && !m_packLastIn)
        return failStream(QStringLiteral("the stream ends before its last block"));

    told = Frame{FrameKind::Block, 0, kBlockMore, m_unpacked.left(m_pieceSize)};
    m_unpacked.remove(0, told.payload.size());
    m_packHanded += told.payload.size();
    const bool last = m_packReader->atEnd() && m_unpacked.isEmpty();
    if (m_packFileRead) {
        // The length at the start is the file's real length: what the stream holds must match it.
        if (m_packAnnounced < 0 && told.payload.size() >= kLengthBytes)
            m_packAnnounced = qFromBigEndian<quint32>(told.payload.constData());
        if (m_packAnnounced < 0 && (last || !told.payload.isEmpty()))
            return failStream(QStringLiteral("the stream is shorter than the file's length field"));
        const qint64 data = m_packHanded - kLengthBytes;
        if (data > m_packAnnounced)
            return failStream(
                QStringLiteral("the stream holds more than the %1 bytes announced").arg(m_packAnnounced));
        if (last && data != m_packAnnounced) {
            return failStream(QStringLiteral("the stream holds %1 of the %2 bytes announced")
                                  .arg(data)
                                  .arg(m_packAnnounced));
        }
    }
    if (last) {
        told.tag = kBlockLast;
        endPack();
    }
    return PexResult::Done;
}

} // namespace orvalt::link
