#pragma once

// The measurement file the benchmarks move and view, the same bytes in every run.

#include <QByteArray>
#include <cmath>
#include <cstdio>
#include <random>

namespace orvalt::bench {

// The measurement file: "2026/11/03,HH:MM:SS.hh," every tenth of a second, then a slow sine and
// cosine (%.4f), a constant (%.3f) and a temperature (%.1f), each with small Gaussian noise from a
// fixed seed, so every run sends the same bytes.
inline QByteArray measurements(int rows, quint32 seed = 20261103)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    // Box-Muller spelled out: the standard library's normal distribution may differ between builds.
    auto gauss = [&](double sigma) {
        const double u = 1.0 - uniform(random);
        return sigma * std::sqrt(-2.0 * std::log(u)) * std::cos(2 * M_PI * uniform(random));
    };
    QByteArray text;
    text.reserve(rows * 52);
    char line[128];
    for (int i = 0; i < rows; ++i) {
        const double t = i * 0.1;
        const int hundredths = i * 10;
        const double phase = 2 * M_PI * t / 600;
        const double sine = std::sin(phase) + gauss(0.02);
        const double cosine = std::cos(phase) + gauss(0.02);
        const double constant = 5.0 + gauss(0.01);
        const double temperature = 21.5 + 2 * std::sin(2 * M_PI * t / 3600) + gauss(0.2);
        const int n =
            std::snprintf(line, sizeof line, "2026/11/03,%02d:%02d:%02d.%02d,%.4f,%.4f,%.3f,%.1f\r\n",
                          hundredths / 360000, hundredths / 6000 % 60, hundredths / 100 % 60,
                          hundredths % 100, sine, cosine, constant, temperature);
        text.append(line, n);
    }
    return text;
}

// The row of column names the instrument writes above its measurements.
inline constexpr char kMeasurementHeader[] = "Date,Time,CH1[V],CH2[V],CH3[V],TEMP[C]\r\n";

} // namespace orvalt::bench
