#pragma once
#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

namespace quolva::publish {

// Frame buffers that the decoders (on other threads) fill again once the writer is done with them, so
// that a long export does not allocate, fault in and scatter over the threads' heaps a large new buffer
// for every frame. Take gives an empty buffer when none is spare; the decoders allocate then.
template <typename Buffer>
class Recycler {
public:
    Buffer Take()
    {
        std::lock_guard lock(mutex_);
        if (spare_.empty())
            return {};
        Buffer buffer = std::move(spare_.back());
        spare_.pop_back();
        return buffer;
    }
    void Give(Buffer buffer)
    {
        std::lock_guard lock(mutex_);
        if (spare_.size() < kKept)
            spare_.push_back(std::move(buffer));
    }

private:
    static constexpr std::size_t kKept = 4;
    std::mutex mutex_;
    std::vector<Buffer> spare_;
};

} // namespace quolva::publish
