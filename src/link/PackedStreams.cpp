#include "link/PackedStreams.h"

#include "link/BlockKinds.h"

#include <QtEndian>

namespace orvalt::link {

namespace {

// The program's compressor: memory is no concern on this side, the instrument's window bounds it
// (packMemLevel).
constexpr int kWriterLevel = 6;
constexpr int kFileReadPiece = 256;
constexpr int kListingPiece = 301;
constexpr int kLengthBytes = 4;

} // namespace

PackedUpload::PackedUpload(int windowBits)
    : m_writer(windowBits, packMemLevel(windowBits), kWriterLevel)
{}

bool PackedUpload::writeLength(const QByteArray& length)
{
    m_lengthWritten = true;
    return m_writer.write(length) && m_writer.flush();
}

bool PackedUpload::write(const QByteArray& data)
{
    m_held += data.size();
    return m_writer.write(data);
}

void PackedUpload::noteFlushed(qsizetype before)
{
    m_flushedIn += m_held;
    m_flushedOut += m_writer.pending() - before;
    m_held = 0;
}

bool PackedUpload::flush()
{
    const qsizetype before = m_writer.pending();
    if (!m_writer.partialFlush())
        return false;
    noteFlushed(before);
    return true;
}

bool PackedUpload::finish()
{
    const qsizetype before = m_writer.pending();
    if (!m_writer.finish())
        return false;
    noteFlushed(before);
    return true;
}

qsizetype PackedUpload::heldEstimate() const
{
    if (m_flushedIn <= 0)
        return m_held;
    return static_cast<qsizetype>((m_held * m_flushedOut + m_flushedIn - 1) / m_flushedIn);
}

PackedAnswer::PackedAnswer(int windowBits, bool fileRead)
    : m_reader(windowBits)
    , m_fileRead(fileRead)
    , m_pieceSize(fileRead ? kFileReadPiece : kListingPiece)
{}

void PackedAnswer::feed(const QByteArray& data, bool last)
{
    m_reader.feed(data);
    m_lastIn = last;
    m_blockFed = true;
}

PackedAnswer::Step PackedAnswer::failWith(const QString& why)
{
    if (m_error.isEmpty())
        m_error = why;
    return Step::Failed;
}

PackedAnswer::Step PackedAnswer::next(Frame& piece)
{
    if (!m_error.isEmpty())
        return Step::Failed;
    const qsizetype before = m_unpacked.size();
    const bool blockFed = m_blockFed;
    m_blockFed = false;
    if (!m_reader.read(m_unpacked, m_pieceSize + 1 - m_unpacked.size()))
        return failWith(m_reader.error());
    if (m_unpacked.size() > before)
        m_emptyBlocks = 0;
    else if (blockFed && ++m_emptyBlocks >= kMaxEmptyBlocks)
        return failWith(QStringLiteral("%1 blocks in a row brought nothing").arg(m_emptyBlocks));
    if (m_unpacked.size() <= m_pieceSize && !m_reader.atEnd()) {
        if (m_lastIn)
            return failWith(QStringLiteral("the stream stops short of its end"));
        return Step::NeedMore;
    }
    if (m_reader.atEnd() && !m_lastIn)
        return failWith(QStringLiteral("the stream ends before its last block"));

    piece = Frame{FrameKind::Block, 0, kBlockMore, m_unpacked.left(m_pieceSize)};
    m_unpacked.remove(0, piece.payload.size());
    m_handed += piece.payload.size();
    const bool last = m_reader.atEnd() && m_unpacked.isEmpty();
    if (m_fileRead) {
        // The length at the start is the file's real length: what the stream holds must match it.
        if (m_announced < 0 && piece.payload.size() >= kLengthBytes)
            m_announced = qFromBigEndian<quint32>(piece.payload.constData());
        if (m_announced < 0 && (last || !piece.payload.isEmpty()))
            return failWith(QStringLiteral("the stream is shorter than the file's length field"));
        const qint64 data = m_handed - kLengthBytes;
        if (data > m_announced)
            return failWith(
                QStringLiteral("the stream holds more than the %1 bytes announced").arg(m_announced));
        if (last && data != m_announced) {
            return failWith(
                QStringLiteral("the stream holds %1 of the %2 bytes announced").arg(data).arg(m_announced));
        }
    }
    if (last)
        piece.tag = kBlockLast;
    return Step::Piece;
}

} // namespace orvalt::link
