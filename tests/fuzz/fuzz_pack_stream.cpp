// The decompressor reads what the line delivers once compression was agreed: a compressed answer
// on the program's side, a compressed file write on the instrument's. Input: the window in bits
// (9 .. 15 from the first byte), the size of the pieces it arrives in, then the stream.

#include "FuzzCheck.h"
#include "link/LinkPack.h"

#include <cstddef>
#include <cstdint>

using namespace orvalt::link;

namespace {

// Whatever the stream, a read never hands out more than asked for, and once it failed it stays
// failed; what it decompressed is bounded by the reads asked for, never by the stream's claims.
void readStream(int bits, qsizetype chunk, const QByteArray& stream)
{
    PackReader reader(bits);
    QByteArray piece;
    bool failed = false;
    for (qsizetype at = 0; at < stream.size() && !failed; at += chunk) {
        reader.feed(stream.mid(at, chunk));
        // A receiver takes a piece and a byte at a time (257), and drops what it handed on.
        for (int reads = 0; reads < 100000; ++reads) {
            piece.clear();
            const bool ok = reader.read(piece, 257);
            FUZZ_CHECK(piece.size() <= 257);
            if (!ok) {
                failed = true;
                FUZZ_CHECK(reader.hasFailed() && !reader.error().isEmpty());
                break;
            }
            if (piece.isEmpty())
                break;
        }
    }
    if (failed) {
        piece.clear();
        FUZZ_CHECK(!reader.read(piece, 257) && piece.isEmpty());
    }
}

// What deflate stores in one block with the memory level the program uses for each window (9 ..
// 15 bits), worked out by hand: 2^(memory level + 6) - 1 bytes.
constexpr qsizetype kStoredBlock[] = {127, 511, 1023, 2047, 4095, 8191, 16383};

// The same bytes as a file: compressed as the program compresses (packMemLevel, level 6) with the
// window and read back, they come back whole.
void roundTrip(int bits, qsizetype chunk, const QByteArray& file)
{
    PackWriter writer(bits, packMemLevel(bits), 6);
    FUZZ_CHECK(writer.isValid());
    for (qsizetype at = 0; at < file.size(); at += chunk)
        FUZZ_CHECK(writer.write(file.mid(at, chunk)));
    FUZZ_CHECK(writer.finish());
    const QByteArray stream = writer.take(writer.pending());
    // Deflate's stored blocks bound what data that does not shrink costs: 5 bytes a block, at most
    // 1 % from a window of 2 KiB on.
    const qsizetype block = kStoredBlock[bits - kMinPackWindowBits];
    FUZZ_CHECK(stream.size() <= file.size() + (file.size() / block + 1) * 5 + 16);
    if (bits >= 11)
        FUZZ_CHECK(stream.size() <= file.size() + file.size() / 100 + 16);
    PackReader reader(bits);
    reader.feed(stream);
    QByteArray back;
    FUZZ_CHECK(reader.read(back, file.size() + 1));
    FUZZ_CHECK(reader.atEnd());
    FUZZ_CHECK(back == file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int bits = kMinPackWindowBits + data[0] % (kMaxPackWindowBits - kMinPackWindowBits + 1);
    const qsizetype chunk = data[1] ? data[1] : 256;
    const QByteArray rest(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    readStream(bits, chunk, rest);
    roundTrip(bits, chunk, rest);
    return 0;
}
