#include "store/FileFlusher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace quolva::store {
namespace {

using Clock = std::chrono::steady_clock;

int openForSync(const std::filesystem::path& path, int flags)
{
    int descriptor;
    do {
        descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// A file system that cannot sync (EINVAL) or is read-only (EROFS) has nothing to force out.
bool syncFailed(int result)
{
    return result != 0 && errno != EINVAL && errno != EROFS;
}

double threadCpuSeconds()
{
    timespec spent{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &spent);
    return double(spent.tv_sec) + double(spent.tv_nsec) / 1e9;
}

} // namespace

FileFlusher::FileFlusher(std::chrono::milliseconds interval) : interval_(interval) {}

FileFlusher::~FileFlusher()
{
    stop();
}

void FileFlusher::start(const std::vector<std::filesystem::path>& files)
{
    stop();
    {
        std::lock_guard lock(mutex_);
        failure_.clear();
        figures_ = {};
        stopping_ = false;
    }
    for (const std::filesystem::path& path : files) {
        const int descriptor = openForSync(path, 0);
        if (descriptor < 0)
            fail(path, "it cannot be opened", errno);
        else
            targets_.push_back({path, descriptor});
    }
    try {
        worker_ = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        // The recording goes on all the same, as it would have without flushing.
        fail(files.empty() ? std::filesystem::path() : files.front(), "no thread could be started", error.code().value());
        closeTargets();
    }
}

void FileFlusher::stop()
{
    if (!worker_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
    closeTargets();
}

std::string FileFlusher::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

FileFlusher::Figures FileFlusher::figures() const
{
    std::lock_guard lock(mutex_);
    return figures_;
}

void FileFlusher::run()
{
    // At once: the files exist from now on, as they were started (a sound track's header, a store's
    // count), and can be repaired whenever the power fails.
    syncRound();
    syncFolders();
    Clock::time_point next = Clock::now() + interval_;
    std::unique_lock lock(mutex_);
    while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
        lock.unlock();
        syncRound();
        lock.lock();
        // Rounds begin an interval apart; after a sync slower than that, the next begins at once.
        next = std::max(next + interval_, Clock::now());
    }
    lock.unlock();
    syncRound(); // the files as their writers completed them
}

void FileFlusher::syncRound()
{
    const Clock::time_point began = Clock::now();
    for (const Target& target : targets_)
        if (syncFailed(::fdatasync(target.descriptor)))
            fail(target.path, nullptr, errno);
    const double took = std::chrono::duration<double>(Clock::now() - began).count();
    std::lock_guard lock(mutex_);
    ++figures_.rounds;
    figures_.cpuSeconds = threadCpuSeconds();
    figures_.longestRoundSeconds = std::max(figures_.longestRoundSeconds, took);
}

void FileFlusher::syncFolders()
{
    std::set<std::filesystem::path> folders;
    for (const Target& target : targets_) {
        // The folder where the file itself lies, when it is reached through a link.
        std::error_code error;
        const std::filesystem::path real = std::filesystem::weakly_canonical(target.path, error);
        const std::filesystem::path& path = error ? target.path : real;
        folders.insert(path.has_parent_path() ? path.parent_path() : std::filesystem::path("."));
    }
    for (const std::filesystem::path& folder : folders) {
        const int descriptor = openForSync(folder, O_DIRECTORY);
        if (descriptor < 0) {
            fail(folder, "the folder cannot be opened", errno);
            continue;
        }
        if (syncFailed(::fsync(descriptor)))
            fail(folder, nullptr, errno);
        ::close(descriptor);
    }
}

void FileFlusher::fail(const std::filesystem::path& path, const char* what, int error)
{
    std::lock_guard lock(mutex_);
    if (!failure_.empty())
        return;
    failure_ = "Cannot flush \"" + path.string() + "\" to the disk: ";
    if (what != nullptr)
        failure_ += std::string(what) + ": ";
    failure_ += std::strerror(error);
}

void FileFlusher::closeTargets()
{
    for (const Target& target : targets_)
        ::close(target.descriptor);
    targets_.clear();
}

} // namespace quolva::store
