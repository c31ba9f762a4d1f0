#include "store/OutputFile.h"

#include "store/StoreError.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace quolva::store {
namespace {

// As many links as the kernel follows in one path before it gives up (ELOOP).
constexpr int kLinkDepth = 40;
constexpr std::size_t kUsualNameLimit = 255;

std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string linkTarget(const std::string& link, std::size_t size)
{
    std::vector<char> text(size + 1);
    for (;;) {
        const ssize_t n = ::readlink(link.c_str(), text.data(), text.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < text.size())
            return std::string(text.data(), static_cast<std::size_t>(n));
        text.resize(text.size() * 2); // the link changed meanwhile
    }
}

const char* kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "这是一个文件夹";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "这是一个设备，不是普通文件";
    if (S_ISFIFO(mode))
        return "这是一个管道，不是普通文件";
    if (S_ISSOCK(mode))
        return "这是一个套接字，不是普通文件";
    return "这不是普通文件";
}

} // namespace

OutputTarget ResolveOutputTarget(const std::string& output)
{
    std::string path = output;
    for (int depth = 0;; ++depth) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT)
                throw StoreError("无法写入文件 " + quoted(output) + "：" + std::strerror(errno));
            break; // a new file; a missing folder is told when the file is made in it
        }
        if (S_ISLNK(status.st_mode)) {
            if (depth == kLinkDepth)
                throw StoreError("无法写入文件 " + quoted(output) + "：" + std::strerror(ELOOP));
            const std::string target = linkTarget(path, static_cast<std::size_t>(status.st_size));
            if (target.empty())
                throw StoreError("无法写入文件 " + quoted(output) + "：" + std::strerror(errno != 0 ? errno : EINVAL));
            // A relative link is read from the folder that holds it.
            path = target.front() == '/' ? target : folderOf(path) + "/" + target;
            continue;
        }
        if (!S_ISREG(status.st_mode))
            throw StoreError("无法写入文件 " + quoted(output) + "：" + kindOf(status.st_mode));
        OutputTarget result{path, folderOf(path), nameOf(path), true, status.st_mode};
        return result;
    }
    return OutputTarget{path, folderOf(path), nameOf(path), false, 0};
}

std::string PartFileName(const OutputTarget& target, const std::string& tag)
{
    const long limit = ::pathconf(target.folder.c_str(), _PC_NAME_MAX);
    const std::size_t longest = limit > 0 ? static_cast<std::size_t>(limit) : kUsualNameLimit;
    const std::string suffix = "." + tag + ".part";
    std::string name = target.name;
    const std::size_t room = longest > suffix.size() + 1 ? longest - suffix.size() - 1 : 0;
    if (name.size() > room) {
        std::size_t cut = room;
        // Never in the middle of a character: continuation bytes are 10xxxxxx.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return "." + name + suffix;
}

} // namespace quolva::store
