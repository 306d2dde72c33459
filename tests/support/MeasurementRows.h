#pragma once

#include <QByteArray>
#include <QRandomGenerator>

namespace orvalt::test {

// Rows as a measuring instrument logs them, a tenth of a second apart: date, time and three
// readings with noise, from a fixed seed. Compressed they shrink four to five times, as the files
// users move do.
inline QByteArray measurementRows(qsizetype size, quint32 seed = 1)
{
    QRandomGenerator random(seed);
    QByteArray text;
    text.reserve(size + 64);
    for (int i = 0; text.size() < size; ++i) {
        const int hundredths = i * 10;
        text += QStringLiteral("2026/11/03,%1:%2:%3.%4,%5,%6,%7\r\n")
                    .arg(hundredths / 360000 % 24, 2, 10, QLatin1Char('0'))
                    .arg(hundredths / 6000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
                    .arg(hundredths % 100, 2, 10, QLatin1Char('0'))
                    .arg(0.5 + random.bounded(200) / 10000.0, 0, 'f', 4)
                    .arg(5.0 + random.bounded(20) / 1000.0, 0, 'f', 3)
                    .arg(21.5 + random.bounded(40) / 10.0, 0, 'f', 1)
                    .toLatin1();
    }
    text.truncate(size);
    return text;
}

} // namespace orvalt::test
