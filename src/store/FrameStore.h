#pragma once

#include "store/Picture.h"
#include "store/StoreError.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quolva::store {

// The frame store file: a 16-byte text header holding the frame count (FrameStoreHeader), then one
// FrameRecord per frame, back to back. A record is a JPEG of n bytes framed by its size in decimal at
// both ends: d (the number of digits of n, one ASCII digit), n, the JPEG, n again, d again. All numbers
// are decimal text, so a record can be read from its start forwards or from its end backwards.
inline constexpr std::int64_t kFrameStoreHeaderSize = 16;
inline constexpr std::int32_t kMaxFrameJpegSize = 999'999'999; // d is a single digit

// One record as a reader met it.
struct FrameRecord {
    std::int64_t offset = 0;        // where the record starts in the file
    int digitCount = 0;             // d
    std::int32_t jpegSize = 0;      // n
    std::vector<std::uint8_t> jpeg; // the picture; empty when the record was only skipped

    std::int64_t Length() const { return std::int64_t{jpegSize} + 2 * digitCount + 2; }
    std::int64_t End() const { return offset + Length(); }
};

// An open frame store. It owns its file descriptor and keeps one position, like a file stream; records
// are read and written at that position. Every failure throws StoreError naming the file, and a failed
// operation leaves the file and the position as they were.
class FrameStore {
public:
    // Creates the file (replacing any file of that name) with a fresh header, "0" and 15 spaces.
    // The position is 16, the end of the file.
    static FrameStore CreateFrameStore(const std::filesystem::path& path);
    // Opens an existing store for reading and writing and moves to its end. The header must read as a
    // number, so that frames are never appended to a file that is not a frame store.
    static FrameStore OpenFrameStoreForAppend(const std::filesystem::path& path);
    // Opens an existing store for reading and writing at position 0 (the editor, the wizard).
    static FrameStore OpenFrameStore(const std::filesystem::path& path);
    // Opens an existing store for reading only at position 0 (inspection tools).
    static FrameStore OpenFrameStoreReadOnly(const std::filesystem::path& path);
    // A second, read-only handle on this store's file with a position of its own, at the first record:
    // long work reads the frames through it without moving this handle's position.
    FrameStore OpenReader() const;

    // JPEG-encodes the picture (quality 90, baseline, floating-point DCT) and lays it out as one
    // record in memory.
    static std::vector<std::uint8_t> EncodeFrameRecord(const PictureView& picture);
    // Frames existing JPEG bytes as one record.
    static std::vector<std::uint8_t> FrameRecordFromJpeg(std::span<const std::uint8_t> jpeg);

    FrameStore(FrameStore&& other) noexcept;
    FrameStore& operator=(FrameStore&& other) noexcept;
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;
    ~FrameStore();

    // Encodes the picture and writes its record at the end of the file; the position is then the end.
    // If the write fails (a full disk), the file is cut back to its former size before the error is
    // thrown.
    void AppendFrame(const PictureView& picture);
    // Writes a ready-made record (from EncodeFrameRecord) at the end, as AppendFrame does. The bytes
    // must be one well-framed record.
    void AppendRecord(std::span<const std::uint8_t> record);

    // Reads the record that starts at the position and leaves the position at its end. The trailing
    // size and digit count are not compared with the leading ones. Fails at the end of the file and on
    // a record cut short.
    FrameRecord ReadNextFrame();
    // Reads the record that ends at the position and leaves the position at its start. The leading
    // size and digit count are not compared with the trailing ones. Fails at offset 16.
    FrameRecord ReadPreviousFrame();
    // As ReadNextFrame / ReadPreviousFrame, reading only the framing (the JPEG is left empty).
    FrameRecord SkipNextFrame();
    FrameRecord SkipPreviousFrame();

    // Reads the header's 16 bytes, strips codes 0 to 32 at both ends and parses a signed 32-bit
    // decimal. The position is then 16, just after the header.
    std::int32_t ReadFrameCount();
    // Adds k to the header count: the new digits are written from byte 0 and the rest of the header is
    // left alone, except that digits of the old text lying beyond the new ones are blanked. The
    // position is then the end of the file.
    void AddToFrameCount(std::int32_t k);

    // Decodes a record read from this store; errors name the file and the record's offset.
    Picture DecodeFrame(const FrameRecord& record) const;

    // Plain byte access at the position, which moves past the bytes (used to copy runs of records).
    std::vector<std::uint8_t> Read(std::int64_t count);
    void Write(std::span<const std::uint8_t> bytes);

    // Cuts the file to `size` bytes (never into the header); the position is then at most the new end.
    // Repairing a store cut short by a crash uses it to drop a torn last record.
    void Truncate(std::int64_t size);

    std::int64_t Position() const { return position_; }
    void Seek(std::int64_t position);
    std::int64_t Size() const;
    bool IsOpen() const { return descriptor_ >= 0; }
    // Closes the file; closing a closed store does nothing.
    void Close();
    const std::filesystem::path& Path() const { return path_; }

private:
    FrameStore(int descriptor, std::filesystem::path path, std::int64_t position);

    FrameRecord ReadForward(bool withJpeg);
    FrameRecord ReadBackward(bool withJpeg);
    // The digit count d and the size n of a record's framing; `at` names the record in messages.
    int ParseDigitCount(std::uint8_t field, const std::string& at) const;
    std::int32_t ParseJpegSize(const std::uint8_t* field, int digitCount, const std::string& at) const;
    std::vector<std::uint8_t> ReadHeaderBytes();
    void ReadExactly(std::int64_t offset, std::uint8_t* into, std::int64_t count, const char* purpose) const;
    void AppendAtEnd(std::span<const std::uint8_t> head, std::span<const std::uint8_t> jpeg,
                     std::span<const std::uint8_t> tail);
    int Descriptor() const;
    int WritableDescriptor() const;
    [[noreturn]] void Fail(const std::string& what) const;

    int descriptor_ = -1;
    std::filesystem::path path_;
    std::int64_t position_ = 0;
    bool readOnly_ = false;
};

} // namespace quolva::store
