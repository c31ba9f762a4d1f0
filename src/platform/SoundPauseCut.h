#pragma once
// The sound a running input device delivers while a recording is paused, cut out by the time it was
// recorded. The device keeps running through a pause (opening it again would cost a start delay that
// puts the sound behind the pictures); the byte at position n of its stream was recorded n ÷ (bytes per
// second) after its start, plus the device's own delay, which is the same before and after a pause, so
// that cutting by position keeps the sound in step with pictures that stop and go on at those times.

#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <limits>
#include <utility>

namespace quolva::platform {

class SoundPauseCut {
public:
    // The device started (nanoseconds on the caller's steady clock).
    void Start(std::int64_t bytesPerSecond, int blockAlign, std::int64_t atNs);
    void Pause(std::int64_t atNs);
    void Resume(std::int64_t atNs);
    bool isPaused() const { return !cuts_.empty() && cuts_.back().second == kOpen; }

    // Hands the parts of the next `size` bytes of the device's stream that were not recorded during a
    // pause to keep(data, size).
    template <typename Keep>
    void Filter(const char* data, qsizetype size, Keep keep)
    {
        while (size > 0) {
            while (!cuts_.empty() && cuts_.front().second <= position_)
                cuts_.pop_front();
            qsizetype part = size;
            const bool cut = !cuts_.empty() && cuts_.front().first <= position_;
            if (cut)
                part = static_cast<qsizetype>(std::min<std::int64_t>(size, cuts_.front().second - position_));
            else if (!cuts_.empty())
                part = static_cast<qsizetype>(std::min<std::int64_t>(size, cuts_.front().first - position_));
            if (!cut)
                keep(data, part);
            data += part;
            size -= part;
            position_ += part;
        }
    }

private:
    static constexpr std::int64_t kOpen = std::numeric_limits<std::int64_t>::max();
    std::int64_t PositionAt(std::int64_t atNs) const;

    std::int64_t bytesPerSecond_ = 0;
    int blockAlign_ = 1;
    std::int64_t startNs_ = 0;
    std::int64_t position_ = 0;                             // bytes delivered so far
    std::deque<std::pair<std::int64_t, std::int64_t>> cuts_; // [from, until) in stream positions
};

}  // namespace quolva::platform
