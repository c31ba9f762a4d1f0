#include "platform/WaveInTypes.h"

namespace quolva::platform {

namespace {

std::uint16_t get16(const SoundFormat::Area& a, std::size_t at)
{
    return static_cast<std::uint16_t>(a[at] | (a[at + 1] << 8));
}

std::uint32_t get32(const SoundFormat::Area& a, std::size_t at)
{
    return static_cast<std::uint32_t>(a[at]) | (static_cast<std::uint32_t>(a[at + 1]) << 8) |
           (static_cast<std::uint32_t>(a[at + 2]) << 16) | (static_cast<std::uint32_t>(a[at + 3]) << 24);
}

void put16(SoundFormat::Area& a, std::size_t at, std::uint16_t v)
{
    a[at] = static_cast<std::uint8_t>(v);
    a[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(SoundFormat::Area& a, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        a[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

SoundFormat SoundFormat::pcm(std::uint32_t samplesPerSec, std::uint16_t bitsPerSample, std::uint16_t channels)
{
    SoundFormat f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = samplesPerSec;
    f.wBitsPerSample = bitsPerSample;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * (bitsPerSample / 8));
    f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

SoundFormat SoundFormat::fromArea(const Area& area)
{
    SoundFormat f;
    f.wFormatTag = get16(area, 0);
    f.nChannels = get16(area, 2);
    f.nSamplesPerSec = get32(area, 4);
    f.nAvgBytesPerSec = get32(area, 8);
    f.nBlockAlign = get16(area, 12);
    f.wBitsPerSample = get16(area, 14);
    f.cbSize = get16(area, 16);
    return f;
}

SoundFormat::Area SoundFormat::toArea() const
{
    Area a{};
    put16(a, 0, wFormatTag);
    put16(a, 2, nChannels);
    put32(a, 4, nSamplesPerSec);
    put32(a, 8, nAvgBytesPerSec);
    put16(a, 12, nBlockAlign);
    put16(a, 14, wBitsPerSample);
    put16(a, 16, cbSize);
    return a;
}

bool SoundFormat::isConsistentPcm() const
{
    if (wFormatTag != WAVE_FORMAT_PCM)
        return false;
    if (nChannels != 1 && nChannels != 2)
        return false;
    if (wBitsPerSample != 8 && wBitsPerSample != 16)
        return false;
    if (nSamplesPerSec < 1000 || nSamplesPerSec > 192000)
        return false;
    return nBlockAlign == nChannels * wBitsPerSample / 8 &&
           nAvgBytesPerSec == nSamplesPerSec * nBlockAlign;
}

}  // namespace quolva::platform
