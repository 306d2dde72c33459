#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// Compressed block streams (docs/link-protocol.md, "Compression"). The program asks once the link
// is open with "PACK? DEFLATE15", naming what it decodes: a raw deflate stream (RFC 1951) whose
// window is at most 2^15 bytes. An instrument that compresses answers 0 with "PACK:DEFLATE<n>",
// what it decodes in turn; any other answer (an instrument of today answers 20) means plain blocks
// as before. Each end compresses with a window no larger than the other end said it decodes, so a
// firmware with little memory names a small window and is never sent a stream that needs more.
//
// The codec is Debian's zlib; the two classes here bound what a stream may cost in memory and never
// hand out more than they were asked for, so a receiver stays flat in the size of the file.

namespace orvalt::link {

// A deflate window as a power of two: 2^9 (512 bytes) .. 2^15 (32 KiB).
inline constexpr int kMinPackWindowBits = 9;
inline constexpr int kMaxPackWindowBits = 15;
// The compressed stream travels in blocks of this size; the last one may be shorter.
inline constexpr int kPackBlock = 256;

// The memory level a compressor uses with a window of 2^windowBits: at most 8, and small enough
// that deflate's symbol buffer (2^(level + 6) bytes) fits in what the window keeps behind the
// lookahead (2^windowBits - 262), so that it can still store data that does not shrink. Such data
// then costs 5 bytes a block: 0.03 % with a 32 KiB window, 0.5 % with 2 KiB, 4 % with 512 bytes.
inline int packMemLevel(int windowBits)
{
    if (windowBits <= 9)
        return 1;
    return windowBits - 7 < 8 ? windowBits - 7 : 8;
}

QByteArray packRequest(int windowBits);
bool isPackRequest(const QByteArray& command);
// The deflate window named in a request's or reply's list ("DEFLATE15,..."); 0 when none is named
// or it lies outside kMinPackWindowBits .. kMaxPackWindowBits. Names it does not know are skipped.
int packWindowOfRequest(const QByteArray& command);
QByteArray packReply(int windowBits);
int packWindowOfReply(const QByteArray& reply);

// Compresses one stream. What it produces waits in pending() until taken, so the caller decides
// how it goes on the line. Memory: 2^(windowBits + 2) + 2^(memLevel + 9) bytes and zlib's fixed
// tables of about 6 KiB.
class PackWriter
{
public:
    PackWriter(int windowBits, int memLevel, int level);
    ~PackWriter();
    PackWriter(const PackWriter&) = delete;
    PackWriter& operator=(const PackWriter&) = delete;

    bool isValid() const;
    bool write(const QByteArray& data);
    // Makes everything written so far decodable from pending() alone, without ending the stream, and
    // starts the next byte afresh (a sync flush: 4 or 5 bytes).
    bool flush();
    // The same, but the next deflate block starts on any bit (a partial flush: 10 bits).
    bool partialFlush();
    // Ends the stream: everything written so far, and the end mark, goes to pending().
    bool finish();
    bool isFinished() const { return m_finished; }
    qsizetype pending() const { return m_out.size(); }
    QByteArray take(qsizetype most);

private:
    bool run(const QByteArray& data, int flush);

    struct State;
    std::unique_ptr<State> m_state;
    QByteArray m_out;
    bool m_finished = false;
};

// Decompresses one stream as its pieces arrive. Memory: the window (2^windowBits bytes), about
// 7 KiB of zlib's state, the compressed bytes not yet used and what read() is asked for.
class PackReader
{
public:
    explicit PackReader(int windowBits);
    ~PackReader();
    PackReader(const PackReader&) = delete;
    PackReader& operator=(const PackReader&) = delete;

    void feed(const QByteArray& packed);
    // Appends at most `most` decompressed bytes to out. False once the stream is damaged, needs a
    // larger window than agreed, or has bytes after its end; error() says which.
    bool read(QByteArray& out, qsizetype most);
    // The stream's end mark was read (and nothing follows it so far).
    bool atEnd() const { return m_ended; }
    bool hasFailed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    bool failWith(const QString& why);

    struct State;
    std::unique_ptr<State> m_state;
    QByteArray m_in;
    qsizetype m_used = 0;
    bool m_ended = false;
    QString m_error;
};

} // namespace orvalt::link
