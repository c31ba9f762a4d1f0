#pragma once
#include "store/FrameStore.h"
#include "store/StoreError.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace quolva::editor {

// A frame store that could not be rewritten. The message names the file and what failed; the old
// store is still in place, whole.
class CommitError : public store::StoreError {
public:
    using StoreError::StoreError;
};

// A new version of a file, written beside it under a unique name in the same folder and renamed over
// it only once it is complete and on the disk. Whenever the program stops, the file under the old name
// is either the whole old version or the whole new one. Until Commit the old file is untouched; a
// replacement abandoned before Commit (by a failure or by destruction) removes its file.
class StoreReplacement {
public:
    explicit StoreReplacement(const std::filesystem::path& target);
    ~StoreReplacement();
    StoreReplacement(const StoreReplacement&) = delete;
    StoreReplacement& operator=(const StoreReplacement&) = delete;

    // Appends bytes.
    void Write(std::span<const std::uint8_t> bytes);
    // Appends the bytes of `source` from offset `from` up to `to`, read at the source's position (which
    // is moved). Blocks of zeros are left as holes, so that sparse stores stay sparse.
    void CopyFrom(store::FrameStore& source, std::int64_t from, std::int64_t to);
    std::int64_t Size() const { return size_; }

    // Flushes the new file to the disk.
    void Flush();
    // Opens the new file as a frame store, before it is renamed, so that a store to continue with is in
    // hand before the old one is given up.
    store::FrameStore OpenWritten() const;
    // Renames the new file over the target and flushes the folder, which makes the rename durable.
    void Commit();

    const std::filesystem::path& TemporaryPath() const { return temporary_; }

private:
    void WriteAt(const std::uint8_t* bytes, std::size_t count);
    [[noreturn]] void Fail(const std::string& what, int error) const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int descriptor_ = -1;
    std::int64_t size_ = 0;
    bool committed_ = false;
};

} // namespace quolva::editor
