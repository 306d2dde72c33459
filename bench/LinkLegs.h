#pragma once

// What the link benchmarks share: moving a file through PexLink exactly as the program's sender and
// receiver do ("FWT ", the length, the blocks, "DUMMY"; "FRD? " and next-block requests), timed.

#include "bench/MeasurementData.h"
#include "bench/RelayLine.h"
#include "link/PexLink.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <cstdio>
#include <random>

namespace orvalt::bench {

constexpr double kLineRate = 11520.0; // bytes a second at 115200 baud, 8N1
constexpr int kBlock = 256;

// One way of moving the file: seconds, and whether it arrived intact.
struct Leg
{
    double seconds = 0;
    bool ok = false;
    bool ran = false;
    QString note;
    double ratio(qint64 bytes) const { return ok && seconds > 0 ? bytes / seconds / kLineRate : 0; }
};

// Data that does not shrink, the same in every run.
inline QByteArray randomBytes(qint64 size)
{
    QByteArray data(size, '\0');
    QRandomGenerator random(7350);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>(random.bounded(256));
    return data;
}

// What the program's sender does: command line, length header, the blocks, then "DUMMY".
inline Leg linkWrite(link::PexLink& link, const QByteArray& data)
{
    Leg leg;
    leg.ran = true;
    QElapsedTimer timer;
    timer.start();
    auto step = [&link](qint32 type, const QByteArray& bytes) {
        qint32 length = static_cast<qint32>(bytes.size());
        if (link.PexSendData(type, length, bytes.constData()) != 0)
            return false;
        char ack[kBlock];
        qint32 ackType = 0;
        qint32 ackLength = 0;
        return link.PexReceiveData(ackType, ackLength, ack, kBlock) == 0 && ackType != 9;
    };
    char header[4];
    qToBigEndian(static_cast<quint32>(data.size()), header);
    bool ok = step(0, "FWT 0,/BENCH.DAT,") && step(0, QByteArray(header, 4));
    for (qint64 offset = 0; ok && offset < data.size(); offset += kBlock) {
        const bool last = offset + kBlock >= data.size();
        ok = step(last ? 1 : 0, data.mid(offset, kBlock));
    }
    QByteArray reply(128, ' ');
    const qint32 dummy = link.PexSendCommand("DUMMY", reply);
    leg.seconds = timer.nsecsElapsed() / 1e9;
    leg.ok = ok && dummy == 0;
    if (!leg.ok)
        leg.note = link.errorString();
    return leg;
}

// What the program's receiver does: "FRD? " as a type-3 block, then type-4 requests until type 7.
inline Leg linkRead(link::PexLink& link, const QByteArray& expected)
{
    Leg leg;
    leg.ran = true;
    QByteArray reply(256, ' ');
    link.PexSendCommand("CDR /", reply);
    QElapsedTimer timer;
    timer.start();
    QByteArray received;
    bool first = true;
    bool ok = false;
    for (;;) {
        QByteArray request = first ? QByteArray("FRD? BENCH.DAT") : QByteArray();
        qint32 type = first ? 3 : 4;
        qint32 length = static_cast<qint32>(request.size());
        if (link.PexSendData(type, length, request.constData()) != 0)
            break;
        char buffer[kBlock];
        qint32 answerType = 0;
        qint32 answerLength = 0;
        if (link.PexReceiveData(answerType, answerLength, buffer, kBlock) != 0 || answerType == 9)
            break;
        received.append(buffer + (first ? 4 : 0), answerLength - (first ? 4 : 0));
        first = false;
        if (answerType == 7) {
            ok = true;
            break;
        }
    }
    leg.seconds = timer.nsecsElapsed() / 1e9;
    leg.ok = ok && received == expected;
    if (!leg.ok)
        leg.note = ok ? QStringLiteral("data differ") : link.errorString();
    return leg;
}

// ZMODEM (sz -> rz) moving the same bytes on a line built alike.
inline Leg zmodemLeg(const QByteArray& data, const LineConditions& conditions)
{
    Leg leg;
    leg.ran = true;
    QTemporaryDir work;
    QDir(work.path()).mkpath(QStringLiteral("in"));
    QFile file(work.filePath(QStringLiteral("BENCH.DAT")));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        leg.note = QStringLiteral("cannot write the file");
        return leg;
    }
    file.close();
    const ZmodemRun run = runZmodem(work.path(), {QStringLiteral("BENCH.DAT")},
                                    work.filePath(QStringLiteral("in")), conditions, data.size());
    leg.seconds = run.seconds;
    leg.ok = run.ok;
    leg.note = run.note;
    return leg;
}

} // namespace orvalt::bench
