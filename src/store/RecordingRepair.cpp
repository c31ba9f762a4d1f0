#include "store/RecordingRepair.h"

#include "store/AviFile.h"
#include "store/FrameStore.h"

namespace quolva::store {

std::filesystem::path FrameStorePathOf(const std::filesystem::path& target)
{
    std::filesystem::path frames = target;
    frames += ".xxx";
    return frames;
}

RecordingRepair RepairRecording(const std::filesystem::path& target)
{
    RecordingRepair repair;
    const std::filesystem::path framesPath = FrameStorePathOf(target);

    if (std::filesystem::exists(framesPath)) {
        FrameStore frames = FrameStore::OpenFrameStore(framesPath);
        repair.frames = RepairFrameStore(frames);
        frames.Close();
        repair.frameStoreFound = true;
    }

    const PAVIFILE file = AviFile::open(target, OF_READWRITE | OF_SHARE_DENY_NONE);
    if (!file->wasComplete()) {
        file->completeOnClose();
        file->close();
        repair.aviWasComplete = false;
    } else {
        file->close();
    }
    return repair;
}

RecordingDamage InspectRecording(const std::filesystem::path& target)
{
    RecordingDamage damage;
    try {
        FrameStore frames = FrameStore::OpenFrameStoreReadOnly(FrameStorePathOf(target));
        damage.headerCount = frames.ReadFrameCount();
        const FrameStoreWalk walk = WalkFramesForwards(frames);
        damage.records = static_cast<std::int32_t>(walk.recordStarts.size());
        damage.frameStoreFault = !walk.Clean();
        frames.Close();

        const PAVIFILE file = AviFile::open(target, OF_READ | OF_SHARE_DENY_NONE);
        damage.aviComplete = file->wasComplete();
        file->close();
        damage.inspected = true;
    } catch (const StoreError&) {
        damage = RecordingDamage{};
    }
    return damage;
}

} // namespace quolva::store
