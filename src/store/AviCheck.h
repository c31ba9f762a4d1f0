#pragma once
// An independent check of an AVI file's structure. The chunks found by walking each RIFF part and its
// movi list are taken as the truth; every index of the file (idx1, the OpenDML super indexes and the
// ix## standard indexes they name) must name exactly those chunks, and every RIFF and LIST size must
// agree with the file. The first fault is reported with its offset. It walks the file on its own rather
// than through the AVI reader, so that it can tell whether the writer and the reader got the format right.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace quolva::store {

enum class AviFault {
    None,
    NotAvi,        // the file does not begin with RIFF 'AVI '
    Unfinished,    // a RIFF or movi size left at 0 (or -1) by a writer that did not finish the file
    CutShort,      // a RIFF part reaches past the end of the file
    Structure,     // sizes that do not add up, a chunk where no chunk belongs, a missing list
    MissingIndex,  // data chunks that no index names
    Idx1,          // idx1 does not name the chunks of the first movi list
    SuperIndex,    // an indx entry does not name a standard index as it lies in the file
    StandardIndex, // an ix## entry does not name the stream's chunk
    KeyFrames,     // key-frame flags that cannot be right, or indexes that disagree on them
};

// A short stable name of the fault ("idx1", "standard index", ...).
std::string_view AviFaultName(AviFault fault);

struct AviCheckReport {
    AviFault fault = AviFault::None;
    std::uint64_t faultOffset = 0; // where the fault lies in the file
    std::string message;           // 'AVI file "…", offset N: what is wrong'

    // What the walk found (complete only for a clean file).
    int streams = 0;
    std::size_t parts = 0;           // RIFF parts: 'AVI ' and the 'AVIX' parts after it
    std::size_t dataChunks = 0;      // data chunks of all streams in all movi lists
    bool hasIdx1 = false;
    std::size_t standardIndexes = 0; // ix## chunks named by the super indexes

    bool Clean() const { return fault == AviFault::None; }
};

// Checks the file. Faults of the file's contents are reported, never thrown; only a file that cannot be
// opened or read throws AviError. Every size read from the file is checked against the file before
// anything is allocated for it.
AviCheckReport CheckAviFile(const std::filesystem::path& path);

} // namespace quolva::store
