#pragma once
#include "store/FrameStoreWalk.h"

#include <cstdint>
#include <filesystem>

namespace quolva::store {

// The frame store of a target AVI file: its full path with ".xxx" appended.
std::filesystem::path FrameStorePathOf(const std::filesystem::path& target);

// What repairing a recording after a crash found and changed. `quolvactl repair` and the editor's
// offer to repair run the same code.
struct RecordingRepair {
    bool frameStoreFound = false; // no frame store: no frame was recorded
    FrameStoreRepair frames;      // when the frame store was found
    bool aviWasComplete = true;   // false: its headers and index were completed from the chunks present

    bool FrameStoreChanged() const
    {
        return frameStoreFound && !frames.damagedInMiddle &&
               (frames.cutBytes > 0 || frames.oldCount != frames.newCount || !frames.mendedTrailers.empty());
    }
    // Damage followed by readable records: reported, and the frame store left as it is.
    bool FrameStoreDamagedInMiddle() const { return frameStoreFound && frames.damagedInMiddle; }
    bool Changed() const { return FrameStoreChanged() || !aviWasComplete; }
};

// Puts a recording back in order after the program died while recording: the frame store's header is
// set to the complete records present (a torn tail is cut off, damaged trailing sizes are written again
// from the leading ones; other damage followed by readable records is left as it is), and the AVI file's
// headers and indexes are completed from the chunks it holds. A failure is thrown naming the file.
RecordingRepair RepairRecording(const std::filesystem::path& target);

// What a recording shows of an unfinished recording, found without writing anything.
struct RecordingDamage {
    bool inspected = false;        // both files could be read; otherwise nothing is known
    std::int32_t headerCount = 0;  // the frame store header's count
    std::int32_t records = 0;      // records the forward readers read, up to the first fault
    bool frameStoreFault = false;  // a record is torn or inconsistent
    bool aviComplete = true;       // the AVI file's headers and index were written

    // Signs of a recording that was never finished: more records than the header counts, or an AVI
    // file that was not completed. Repair sets both right.
    bool Unfinished() const { return inspected && (headerCount < records || !aviComplete); }
};

// Reads both files of a recording; anything it cannot read (a missing file, a header that is not a
// number, a file that is not an AVI) leaves `inspected` false, for the open to report.
RecordingDamage InspectRecording(const std::filesystem::path& target);

} // namespace quolva::store
