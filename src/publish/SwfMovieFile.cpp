#include "publish/SwfMovieFile.h"

#include "publish/PublishError.h"
#include "store/OutputFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quolva::publish {
namespace {

// Small tags are gathered and go to the file in pieces of about this size.
constexpr std::size_t kFlushSize = 1 << 20;

std::string quoted(const QString& path)
{
    return "\"" + path.toStdString() + "\"";
}

} // namespace

SwfMovieFile::SwfMovieFile(const QString& outputPath) : outputPath_(outputPath)
{
    const QFileInfo output(outputPath);
    if (outputPath.isEmpty() || output.fileName().isEmpty())
        throw PublishError("无法创建文件 " + quoted(outputPath) + "：没有文件名");
    // A link is followed and stays; what is not a regular file is refused before anything is made.
    store::OutputTarget target;
    try {
        target = store::ResolveOutputTarget(QFile::encodeName(output.absoluteFilePath()).toStdString());
    } catch (const store::StoreError& refusal) {
        throw PublishError(refusal.what());
    }
    output_ = target.path;
    if (target.exists && ::access(output_.c_str(), W_OK) != 0)
        Fail("无法写入文件 " + quoted(outputPath), errno);

    // The unfinished movie lies beside the file it replaces (the same file system, so that naming it is
    // one step).
    for (int attempt = 0; fd_ < 0; ++attempt) {
        partPath_ = target.folder + "/" +
                    store::PartFileName(target, std::to_string(::getpid()) + "-" + std::to_string(attempt));
        fd_ = ::open(partPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt > 100))
            Fail("无法创建文件 " + quoted(outputPath), errno);
    }
    // A replaced file keeps its permissions.
    if (target.exists)
        ::fchmod(fd_, target.mode & 07777);
}

SwfMovieFile::~SwfMovieFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !partPath_.empty())
        ::unlink(partPath_.c_str());
}

void SwfMovieFile::Fail(const std::string& what, int error) const
{
    throw PublishError(what + "：" + std::strerror(error));
}

void SwfMovieFile::ReserveHeader(std::uint32_t bytes)
{
    if (reservedSet_ || bodyLength_ != 0)
        throw std::logic_error("SwfMovieFile: the header's room is set before the body");
    reserved_ = bytes;
    reservedSet_ = true;
}

void SwfMovieFile::Append(std::string_view bytes)
{
    reservedSet_ = true;
    bodyLength_ += bytes.size();
    if (buffer_.size() + bytes.size() < kFlushSize) {
        buffer_.append(bytes);
        return;
    }
    Flush();
    WriteAt(reserved_ + written_, bytes.data(), bytes.size());
    written_ += static_cast<std::int64_t>(bytes.size());
}

void SwfMovieFile::Flush()
{
    if (buffer_.empty())
        return;
    WriteAt(reserved_ + written_, buffer_.data(), buffer_.size());
    written_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
}

void SwfMovieFile::WriteAt(std::int64_t offset, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("无法写入文件 " + quoted(outputPath_), errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
}

// Moves the body that starts at `from` to start at `to`, piece by piece, in the order that never
// overwrites bytes still to be moved.
void SwfMovieFile::MoveBody(std::int64_t from, std::int64_t to)
{
    const std::int64_t length = written_;
    std::vector<char> piece(kFlushSize);
    const auto move = [&](std::int64_t at, std::int64_t size) {
        std::int64_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(fd_, piece.data() + done, static_cast<std::size_t>(size - done), from + at + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                Fail("无法读取文件 " + quoted(outputPath_), n < 0 ? errno : EIO);
            done += n;
        }
        WriteAt(to + at, piece.data(), static_cast<std::size_t>(size));
    };
    const auto pieceSize = static_cast<std::int64_t>(piece.size());
    if (to > from) {
        for (std::int64_t end = length; end > 0; end -= pieceSize)
            move(std::max<std::int64_t>(0, end - pieceSize), std::min(pieceSize, end));
    } else {
        for (std::int64_t at = 0; at < length; at += pieceSize)
            move(at, std::min(pieceSize, length - at));
    }
    if (::ftruncate(fd_, to + length) != 0)
        Fail("无法写入文件 " + quoted(outputPath_), errno);
}

void SwfMovieFile::Commit(std::string_view header)
{
    Flush();
    if (header.size() != reserved_)
        MoveBody(reserved_, static_cast<std::int64_t>(header.size()));
    WriteAt(0, header.data(), header.size());
    if (::close(fd_) != 0) {
        fd_ = -1;
        Fail("无法写入文件 " + quoted(outputPath_), errno);
    }
    fd_ = -1;
    if (::rename(partPath_.c_str(), output_.c_str()) != 0)
        Fail("无法创建文件 " + quoted(outputPath_), errno);
    committed_ = true;
}

} // namespace quolva::publish
