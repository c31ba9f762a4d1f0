#include "editor/StoreReplacement.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quolva::editor {
namespace {

constexpr std::int64_t kCopyBlock = std::int64_t{1} << 20;

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

bool AllZero(const std::vector<std::uint8_t>& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

} // namespace

StoreReplacement::StoreReplacement(const std::filesystem::path& target) : target_(target)
{
    struct stat status {};
    if (::stat(target_.c_str(), &status) != 0)
        Fail("无法读取它的属性", errno);

    std::string pattern = target_.string() + ".new-XXXXXX";
    int descriptor;
    do {
        descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        Fail("无法在它旁边建立新文件", errno);
    descriptor_ = descriptor;
    temporary_ = pattern;
    // The new store keeps the old one's permissions.
    if (::fchmod(descriptor_, status.st_mode & 07777) != 0)
        Fail("无法设置新文件 " + Quoted(temporary_) + " 的权限", errno);
}

StoreReplacement::~StoreReplacement()
{
    if (descriptor_ >= 0)
        ::close(std::exchange(descriptor_, -1));
    if (!committed_ && !temporary_.empty())
        ::unlink(temporary_.c_str());
}

void StoreReplacement::Fail(const std::string& what, int error) const
{
    std::string message = "无法更新帧文件 " + Quoted(target_) + "：" + what;
    if (error != 0)
        message += "：" + std::generic_category().message(error);
    message += "。帧文件保持原样。";
    throw CommitError(message);
}

void StoreReplacement::WriteAt(const std::uint8_t* bytes, std::size_t count)
{
    std::int64_t offset = size_;
    while (count > 0) {
        const ssize_t written = ::pwrite(descriptor_, bytes, std::min<std::size_t>(count, kCopyBlock), offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail("写入新文件 " + Quoted(temporary_) + " 失败", errno);
        }
        if (written == 0)
            Fail("写入新文件 " + Quoted(temporary_) + " 失败", EIO);
        bytes += written;
        count -= static_cast<std::size_t>(written);
        offset += written;
    }
    size_ = offset;
}

void StoreReplacement::Write(std::span<const std::uint8_t> bytes)
{
    WriteAt(bytes.data(), bytes.size());
}

void StoreReplacement::CopyFrom(store::FrameStore& source, std::int64_t from, std::int64_t to)
{
    source.Seek(from);
    for (std::int64_t at = from; at < to;) {
        const std::int64_t count = std::min(kCopyBlock, to - at);
        std::vector<std::uint8_t> block;
        try {
            block = source.Read(count);
        } catch (const store::StoreError& failure) {
            Fail(std::string("读取原文件失败：") + failure.what(), 0);
        }
        if (AllZero(block))
            size_ += count; // a hole: Flush sets the file's size
        else
            WriteAt(block.data(), block.size());
        at += count;
    }
}

void StoreReplacement::Flush()
{
    if (::ftruncate(descriptor_, size_) != 0)
        Fail("无法设定新文件 " + Quoted(temporary_) + " 的大小", errno);
    if (::fsync(descriptor_) != 0)
        Fail("无法把新文件 " + Quoted(temporary_) + " 写到磁盘上", errno);
}

store::FrameStore StoreReplacement::OpenWritten() const
{
    try {
        return store::FrameStore::OpenFrameStore(temporary_);
    } catch (const store::StoreError& failure) {
        Fail(failure.what(), 0);
    }
}

void StoreReplacement::Commit()
{
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        Fail("无法用新文件 " + Quoted(temporary_) + " 替换它", errno);
    committed_ = true;
    ::close(std::exchange(descriptor_, -1));
    // The rename reaches the disk with its folder. The new store is in place already: a failure here
    // only means a crash could still bring back the old one, so it is not reported.
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

} // namespace quolva::editor
