#pragma once
#include "store/FrameStore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quolva::store {

// A record whose trailing size or digit count is damaged while the rest shows where it ends: its leading
// size frames a whole JPEG (the start-of-image marker first, the end-of-image marker last) and the next
// record starts right after it, or the file ends there. The readers going forwards read it whole; the
// trailing field can be written again from the leading one, in the same number of bytes.
struct DamagedTrailer {
    std::int64_t recordOffset = 0; // where the record starts
    std::int64_t fieldOffset = 0;  // where its trailing size starts
    std::string found;             // the trailing size and digit count as they are
    std::string expected;          // as the leading ones say: as many bytes as `found`
    std::string fault;             // what is wrong, in words
};

// A walk over every record of a frame store that checks each record's framing in full: a digit count
// of 1 to 9, a size that is a decimal number, and the trailing size and digit count equal to the leading
// ones. The readers of the store trust one copy only; inspection and repair check both. The forward walk
// goes on past a record whose trailing field alone is damaged, as the forward readers do.
struct FrameStoreWalk {
    std::vector<std::int64_t> recordStarts; // in file order, damaged trailers included
    std::vector<DamagedTrailer> damagedTrailers; // records read by their leading size (forwards only)
    std::int64_t goodEnd = kFrameStoreHeaderSize; // end of the last record read
    std::string fault;           // empty when the walk reached the end of the file
    std::int64_t faultOffset = 0;

    // Every record read, none damaged.
    bool Clean() const { return fault.empty() && damagedTrailers.empty(); }
    // Every record read, some perhaps by their leading size only.
    bool ReachedTheEnd() const { return fault.empty(); }
};

// Bytes of a damaged field as a message shows them: printable ASCII as it is, other bytes as \xNN.
std::string PrintableBytes(std::string_view bytes);

// From the first record to the end of the file.
FrameStoreWalk WalkFramesForwards(FrameStore& store);

// From the end of the file back to the first record (recordStarts still in file order).
FrameStoreWalk WalkFramesBackwards(FrameStore& store);

// What repairing a frame store after a crash changed.
struct FrameStoreRepair {
    std::int32_t oldCount = 0;     // the header count as found
    std::int32_t newCount = 0;     // the complete records present
    std::int64_t cutBytes = 0;     // bytes of a torn last record, cut off
    std::vector<DamagedTrailer> mendedTrailers; // trailing fields written again
    std::string fault;             // what the damaged record had wrong
    std::int64_t faultOffset = 0;  // where the damaged record starts
    bool damagedInMiddle = false;  // records the readers still read follow the damage: nothing was changed
};

// After a crash: cuts a torn tail (bytes at the end from which no whole record can be read), writes damaged
// trailing fields again from their leading ones (DamagedTrailer) and sets the header count to the complete
// records present. Other damage followed by readable records is only reported: the store is left as it
// is. A store that is already consistent is left untouched.
FrameStoreRepair RepairFrameStore(FrameStore& store);

} // namespace quolva::store
