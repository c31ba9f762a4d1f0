#pragma once
#include "store/AviFile.h"
#include "store/WinTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quolva::publish {

// The sound track of a recording as the SWF export reads it: sample frames of nBlockAlign bytes counted
// from the export's read position, whatever sample size the AVI stream declares (our recordings declare
// one byte). A track whose rate has no SWF rate code is resampled, as it is read, to the lowest coded
// rate at or above it (44100 Hz above that), keeping its channels and sample size. Reads go forward
// only, and memory stays the same however long the track is.
class SwfSoundTrack {
public:
    // The sample rates an SWF sound stream can name: codes 1 to 3 (code 0 is taken below 6000 Hz).
    static std::uint32_t CodedRateFor(std::uint32_t rate);

    // `stream` may be null (a recording without sound): the track is then empty. `startSample` is the
    // read position in the stream's own samples. A stream whose layout cannot be addressed in sample
    // frames, or whose sound cannot be resampled, throws PublishError naming `path`.
    SwfSoundTrack(const store::PAVISTREAM& stream, const store::WAVEFORMATEX& format, store::LONG startSample,
                  const std::string& path);
    ~SwfSoundTrack();
    SwfSoundTrack(const SwfSoundTrack&) = delete;
    SwfSoundTrack& operator=(const SwfSoundTrack&) = delete;

    // R: samples per second of what Read gives (the stream's own rate, or the rate resampled to).
    std::uint32_t Rate() const { return rate_; }
    bool Resampled() const { return resampler_ != nullptr; }
    // L: the track's length in sample frames at Rate().
    std::int64_t Frames() const { return frames_; }
    int BlockAlign() const { return blockAlign_; }
    // The bytes of sample frames [from, to), cut at the end of the track, appended to `out` (cleared
    // first). `from` must be where the previous read ended (0 at first).
    void Read(std::int64_t from, std::int64_t to, std::vector<std::uint8_t>& out);

private:
    struct Resampler;
    // Source bytes of frames [from, from + count) of the stream, cut at its end.
    void ReadSource(std::int64_t from, std::int64_t count, std::vector<std::uint8_t>& out);
    void ProduceResampled(std::int64_t upTo);

    store::PAVISTREAM stream_;
    std::string path_;
    store::WAVEFORMATEX format_{};
    int blockAlign_ = 0;
    std::int64_t streamSampleSize_ = 1; // bytes per sample of the stream's own count
    std::int64_t startByte_ = 0;        // the read position, in bytes of the stream's data
    std::int64_t sourceFrames_ = 0;     // sample frames of the stream from the read position
    std::uint32_t rate_ = 0;
    std::int64_t frames_ = 0;
    std::int64_t position_ = 0; // next frame Read gives
    std::unique_ptr<Resampler> resampler_;
};

} // namespace quolva::publish
