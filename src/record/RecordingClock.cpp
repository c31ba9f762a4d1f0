#include "record/RecordingClock.h"

#include <algorithm>

namespace quolva::record {

void RecordingClock::Start(int tickIntervalMs)
{
    interval_ = std::max(1, tickIntervalMs);
    clock_.start();
    pausedMs_ = 0;
    paused_ = false;
    taken_ = 0;
    skipped_ = 0;
}

void RecordingClock::Pause()
{
    if (paused_)
        return;
    pausedAt_ = clock_.elapsed();
    paused_ = true;
}

void RecordingClock::Resume()
{
    if (!paused_)
        return;
    pausedMs_ += clock_.elapsed() - pausedAt_;
    paused_ = false;
}

std::int64_t RecordingClock::recordedMs() const
{
    if (!clock_.isValid())
        return 0;
    return (paused_ ? pausedAt_ : clock_.elapsed()) - pausedMs_;
}

void RecordingClock::Tick()
{
    ++taken_;
    // The first tick falls due one interval after the start.
    skipped_ = std::max<std::int64_t>(skipped_, recordedMs() / interval_ - taken_);
}

int RecordingClock::untilNextTick() const
{
    return static_cast<int>(interval_ - recordedMs() % interval_);
}

} // namespace quolva::record
