#pragma once
#include <QElapsedTimer>

#include <cstdint>

namespace quolva::record {

// The time a recording has run, without its pauses, measured against the capture ticks: how many ticks
// fell due, how many were taken (a tick that falls due while the one before still runs is skipped, as
// timer ticks are not queued), and when the next one is due after a resume, so that the frames keep the
// spacing of the ticks across any number of pauses.
class RecordingClock {
public:
    void Start(int tickIntervalMs);
    void Pause();
    void Resume();
    // A tick was taken.
    void Tick();

    bool isPaused() const { return paused_; }
    // Milliseconds recorded, pauses left out.
    std::int64_t recordedMs() const;
    // Ticks that fell due and were not taken, as of the last tick.
    std::int64_t skippedTicks() const { return skipped_; }
    std::int64_t takenTicks() const { return taken_; }
    // Milliseconds of recording until the next tick falls due (1 to the interval).
    int untilNextTick() const;

private:
    QElapsedTimer clock_;
    std::int64_t pausedMs_ = 0;
    std::int64_t pausedAt_ = 0;
    bool paused_ = false;
    int interval_ = 100;
    std::int64_t taken_ = 0;
    std::int64_t skipped_ = 0;
};

} // namespace quolva::record
