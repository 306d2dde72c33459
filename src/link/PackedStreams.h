#pragma once

#include "link/FrameCodec.h"
#include "link/LinkPack.h"

#include <QByteArray>
#include <QString>
#include <memory>

// The program's side of one compressed stream (docs/link-protocol.md, "Compression"), as pure
// logic: what goes into the compressor and what comes out of the decompressor, in the block sizes
// of the line and of the caller. PexLink carries the blocks (PexLinkPack.cpp).

namespace orvalt::link {

// A file write: the caller's 4-byte length, then its file blocks, as one deflate stream cut into
// blocks of kPackBlock bytes.
class PackedUpload
{
public:
    explicit PackedUpload(int windowBits);

    bool isValid() const { return m_writer.isValid(); }
    // The length, flushed at once so that it goes in a block of its own: the instrument decides on
    // it whether the file has room, before any of the file was compressed and sent.
    bool writeLength(const QByteArray& length);
    bool lengthWritten() const { return m_lengthWritten; }
    bool write(const QByteArray& data);
    // Makes what the compressor holds decodable from the blocks to come (a partial flush: 10 bits).
    bool flush();
    // Ends the stream: what is held and the end mark go to the blocks to come.
    bool finish();
    bool finished() const { return m_writer.isFinished(); }

    // Compressed bytes not yet taken for the line.
    qsizetype pending() const { return m_writer.pending(); }
    // File bytes the compressor holds since its last flush, and what they will make on the line as
    // far as the stream so far tells (as much as they are, until a flush has told otherwise).
    qsizetype held() const { return m_held; }
    qsizetype heldEstimate() const;
    // A full block when there is one; a shorter one only when what is pending ends a flush or the
    // stream (force), so a block is never sent that the next bytes could have filled.
    bool hasBlock(bool force) const { return pending() >= kPackBlock || (force && pending() > 0); }
    QByteArray takeBlock() { return m_writer.take(kPackBlock); }

private:
    void noteFlushed(qsizetype before);

    PackWriter m_writer;
    bool m_lengthWritten = false;
    qsizetype m_held = 0;
    qint64 m_flushedIn = 0;  // file bytes flushed so far
    qint64 m_flushedOut = 0; // what they made
};

// A compressed answer: a file read's length and data, or a listing's text, decompressed as its
// blocks arrive and handed on in the pieces of the plain answer (256 bytes, the first starting with
// the length; 301 for a listing), the last marked kBlockLast once the stream has ended with nothing
// after it. At most a piece and a byte are held, whatever the size of the file.
class PackedAnswer
{
public:
    // Blocks in a row that decompress to nothing before the stream counts as broken: as many as a
    // plain listing may bring empty. A stream that goes on without end and brings nothing would
    // otherwise hold the call for as long as the instrument keeps answering.
    static constexpr int kMaxEmptyBlocks = 16;

    PackedAnswer(int windowBits, bool fileRead);

    enum class Step
    {
        Piece,    // piece holds the next piece for the caller
        NeedMore, // the next block of the stream is needed
        Failed,   // the stream is broken: error() says how
    };
    // A block of the stream, of type kBlockMore or kBlockLast.
    void feed(const QByteArray& data, bool last);
    Step next(Frame& piece);
    QString error() const { return m_error; }

private:
    Step failWith(const QString& why);

    PackReader m_reader;
    bool m_fileRead = false;
    qsizetype m_pieceSize = 0;
    QByteArray m_unpacked; // decompressed, not yet handed on
    bool m_lastIn = false;
    qint64 m_handed = 0;     // bytes of the stream handed on
    qint64 m_announced = -1; // the file's length, once its 4 bytes are in
    bool m_blockFed = false; // a block came since the last look
    int m_emptyBlocks = 0;   // blocks in a row that brought nothing
    QString m_error;
};

} // namespace orvalt::link
