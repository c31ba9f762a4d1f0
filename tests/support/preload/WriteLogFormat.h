#pragma once
// The entries of the write log that the WriteLog preload library keeps (see WriteLog.cpp).
#include <cstdint>

namespace quolva::test {

enum class WriteLogKind : std::uint32_t {
    Open = 1,      // offset: the open flags; then the absolute path
    Write = 2,     // offset: where the bytes went; then the bytes written
    Truncate = 3,  // offset: the new size
    SyncBegin = 4, // fsync or fdatasync called
    SyncEnd = 5,   // ... and returned; offset: its result
};

struct WriteLogEntry {
    std::uint32_t kind = 0;
    std::uint32_t file = 0;   // numbered by first open, in the order of the log
    std::uint32_t thread = 0; // the caller's thread id
    std::uint32_t reserved = 0;
    std::uint64_t nanoseconds = 0; // CLOCK_MONOTONIC
    std::uint64_t offset = 0;
    std::uint64_t length = 0; // bytes after the entry
};
static_assert(sizeof(WriteLogEntry) == 40);

} // namespace quolva::test
