#pragma once
#include "store/FrameStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quolva::store {

// A walk over every record of a frame store that checks each record's framing in full: a digit count
// of 1 to 9, a size that is a decimal number, and the trailing size and digit count equal to the leading
// ones. The readers of the store trust one copy only; inspection and repair check both.
struct FrameStoreWalk {
    std::vector<std::int64_t> recordStarts; // in file order
    std::int64_t goodEnd = kFrameStoreHeaderSize; // end of the last record that is whole and consistent
    std::string fault;           // empty when the walk reached the end of the file without a fault
    std::int64_t faultOffset = 0;

    bool Clean() const { return fault.empty(); }
};

// From the first record to the end of the file.
FrameStoreWalk WalkFramesForwards(FrameStore& store);

// From the end of the file back to the first record (recordStarts still in file order).
FrameStoreWalk WalkFramesBackwards(FrameStore& store);

// What repairing a frame store after a crash changed.
struct FrameStoreRepair {
    std::int32_t oldCount = 0;     // the header count as found
    std::int32_t newCount = 0;     // the complete records present
    std::int64_t cutBytes = 0;     // bytes of a torn last record, cut off
    std::string fault;             // what the damaged record had wrong
    std::int64_t faultOffset = 0;  // where the damaged record starts
    bool damagedInMiddle = false;  // records the readers still read follow the damage: nothing was changed
};

// After a crash: cuts a torn tail (bytes at the end from which no whole record can be read) and sets the
// header count to the complete records present. Damage followed by readable records is only reported:
// the store is left as it is. A store that is already consistent is left untouched.
FrameStoreRepair RepairFrameStore(FrameStore& store);

} // namespace quolva::store
