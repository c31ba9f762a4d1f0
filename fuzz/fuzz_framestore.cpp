// Feeds arbitrary bytes to the frame store readers as a store file: the header count, walks forwards
// and backwards (reading and skipping), decoding of every picture found, and the count update.
// Anything may fail with StoreError; nothing may crash, hang or allocate without bound.
#include "store/FrameStore.h"
#include "store/Jpeg.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace quolva::store;

namespace {

// Decoding cost grows with the pixels a header claims; big claims are left to the unit tests so that
// each input stays quick. The decoder itself refuses anything above kMaxJpegPixels.
constexpr std::int64_t kMaxFuzzedPixels = std::int64_t{1} << 22;

void DecodeIfSmall(const FrameStore& store, const FrameRecord& record)
{
    try {
        const JpegDimensions size = ReadJpegDimensions(record.jpeg);
        if (std::int64_t{size.width} * size.height > kMaxFuzzedPixels)
            return;
        const Picture picture = store.DecodeFrame(record);
        if (picture.Width() != size.width || picture.Height() != size.height ||
            picture.Bytes().size() != static_cast<std::size_t>(size.width) * size.height * 3)
            std::abort();
    } catch (const StoreError&) {
    }
    // The JPEG's own samples, into planes exactly as large as that decoder asks (an overrun is the
    // sanitizer's to find).
    try {
        std::vector<std::uint8_t> planes[3];
        DecodeJpegYcc420Into(record.jpeg, "fuzzed", [&](int width, int height) -> std::optional<YccPlanes> {
            if (std::int64_t{width} * height > kMaxFuzzedPixels)
                return std::nullopt;
            YccPlanes into;
            const std::ptrdiff_t lumaStride = (width + 15) / 16 * 16;
            for (int c = 0; c < 3; ++c) {
                into.stride[c] = c == 0 ? lumaStride : lumaStride / 2;
                planes[c].resize(static_cast<std::size_t>(into.stride[c]) * (c == 0 ? height : (height + 1) / 2));
                into.data[c] = planes[c].data();
            }
            return into;
        });
    } catch (const StoreError&) {
    }
}

void WalkForwards(FrameStore& store, bool read)
{
    store.Seek(kFrameStoreHeaderSize);
    try {
        while (store.Position() < store.Size()) {
            const std::int64_t before = store.Position();
            const FrameRecord record = read ? store.ReadNextFrame() : store.SkipNextFrame();
            if (record.offset != before || store.Position() != record.End() || store.Position() <= before)
                std::abort();
            if (read)
                DecodeIfSmall(store, record);
        }
    } catch (const StoreError&) {
    }
}

void WalkBackwards(FrameStore& store, bool read)
{
    store.Seek(store.Size());
    try {
        while (store.Position() > kFrameStoreHeaderSize) {
            const std::int64_t before = store.Position();
            const FrameRecord record = read ? store.ReadPreviousFrame() : store.SkipPreviousFrame();
            if (record.End() != before || store.Position() != record.offset || record.offset < kFrameStoreHeaderSize)
                std::abort();
            if (read)
                DecodeIfSmall(store, record);
        }
    } catch (const StoreError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An in-memory file, opened by path as the program opens stores.
    const int file = ::memfd_create("fuzz_framestore", MFD_CLOEXEC);
    if (file < 0)
        std::abort();
    if (size > 0 && ::write(file, data, size) != static_cast<ssize_t>(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(file);

    try {
        FrameStore store = FrameStore::OpenFrameStore(path);
        std::int32_t count = -1;
        try {
            count = store.ReadFrameCount();
        } catch (const StoreError&) {
        }
        WalkForwards(store, true);
        WalkBackwards(store, true);
        WalkForwards(store, false);
        WalkBackwards(store, false);

        // The count update: a readable count goes up by exactly the frames added.
        if (count >= 0 && count < INT32_MAX) {
            store.AddToFrameCount(1);
            if (store.ReadFrameCount() != count + 1 || store.Size() != static_cast<std::int64_t>(size))
                std::abort();
        }
    } catch (const StoreError&) {
    }
    ::close(file);
    return 0;
}
