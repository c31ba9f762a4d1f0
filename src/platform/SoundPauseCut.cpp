#include "platform/SoundPauseCut.h"

namespace quolva::platform {

void SoundPauseCut::Start(std::int64_t bytesPerSecond, int blockAlign, std::int64_t atNs)
{
    bytesPerSecond_ = bytesPerSecond;
    blockAlign_ = blockAlign > 0 ? blockAlign : 1;
    startNs_ = atNs;
    position_ = 0;
    cuts_.clear();
}

// Whole sample blocks, so that the sound stays aligned.
std::int64_t SoundPauseCut::PositionAt(std::int64_t atNs) const
{
    const auto bytes = static_cast<std::int64_t>(static_cast<long double>(atNs - startNs_) * bytesPerSecond_ / 1e9L);
    return bytes - bytes % blockAlign_;
}

void SoundPauseCut::Pause(std::int64_t atNs)
{
    if (!isPaused())
        cuts_.emplace_back(PositionAt(atNs), kOpen);
}

void SoundPauseCut::Resume(std::int64_t atNs)
{
    if (isPaused())
        cuts_.back().second = std::max(cuts_.back().first, PositionAt(atNs));
}

}  // namespace quolva::platform
