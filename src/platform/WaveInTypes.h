#pragma once
// The types of the waveform input API: the wave format record, the buffer header and the result codes.
// They keep the layout and the values of their Windows counterparts (WAVEFORMATEX, WAVEHDR, MMRESULT)
// so that the sound capture code reads like the device API it was designed against.

#include <array>
#include <cstddef>
#include <cstdint>

namespace quolva::platform {

// Result of every waveIn operation: 0 is success, anything else a failure.
using MMResult = std::uint32_t;
inline constexpr MMResult MMSYSERR_NOERROR = 0;
inline constexpr MMResult MMSYSERR_ERROR = 1;        // unspecified failure of the device
inline constexpr MMResult MMSYSERR_BADDEVICEID = 2;  // no input device
inline constexpr MMResult MMSYSERR_ALLOCATED = 4;    // the handle is already open
inline constexpr MMResult MMSYSERR_INVALHANDLE = 5;  // the handle is not open
inline constexpr MMResult MMSYSERR_NODRIVER = 6;     // no sound system to talk to
inline constexpr MMResult MMSYSERR_INVALPARAM = 11;  // a null header, an empty buffer, no receiver
inline constexpr MMResult WAVERR_BADFORMAT = 32;     // the device cannot record this format
inline constexpr MMResult WAVERR_STILLPLAYING = 33;  // the buffer (or a buffer) is still queued
inline constexpr MMResult WAVERR_UNPREPARED = 34;    // the header was not prepared

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// WAVEFORMATEX. Its natural layout is the 18-byte record followed by two bytes of padding, which is
// exactly the 20-byte sound format area the AVI and sound services pass around.
struct SoundFormat {
    std::uint16_t wFormatTag = WAVE_FORMAT_PCM;
    std::uint16_t nChannels = 1;
    std::uint32_t nSamplesPerSec = 11025;
    std::uint32_t nAvgBytesPerSec = 22050;
    std::uint16_t nBlockAlign = 2;
    std::uint16_t wBitsPerSample = 16;
    std::uint16_t cbSize = 0;

    static constexpr std::size_t kAreaSize = 20;
    using Area = std::array<std::uint8_t, kAreaSize>;

    // A consistent PCM format: block alignment and byte rate follow from the other three.
    static SoundFormat pcm(std::uint32_t samplesPerSec, std::uint16_t bitsPerSample, std::uint16_t channels);

    // The 20-byte area, little-endian, the two bytes after the record zero.
    static SoundFormat fromArea(const Area& area);
    Area toArea() const;

    // PCM with 8 or 16 bits, 1 or 2 channels, and block alignment and byte rate that agree with them.
    bool isConsistentPcm() const;

    friend bool operator==(const SoundFormat&, const SoundFormat&) = default;
};
static_assert(sizeof(SoundFormat) == SoundFormat::kAreaSize, "SoundFormat must match the 20-byte area");
static_assert(offsetof(SoundFormat, nSamplesPerSec) == 4 && offsetof(SoundFormat, nAvgBytesPerSec) == 8 &&
                  offsetof(SoundFormat, nBlockAlign) == 12 && offsetof(SoundFormat, cbSize) == 16,
              "SoundFormat must keep the WAVEFORMATEX layout");

// WAVEHDR flags.
inline constexpr std::uint32_t WHDR_DONE = 0x01;      // handed back by the device
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;  // waveInPrepareHeader was called
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;   // queued on the device

// WAVEHDR. The memory lpData points to belongs to the caller; the device only writes into it while the
// header is queued.
struct WaveHeader {
    char* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
};

}  // namespace quolva::platform
