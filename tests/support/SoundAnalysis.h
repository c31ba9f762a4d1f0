#pragma once
// Measuring recorded sound in tests: its samples, its strongest frequency, and how cleanly it follows a
// sine (a dropped or doubled piece of sound breaks the sine's recurrence).

#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace soundtest {

// One channel of 16-bit little-endian PCM as values in [-1, 1).
inline std::vector<double> samples16(const QByteArray& pcm, int channels = 1, int channel = 0)
{
    std::vector<double> out;
    const auto* p = reinterpret_cast<const unsigned char*>(pcm.constData());
    for (qsizetype i = 2 * channel; i + 1 < pcm.size(); i += 2 * channels)
        out.push_back(static_cast<std::int16_t>(p[i] | (p[i + 1] << 8)) / 32768.0);
    return out;
}

// One channel of unsigned 8-bit PCM as values in [-1, 1).
inline std::vector<double> samples8(const QByteArray& pcm, int channels = 1, int channel = 0)
{
    std::vector<double> out;
    const auto* p = reinterpret_cast<const unsigned char*>(pcm.constData());
    for (qsizetype i = channel; i < pcm.size(); i += channels)
        out.push_back((p[i] - 128) / 128.0);
    return out;
}

// The power of the signal at `hz` (Goertzel's recurrence, any frequency, not only whole bins).
inline double powerAt(const std::vector<double>& x, double hz, double rate)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (double v : x) {
        const double s = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

// The frequency with the most power between lo and hi: a coarse scan, then a fine one around its peak.
inline double dominantFrequency(const std::vector<double>& x, double rate, double lo = 50, double hi = 5000)
{
    double best = lo, bestPower = -1;
    for (double f = lo; f <= hi; f += 2.0) {
        const double p = powerAt(x, f, rate);
        if (p > bestPower) {
            bestPower = p;
            best = f;
        }
    }
    const double centre = best;
    for (double f = centre - 3.0; f <= centre + 3.0; f += 0.05) {
        const double p = powerAt(x, f, rate);
        if (p > bestPower) {
            bestPower = p;
            best = f;
        }
    }
    return best;
}

// The largest |x[n+1] + x[n-1] - 2 cos(w) x[n]| over the signal: close to 0 for a clean sine of `hz`
// (quantisation only), large wherever the sine jumps.
inline double largestSineBreak(const std::vector<double>& x, double hz, double rate)
{
    const double c = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double worst = 0;
    for (std::size_t n = 1; n + 1 < x.size(); ++n)
        worst = std::max(worst, std::abs(x[n + 1] + x[n - 1] - c * x[n]));
    return worst;
}

// A mono 16-bit PCM WAV file of a sine of `hz` at `rate` samples per second, to play into the rig's sink.
inline QByteArray toneWav(double hz, int rate, double seconds)
{
    const int n = static_cast<int>(rate * seconds);
    QByteArray data;
    for (int i = 0; i < n; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(12000 * std::sin(2 * std::numbers::pi * hz * i / rate)));
        data.append(static_cast<char>(v & 0xff));
        data.append(static_cast<char>((v >> 8) & 0xff));
    }
    QByteArray out;
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(static_cast<char>(v >> (8 * i)));
    };
    out += "RIFF";
    put(static_cast<std::uint32_t>(36 + data.size()), 4);
    out += "WAVEfmt ";
    put(16, 4);
    put(1, 2);                                     // PCM
    put(1, 2);                                     // mono
    put(static_cast<std::uint32_t>(rate), 4);
    put(static_cast<std::uint32_t>(rate * 2), 4);  // bytes per second
    put(2, 2);                                     // block alignment
    put(16, 2);                                    // bits per sample
    out += "data";
    put(static_cast<std::uint32_t>(data.size()), 4);
    out += data;
    return out;
}

}  // namespace soundtest
