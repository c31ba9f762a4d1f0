#include "AviStream.h"

#include "AviFile.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace quolva::store {

using detail::ChunkRef;
using detail::quoted;

namespace {

__extension__ typedef __int128 Wide;

LONG clampLong(Wide value)
{
    return static_cast<LONG>(std::clamp<Wide>(value, LONG_MIN, LONG_MAX));
}

// Formats compare equal when they differ only by trailing zero bytes (a wave format of 18 bytes with
// cbSize 0 and the 20-byte sound format area that holds it).
bool sameFormat(const std::vector<std::uint8_t>& a, const std::uint8_t* b, std::size_t bSize)
{
    const std::size_t common = std::min(a.size(), bSize);
    if (std::memcmp(a.data(), b, common) != 0)
        return false;
    auto zero = [](std::uint8_t v) { return v == 0; };
    return std::all_of(a.begin() + static_cast<std::ptrdiff_t>(common), a.end(), zero) &&
           std::all_of(b + common, b + bSize, zero);
}

} // namespace

AviStream::AviStream(AviFile& file, int number, const AVISTREAMINFOA& info) : file_(&file), number_(number), info_(info)
{
}

const detail::StreamIndex& AviStream::index() const
{
    return file_->layout_->index[static_cast<std::size_t>(number_)];
}

FOURCC AviStream::chunkId() const
{
    FOURCC letters = mmioFOURCC(0, 0, 'd', 'c');
    if (info_.fccType == streamtypeAUDIO) {
        letters = mmioFOURCC(0, 0, 'w', 'b');
    } else if (info_.fccType == streamtypeVIDEO) {
        DWORD compression = BI_RGB;
        if (format_.size() >= 20)
            std::memcpy(&compression, format_.data() + 16, 4);
        if (compression == BI_RGB)
            letters = mmioFOURCC(0, 0, 'd', 'b');
    } else if (info_.fccType == streamtypeTEXT) {
        letters = mmioFOURCC(0, 0, 't', 'x');
    }
    return detail::dataChunkId(number_, letters);
}

AVISTREAMINFOA AviStream::info() const
{
    AVISTREAMINFOA result = info_;
    result.dwLength = static_cast<DWORD>(std::clamp<std::int64_t>(length_, 0, UINT32_MAX));
    result.dwSuggestedBufferSize = std::max(result.dwSuggestedBufferSize, index().maxChunk);
    return result;
}

LONG AviStream::length() const
{
    return clampLong(length_);
}

std::uint64_t AviStream::dataBytes() const
{
    std::uint64_t bytes = 0;
    for (const detail::ChunkRef& chunk : index().chunks)
        bytes += chunk.size;
    return bytes;
}

void AviStream::setFormat(LONG position, const void* data, LONG size)
{
    file_->checkOpen();
    const std::string where = "AVI file " + quoted(file_->path()) + ", stream " + std::to_string(number_);
    if (position != 0)
        throw AviError(AVIERR_UNSUPPORTED, "Cannot set the format of " + where + " at position " +
                                               std::to_string(position) + ": formats are set at position 0");
    if (size < 0 || (size > 0 && data == nullptr))
        throw AviError(AVIERR_BADPARAM, "Cannot set the format of " + where + ": no format given");
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const auto count = static_cast<std::size_t>(size);
    const bool holdsData = length_ != 0 || !index().chunks.empty();
    if (holdsData) {
        if (sameFormat(format_, bytes, count))
            return;
        throw AviError(AVIERR_UNSUPPORTED,
                       "Cannot change the format of " + where + ": it already holds data in another format");
    }
    if (format_.size() == count && (count == 0 || std::memcmp(format_.data(), bytes, count) == 0))
        return;
    file_->beginChanges();
    std::vector<std::uint8_t> previous = std::move(format_);
    format_.assign(bytes, bytes + count);
    try {
        file_->writeHeader(file_->file_, *file_->layout_, true);
    } catch (...) {
        format_ = std::move(previous);
        throw;
    }
}

