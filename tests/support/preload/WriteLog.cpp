// A library loaded with LD_PRELOAD into a program under test: it logs every write, size change and sync
// of the files in one folder, with the bytes written, so that a test can rebuild each file as the disk
// held it at any moment. Nothing is changed: each call goes on to the C library.
//
//   QUOLVA_WRITE_LOG         the log file (appended to)
//   QUOLVA_WRITE_LOG_FOLDER  the folder whose files (and itself) are logged, an absolute path
//
// Each entry is a WriteLogEntry (WriteLogFormat.h) followed by its `length` bytes: the path for an open,
// the bytes for a write. A write is logged once it returned, with what it wrote; a sync is logged when
// it is called and again when it returned. Entries are in the order of the calls, across threads.
#include "WriteLogFormat.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

using quolva::test::WriteLogEntry;
using quolva::test::WriteLogKind;

namespace {

constexpr int kMostDescriptors = 65536;

template <typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);
using WritevFn = ssize_t (*)(int, const iovec*, int);
using PwritevFn = ssize_t (*)(int, const iovec*, int, off_t);
using TruncateFn = int (*)(int, off_t);
using SyncFn = int (*)(int);

struct Log {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    int descriptor = -1;
    std::string folder; // with a trailing slash
    std::vector<std::string> paths; // a file's number is its place here
    int fileOf[kMostDescriptors];   // -1: not a logged file
    WriteFn write = nullptr;

    Log()
    {
        for (int& file : fileOf)
            file = -1;
        const char* logPath = std::getenv("QUOLVA_WRITE_LOG");
        const char* folderPath = std::getenv("QUOLVA_WRITE_LOG_FOLDER");
        if (logPath == nullptr || folderPath == nullptr || folderPath[0] != '/')
            return;
        folder = folderPath;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        write = next<WriteFn>("write");
        descriptor = next<OpenFn>("open")(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }

    bool logs(const std::string& path) const
    {
        return descriptor >= 0 && (path == folder || path.compare(0, folder.size() + 1, folder + "/") == 0);
    }

    void put(const void* data, size_t size)
    {
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = write(descriptor, bytes, size);
            if (n <= 0 && errno != EINTR)
                std::abort(); // a log with a gap would make the test see writes that never happened
            if (n > 0) {
                bytes += n;
                size -= static_cast<size_t>(n);
            }
        }
    }

    // One entry; `parts` are its bytes. Called with the mutex held.
    void entry(WriteLogKind kind, int file, std::uint64_t offset, const iovec* parts, int count, std::uint64_t length)
    {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        WriteLogEntry head{};
        head.kind = static_cast<std::uint32_t>(kind);
        head.file = static_cast<std::uint32_t>(file);
        head.thread = static_cast<std::uint32_t>(::syscall(SYS_gettid));
        head.nanoseconds = std::uint64_t(now.tv_sec) * 1000000000u + std::uint64_t(now.tv_nsec);
        head.offset = offset;
        head.length = length;
        put(&head, sizeof head);
        for (int i = 0; i < count && length > 0; ++i) {
            const size_t take = parts[i].iov_len < length ? parts[i].iov_len : static_cast<size_t>(length);
            put(parts[i].iov_base, take);
            length -= take;
        }
    }
};

Log& log()
{
    static Log* instance = new Log; // never destroyed: calls may come during exit
    return *instance;
}

std::string absolute(int folderDescriptor, const char* path)
{
    if (path == nullptr)
        return {};
    if (path[0] == '/')
        return path;
    char where[4096];
    if (folderDescriptor == AT_FDCWD) {
        if (::getcwd(where, sizeof where) == nullptr)
            return path;
        return std::string(where) + "/" + path;
    }
    const std::string link = "/proc/self/fd/" + std::to_string(folderDescriptor);
    const ssize_t n = ::readlink(link.c_str(), where, sizeof where - 1);
    return n > 0 ? std::string(where, static_cast<size_t>(n)) + "/" + path : std::string(path);
}

int logged(int descriptor)
{
    return descriptor >= 0 && descriptor < kMostDescriptors ? log().fileOf[descriptor] : -1;
}

void opened(int descriptor, int folderDescriptor, const char* path, int flags)
{
    if (descriptor < 0 || descriptor >= kMostDescriptors)
        return;
    Log& l = log();
    const std::string full = absolute(folderDescriptor, path);
    pthread_mutex_lock(&l.mutex);
    if (!l.logs(full)) {
        l.fileOf[descriptor] = -1;
    } else {
        int file = 0;
        while (file < static_cast<int>(l.paths.size()) && l.paths[static_cast<size_t>(file)] != full)
            ++file;
        if (file == static_cast<int>(l.paths.size()))
            l.paths.push_back(full);
        l.fileOf[descriptor] = file;
        const iovec name{const_cast<char*>(full.data()), full.size()};
        l.entry(WriteLogKind::Open, file, static_cast<std::uint64_t>(flags), &name, 1, full.size());
    }
    pthread_mutex_unlock(&l.mutex);
}

void wrote(int descriptor, std::uint64_t offset, const iovec* parts, int count, ssize_t written)
{
    const int file = logged(descriptor);
    if (file < 0 || written <= 0)
        return;
    Log& l = log();
    pthread_mutex_lock(&l.mutex);
    l.entry(WriteLogKind::Write, file, offset, parts, count, static_cast<std::uint64_t>(written));
    pthread_mutex_unlock(&l.mutex);
}

void note(WriteLogKind kind, int descriptor, std::uint64_t value)
{
    const int file = logged(descriptor);
    if (file < 0)
        return;
    Log& l = log();
    pthread_mutex_lock(&l.mutex);
    l.entry(kind, file, value, nullptr, 0, 0);
    pthread_mutex_unlock(&l.mutex);
}

