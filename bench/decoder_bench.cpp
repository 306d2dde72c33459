// The frame decoder on its worst input: bytes it must look at again and again. 128 KiB of start
// markers in one feed (every marker opens a frame that fails at the next byte, to be looked at once
// more), of a marker and a byte that ends it at once, and of random bytes, each against 128 KiB of
// whole 256-byte file blocks in the same run. A decoder that copied the rest of its input after each
// failed frame took time growing with the square of the feed: hundreds of milliseconds for the
// markers.
//   decoder_bench [--size BYTES]

#include "link/FrameCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>

using namespace orvalt::link;

namespace {

double feedMs(const QByteArray& input, int* events)
{
    QElapsedTimer clock;
    clock.start();
    FrameDecoder decoder;
    *events = static_cast<int>(decoder.feed(input).size());
    *events += static_cast<int>(decoder.lineIdle().size());
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qsizetype size = 128 * 1024;
    const QStringList arguments = app.arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--size"));
    if (at >= 0 && at + 1 < arguments.size())
        size = qMax<qsizetype>(1024, arguments.at(at + 1).toLongLong());

    QByteArray blocks;
    for (quint8 seq = 0; blocks.size() < size; seq = static_cast<quint8>((seq + 1) % kWindowSeqModulo))
        blocks += encodeFrame(Frame{FrameKind::WindowData, seq, 0, QByteArray(256, 'd')});
    blocks.truncate(size);
    QByteArray random(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& c : random)
        c = static_cast<char>(generator.bounded(256));
    const struct
    {
        const char* name;
        QByteArray input;
    } inputs[] = {
        {"start markers (0x02 ...)", QByteArray(size, '\x02')},
        {"marker and a bad byte (0x02 0x00 ...)", QByteArray("\x02\x00", 2).repeated(size / 2)},
        {"random bytes", random},
    };
    int events = 0;
    const double baseline = feedMs(blocks, &events);
    std::printf("Frame decoder, %lld bytes in one feed (file blocks: %.2f ms, %d frames)\n",
                static_cast<long long>(size), baseline, events);
    for (const auto& input : inputs) {
        const double ms = feedMs(input.input, &events);
        std::printf("  %-40s %8.2f ms  %6.1f x the file blocks  (%d events)\n", input.name, ms,
                    ms / qMax(0.001, baseline), events);
    }
    return 0;
}
