#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace quolva::store::detail {

// An open file descriptor with positioned, complete reads and writes. Every failure throws AviError
// naming the file; the descriptor is closed by the destructor.
class AviRawFile {
public:
    AviRawFile() = default;
    AviRawFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    AviRawFile(const AviRawFile&) = delete;
    AviRawFile& operator=(const AviRawFile&) = delete;
    AviRawFile(AviRawFile&& other) noexcept;
    AviRawFile& operator=(AviRawFile&& other) noexcept;
    ~AviRawFile();

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    void setPath(std::filesystem::path path) { path_ = std::move(path); }

    std::uint64_t size() const;
    // Reads exactly `size` bytes at `offset`; a file that ends earlier is a format fault.
    void readAt(std::uint64_t offset, void* data, std::size_t size) const;
    // Reads up to `size` bytes; returns how many the file holds there.
    std::size_t readSomeAt(std::uint64_t offset, void* data, std::size_t size) const;
    void writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // One chunk: its 8-byte header, the data and the pad byte that keeps chunks on even offsets.
    void writeChunkAt(std::uint64_t offset, std::uint32_t id, const void* data, std::uint32_t size);
    void truncate(std::uint64_t size);
    void sync();
    // Copies `size` bytes from `from` at `fromOffset` to this file at `toOffset`.
    void copyFrom(const AviRawFile& from, std::uint64_t fromOffset, std::uint64_t toOffset, std::uint64_t size);
    void close() noexcept;

    // "Cannot read AVI file "path": reason"
    [[noreturn]] void fail(int code, const std::string& what, int error) const;

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

std::string quoted(const std::filesystem::path& path);

} // namespace quolva::store::detail