// Where a write without an offset lands: the end for O_APPEND, otherwise the file position.
std::uint64_t currentOffset(int descriptor)
{
    const int flags = ::fcntl(descriptor, F_GETFL);
    const off_t at = ::lseek(descriptor, 0, (flags >= 0 && (flags & O_APPEND)) ? SEEK_END : SEEK_CUR);
    return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

int modeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, int) : 0;
}

int syncLogged(SyncFn real, int descriptor)
{
    note(WriteLogKind::SyncBegin, descriptor, 0);
    const int result = real(descriptor);
    const int error = errno;
    note(WriteLogKind::SyncEnd, descriptor, static_cast<std::uint64_t>(result));
    errno = error;
    return result;
}

} // namespace

extern "C" {

#define QUOLVA_OPEN(name)                                                                                     \
    int name(const char* path, int flags, ...)                                                                \
    {                                                                                                         \
        va_list arguments;                                                                                    \
        va_start(arguments, flags);                                                                           \
        const int mode = modeOf(flags, arguments);                                                            \
        va_end(arguments);                                                                                    \
        static const auto real = next<OpenFn>(#name);                                                         \
        const int descriptor = real(path, flags, mode);                                                       \
        const int error = errno;                                                                              \
        opened(descriptor, AT_FDCWD, path, flags);                                                            \
        errno = error;                                                                                        \
        return descriptor;                                                                                    \
    }
QUOLVA_OPEN(open)
QUOLVA_OPEN(open64)

#define QUOLVA_OPENAT(name)                                                                                   \
    int name(int folder, const char* path, int flags, ...)                                                    \
    {                                                                                                         \
        va_list arguments;                                                                                    \
        va_start(arguments, flags);                                                                           \
        const int mode = modeOf(flags, arguments);                                                            \
        va_end(arguments);                                                                                    \
        static const auto real = next<OpenAtFn>(#name);                                                       \
        const int descriptor = real(folder, path, flags, mode);                                               \
        const int error = errno;                                                                              \
        opened(descriptor, folder, path, flags);                                                              \
        errno = error;                                                                                        \
        return descriptor;                                                                                    \
    }
QUOLVA_OPENAT(openat)
QUOLVA_OPENAT(openat64)

ssize_t write(int descriptor, const void* data, size_t size)
{
    const std::uint64_t at = logged(descriptor) >= 0 ? currentOffset(descriptor) : 0;
    static const auto real = next<WriteFn>("write");
    const ssize_t written = real(descriptor, data, size);
    const int error = errno;
    const iovec part{const_cast<void*>(data), size};
    wrote(descriptor, at, &part, 1, written);
    errno = error;
    return written;
}

ssize_t writev(int descriptor, const iovec* parts, int count)
{
    const std::uint64_t at = logged(descriptor) >= 0 ? currentOffset(descriptor) : 0;
    static const auto real = next<WritevFn>("writev");
    const ssize_t written = real(descriptor, parts, count);
    const int error = errno;
    wrote(descriptor, at, parts, count, written);
    errno = error;
    return written;
}

#define QUOLVA_PWRITE(name)                                                                                   \
    ssize_t name(int descriptor, const void* data, size_t size, off_t offset)                                 \
    {                                                                                                         \
        static const auto real = next<PwriteFn>(#name);                                                       \
        const ssize_t written = real(descriptor, data, size, offset);                                         \
        const int error = errno;                                                                              \
        const iovec part{const_cast<void*>(data), size};                                                      \
        wrote(descriptor, static_cast<std::uint64_t>(offset), &part, 1, written);                             \
        errno = error;                                                                                        \
        return written;                                                                                       \
    }
QUOLVA_PWRITE(pwrite)
QUOLVA_PWRITE(pwrite64)

#define QUOLVA_PWRITEV(name)                                                                                  \
    ssize_t name(int descriptor, const iovec* parts, int count, off_t offset)                                 \
    {                                                                                                         \
        static const auto real = next<PwritevFn>(#name);                                                      \
        const ssize_t written = real(descriptor, parts, count, offset);                                       \
        const int error = errno;                                                                              \
        wrote(descriptor, static_cast<std::uint64_t>(offset), parts, count, written);                         \
        errno = error;                                                                                        \
        return written;                                                                                       \
    }
QUOLVA_PWRITEV(pwritev)
QUOLVA_PWRITEV(pwritev64)

#define QUOLVA_FTRUNCATE(name)                                                                                \
    int name(int descriptor, off_t size)                                                                      \
    {                                                                                                         \
        static const auto real = next<TruncateFn>(#name);                                                     \
        const int result = real(descriptor, size);                                                            \
        const int error = errno;                                                                              \
        if (result == 0)                                                                                      \
            note(WriteLogKind::Truncate, descriptor, static_cast<std::uint64_t>(size));                       \
        errno = error;                                                                                        \
        return result;                                                                                        \
    }
QUOLVA_FTRUNCATE(ftruncate)
QUOLVA_FTRUNCATE(ftruncate64)

int fsync(int descriptor)
{
    static const auto real = next<SyncFn>("fsync");
    return syncLogged(real, descriptor);
}

int fdatasync(int descriptor)
{
    static const auto real = next<SyncFn>("fdatasync");
    return syncLogged(real, descriptor);
}

int close(int descriptor)
{
    if (descriptor >= 0 && descriptor < kMostDescriptors)
        log().fileOf[descriptor] = -1;
    static const auto real = next<SyncFn>("close");
    return real(descriptor);
}

} // extern "C"
