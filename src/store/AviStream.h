#pragma once
#include "AviLayout.h"
#include "WinTypes.h"

#include <cstdint>
#include <vector>

namespace quolva::store {

class AviFile;

// One stream of an AVI file: its description, format and data. Owned by its AviFile; handles to it
// (PAVISTREAM) keep the file alive. Every failure throws AviError naming the file.
class AviStream {
public:
    AviStream(const AviStream&) = delete;
    AviStream& operator=(const AviStream&) = delete;

    AviFile& file() const { return *file_; }
    int number() const { return number_; } // place among the file's streams, from 0
    FOURCC type() const { return info_.fccType; }

    // The description stored with the stream; dwLength is the current length.
    AVISTREAMINFOA info() const;

    // The stream format as stored (a wave format, a bitmap header, ...).
    const std::vector<std::uint8_t>& format() const { return format_; }
    // Sets the format at position 0. A stream that already holds data keeps its format: setting an equal
    // one (trailing zero bytes aside) changes nothing, a different one is refused.
    void setFormat(LONG position, const void* data, LONG size);

    // The sum of the sample counts of all writes (for streams read from a file: the stored length).
    LONG length() const;
    LONG start() const { return static_cast<LONG>(info_.dwStart); }
    // The bytes the stream's data chunks hold, whatever unit its length counts.
    std::uint64_t dataBytes() const;

    struct Transfer {
        LONG bytes = 0;
        LONG samples = 0;
    };
    // Appends `bytes` bytes as one chunk counting `samples` samples. `start` must be the stream's end
    // (the length, or dwStart + length). A write of 0 bytes adds its sample count to the length only,
    // except in streams of one sample per chunk, where it is an empty chunk.
    Transfer write(LONG start, LONG samples, const void* data, LONG bytes, DWORD flags);
    // Reads from sample `start`: up to `samples` samples of dwSampleSize bytes for fixed-size streams,
    // the one chunk holding sample `start` otherwise. Nothing past the end of the data. With a null
    // buffer, tells what would be read.
    Transfer read(LONG start, LONG samples, void* buffer, LONG bufferSize) const;

    // Milliseconds from samples and back, by dwRate and dwScale (truncated); -1 when they cannot be
    // converted (a rate or scale of 0, a negative argument).
    LONG sampleToTime(LONG sample) const;
    LONG timeToSample(LONG milliseconds) const;

private:
    friend class AviFile;
    AviStream(AviFile& file, int number, const AVISTREAMINFOA& info);

    bool fixedSize() const { return info_.dwSampleSize != 0; }
    FOURCC chunkId() const;
    const detail::StreamIndex& index() const;

    AviFile* file_;
    int number_;
    AVISTREAMINFOA info_{};
    std::vector<std::uint8_t> format_;
    std::vector<std::vector<std::uint8_t>> extraChunks_; // other strl chunks of a file read (vprp, strd)
    std::int64_t length_ = 0;
};

} // namespace quolva::store
