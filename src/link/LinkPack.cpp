#include "link/LinkPack.h"

#include <QList>
#include <limits>
#include <zlib.h>

namespace orvalt::link {

namespace {

const QByteArray kRequestWord = QByteArrayLiteral("PACK? ");
const QByteArray kReplyWord = QByteArrayLiteral("PACK:");
const QByteArray kDeflate = QByteArrayLiteral("DEFLATE");

QByteArray deflateName(int windowBits)
{
    return kDeflate + QByteArray::number(windowBits);
}

// The first deflate entry of a comma-separated list whose window can be taken.
int deflateWindowIn(const QByteArray& list)
{
    for (const QByteArray& entry : list.split(',')) {
        const QByteArray name = entry.trimmed();
        if (!name.startsWith(kDeflate))
            continue;
        const QByteArray digits = name.mid(kDeflate.size());
        if (digits.isEmpty() || digits.size() > 2)
            continue;
        int bits = 0;
        bool digitsOnly = true;
        for (const char c : digits) {
            digitsOnly = digitsOnly && c >= '0' && c <= '9';
            bits = bits * 10 + (c - '0');
        }
        if (digitsOnly && bits >= kMinPackWindowBits && bits <= kMaxPackWindowBits)
            return bits;
    }
    return 0;
}

// zlib counts in uInt; a piece larger than that never reaches it whole.
uInt chunkOf(qsizetype size)
{
    return static_cast<uInt>(qMin<qsizetype>(size, std::numeric_limits<uInt>::max() / 2));
}

} // namespace

QByteArray packRequest(int windowBits)
{
    return kRequestWord + deflateName(windowBits);
}

bool isPackRequest(const QByteArray& command)
{
    return command.startsWith(kRequestWord);
}

int packWindowOfRequest(const QByteArray& command)
{
    return isPackRequest(command) ? deflateWindowIn(command.mid(kRequestWord.size())) : 0;
}

QByteArray packReply(int windowBits)
{
    return kReplyWord + deflateName(windowBits);
}

int packWindowOfReply(const QByteArray& reply)
{
    return reply.startsWith(kReplyWord) ? deflateWindowIn(reply.mid(kReplyWord.size())) : 0;
}

struct PackWriter::State
{
    z_stream stream{};
    bool ready = false;
};

PackWriter::PackWriter(int windowBits, int memLevel, int level)
    : m_state(std::make_unique<State>())
{
    // Negative window bits: a raw stream, without zlib's header and check sum (the frames have one).
    m_state->ready = deflateInit2(&m_state->stream, qBound(0, level, 9), Z_DEFLATED,
                                  -qBound(kMinPackWindowBits, windowBits, kMaxPackWindowBits),
                                  qBound(1, memLevel, 9), Z_DEFAULT_STRATEGY) == Z_OK;
}

PackWriter::~PackWriter()
{
    if (m_state->ready)
        deflateEnd(&m_state->stream);
}

bool PackWriter::isValid() const
{
    return m_state->ready;
}

bool PackWriter::write(const QByteArray& data)
{
    return !m_finished && run(data, Z_NO_FLUSH);
}

bool PackWriter::flush()
{
    return !m_finished && run({}, Z_SYNC_FLUSH);
}

bool PackWriter::partialFlush()
{
    return !m_finished && run({}, Z_PARTIAL_FLUSH);
}

bool PackWriter::finish()
{
    if (m_finished)
        return true;
    m_finished = run({}, Z_FINISH);
    return m_finished;
}

bool PackWriter::run(const QByteArray& data, int flush)
{
    if (!m_state->ready)
        return false;
    z_stream& z = m_state->stream;
    qsizetype offset = 0;
    char out[4096];
    for (;;) {
        const uInt chunk = chunkOf(data.size() - offset);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData() + offset));
        z.avail_in = chunk;
        z.next_out = reinterpret_cast<Bytef*>(out);
        z.avail_out = sizeof out;
        const int result = deflate(&z, flush);
        offset += chunk - z.avail_in;
        m_out.append(out, static_cast<qsizetype>(sizeof out - z.avail_out));
        if (result == Z_STREAM_END)
            return true;
        if (result != Z_OK && result != Z_BUF_ERROR)
            return false;
        // More output may wait while the buffer was full; otherwise all input is taken.
        if (z.avail_out != 0 && offset >= data.size())
            return flush != Z_FINISH || result == Z_STREAM_END;
    }
}

QByteArray PackWriter::take(qsizetype most)
{
    QByteArray taken = m_out.left(most);
    m_out.remove(0, taken.size());
    return taken;
}

struct PackReader::State
{
    z_stream stream{};
    bool ready = false;
};

PackReader::PackReader(int windowBits)
    : m_state(std::make_unique<State>())
{
    m_state->ready =
        inflateInit2(&m_state->stream, -qBound(kMinPackWindowBits, windowBits, kMaxPackWindowBits)) == Z_OK;
    if (!m_state->ready)
        m_error = QStringLiteral("the decompressor could not start");
}

PackReader::~PackReader()
{
    if (m_state->ready)
        inflateEnd(&m_state->stream);
}

void PackReader::feed(const QByteArray& packed)
{
    if (m_used > 0) {
        m_in.remove(0, m_used);
        m_used = 0;
    }
    m_in.append(packed);
}

bool PackReader::failWith(const QString& why)
{
    if (m_error.isEmpty())
        m_error = why;
    return false;
}

bool PackReader::read(QByteArray& out, qsizetype most)
{
    if (hasFailed())
        return false;
    if (m_ended) {
        if (m_used < m_in.size())
            return failWith(QStringLiteral("bytes follow the end of the compressed stream"));
        return true;
    }
    z_stream& z = m_state->stream;
    while (most > 0) {
        const qsizetype before = out.size();
        const uInt room = chunkOf(qMin<qsizetype>(most, 4096));
        out.resize(before + room);
        const uInt available = chunkOf(m_in.size() - m_used);
        z.next_in = reinterpret_cast<Bytef*>(m_in.data() + m_used);
        z.avail_in = available;
        z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        z.avail_out = room;
        const int result = inflate(&z, Z_NO_FLUSH);
        const qsizetype produced = room - z.avail_out;
        out.resize(before + produced);
        m_used += available - z.avail_in;
        most -= produced;
        if (result == Z_STREAM_END) {
            m_ended = true;
            if (m_used < m_in.size())
                return failWith(QStringLiteral("bytes follow the end of the compressed stream"));
            return true;
        }
        if (result == Z_DATA_ERROR) {
            // zlib says why ("invalid distance too far back": a window larger than agreed).
            return failWith(QStringLiteral("the compressed stream is damaged (%1)")
                                .arg(QString::fromLatin1(z.msg ? z.msg : "no reason given")));
        }
        if (result != Z_OK && result != Z_BUF_ERROR)
            return failWith(QStringLiteral("the decompressor failed (%1)").arg(result));
        if (produced == 0 && z.avail_in == available)
            break; // nothing more without more input
    }
    return true;
}

} // namespace orvalt::link