AviStream::Transfer AviStream::write(LONG start, LONG samples, const void* data, LONG bytes, DWORD flags)
{
    file_->checkWritable();
    const std::string where = "AVI file " + quoted(file_->path()) + ", stream " + std::to_string(number_);
    if (samples < 0 || bytes < 0 || (bytes > 0 && data == nullptr))
        throw AviError(AVIERR_BADPARAM, "Cannot write to " + where + ": negative count or no data");
    if (start != length_ && start != length_ + info_.dwStart)
        throw AviError(AVIERR_BADPARAM, "Cannot write to " + where + " at sample " + std::to_string(start) +
                                            ": data is appended at its end, sample " + std::to_string(length_));
    if (samples == 0 && bytes == 0)
        return {};
    // Sound chunks are all key frames; video chunks are what the caller says.
    const bool key = fixedSize() || info_.fccType == streamtypeAUDIO || (flags & AVIIF_KEYFRAME);
    if (bytes > 0 || !fixedSize())
        file_->appendChunk(*this, data, static_cast<std::uint32_t>(bytes), key ? AVIIF_KEYFRAME : 0u,
                           fixedSize() ? static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(samples));
    else
        file_->beginChanges();
    length_ += samples;
    file_->patchLength(*this);
    return {bytes, samples};
}

AviStream::Transfer AviStream::read(LONG start, LONG samples, void* buffer, LONG bufferSize) const
{
    file_->checkOpen();
    const std::string where = "AVI file " + quoted(file_->path()) + ", stream " + std::to_string(number_);
    if (start < 0 || samples < 0 || bufferSize < 0)
        throw AviError(AVIERR_BADPARAM, "Cannot read " + where + ": negative position or count");
    const detail::StreamIndex& idx = index();
    if (samples == 0 || idx.chunks.empty())
        return {};
    auto chunkAt = [&](std::uint64_t position) {
        auto it = std::upper_bound(idx.chunks.begin(), idx.chunks.end(), position,
                                   [](std::uint64_t p, const ChunkRef& c) { return p < c.position; });
        return it == idx.chunks.begin() ? it : it - 1;
    };
    const auto& file = file_->file_;

    if (fixedSize()) {
        const std::uint64_t sampleSize = info_.dwSampleSize;
        std::uint64_t pos = std::uint64_t(start) * sampleSize;
        if (pos >= idx.end)
            return {};
        std::uint64_t n = std::min<std::uint64_t>(std::uint64_t(samples), (idx.end - pos) / sampleSize);
        n = std::min<std::uint64_t>(n, LONG_MAX / sampleSize);
        if (n == 0)
            return {};
        if (buffer != nullptr) {
            const std::uint64_t fit = std::uint64_t(bufferSize) / sampleSize;
            if (fit == 0)
                throw AviError(AVIERR_BUFFERTOOSMALL, "Cannot read " + where + ": a buffer of " +
                                                          std::to_string(bufferSize) + " bytes holds no sample of " +
                                                          std::to_string(sampleSize) + " bytes");
            n = std::min(n, fit);
            auto* out = static_cast<char*>(buffer);
            std::uint64_t left = n * sampleSize;
            for (auto it = chunkAt(pos); left > 0 && it != idx.chunks.end(); ++it) {
                if (pos < it->position || pos - it->position >= it->size)
                    continue;
                const std::uint64_t within = pos - it->position;
                const std::uint64_t take = std::min<std::uint64_t>(it->size - within, left);
                file.readAt(it->dataPos + within, out, static_cast<std::size_t>(take));
                out += take;
                pos += take;
                left -= take;
            }
        }
        return {static_cast<LONG>(n * sampleSize), static_cast<LONG>(n)};
    }

    const std::uint64_t position = static_cast<std::uint64_t>(start);
    if (position >= idx.end)
        return {};
    const auto it = chunkAt(position);
    const std::uint64_t chunkEnd = it + 1 == idx.chunks.end() ? idx.end : (it + 1)->position;
    const LONG got = static_cast<LONG>(std::min<std::uint64_t>(std::uint64_t(samples), chunkEnd - position));
    if (buffer != nullptr) {
        if (it->size > std::uint64_t(bufferSize))
            throw AviError(AVIERR_BUFFERTOOSMALL, "Cannot read " + where + ": sample " + std::to_string(start) +
                                                      " has " + std::to_string(it->size) + " bytes, the buffer " +
                                                      std::to_string(bufferSize));
        file.readAt(it->dataPos, buffer, it->size);
    }
    return {static_cast<LONG>(it->size), got};
}

LONG AviStream::sampleToTime(LONG sample) const
{
    if (sample < 0 || info_.dwRate == 0)
        return -1;
    return clampLong(Wide(sample) * info_.dwScale * 1000 / info_.dwRate);
}

LONG AviStream::timeToSample(LONG milliseconds) const
{
    if (milliseconds < 0 || info_.dwScale == 0)
        return -1;
    return clampLong(Wide(milliseconds) * info_.dwRate / (Wide(info_.dwScale) * 1000));
}

} // namespace quolva::store
