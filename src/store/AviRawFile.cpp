#include "AviRawFile.h"

#include "AviError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace quolva::store::detail {

std::string quoted(const std::filesystem::path& path)
{
    return "\"" + path.string() + "\"";
}

AviRawFile::AviRawFile(AviRawFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_))
{
    other.fd_ = -1;
}

AviRawFile& AviRawFile::operator=(AviRawFile&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

AviRawFile::~AviRawFile()
{
    close();
}

void AviRawFile::close() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void AviRawFile::fail(int code, const std::string& what, int error) const
{
    std::string message = what + " AVI file " + quoted(path_);
    if (error != 0)
        message += ": " + std::string(std::strerror(error));
    throw AviError(code, message);
}

std::uint64_t AviRawFile::size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(AVIERR_FILEREAD, "Cannot read", errno);
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t AviRawFile::readSomeAt(std::uint64_t offset, void* data, std::size_t size) const
{
    auto* out = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(AVIERR_FILEREAD, "Cannot read", errno);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void AviRawFile::readAt(std::uint64_t offset, void* data, std::size_t size) const
{
    if (readSomeAt(offset, data, size) != size)
        throw AviError(AVIERR_FILEREAD, "AVI file " + quoted(path_) + " ends in the middle of its data");
}

void AviRawFile::writeAt(std::uint64_t offset, const void* data, std::size_t size)
{
    const auto* in = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(AVIERR_FILEWRITE, "Cannot write to", errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

void AviRawFile::writeChunkAt(std::uint64_t offset, std::uint32_t id, const void* data, std::uint32_t size)
{
    std::uint32_t header[2] = {id, size};
    char pad = 0;
    iovec parts[3] = {{header, sizeof header}, {const_cast<void*>(data), size}, {&pad, size & 1u}};
    std::size_t total = sizeof header + size + (size & 1u);
    std::size_t done = 0;
    int first = 0;
    while (done < total) {
        ssize_t n = ::pwritev(fd_, parts + first, 3 - first, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(AVIERR_FILEWRITE, "Cannot write to", errno);
        }
        done += static_cast<std::size_t>(n);
        // Move past what was written: a short write can stop anywhere in the three parts.
        auto left = static_cast<std::size_t>(n);
        while (first < 3 && left >= parts[first].iov_len) {
            left -= parts[first].iov_len;
            ++first;
        }
        if (first < 3) {
            parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + left;
            parts[first].iov_len -= left;
        }
    }
}

void AviRawFile::truncate(std::uint64_t size)
{
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        if (errno != EINTR)
            fail(AVIERR_FILEWRITE, "Cannot set the size of", errno);
    }
}

void AviRawFile::sync()
{
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        fail(AVIERR_FILEWRITE, "Cannot flush", errno);
}

void AviRawFile::copyFrom(const AviRawFile& from, std::uint64_t fromOffset, std::uint64_t toOffset,
                          std::uint64_t size)
{
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 20)));
    while (size > 0) {
        auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        from.readAt(fromOffset, buffer.data(), piece);
        writeAt(toOffset, buffer.data(), piece);
        fromOffset += piece;
        toOffset += piece;
        size -= piece;
    }
}

} // namespace quolva::store::detail
