#pragma once
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quolva::store {

// Forces the data of a recording's files out to the disk about once a second, on a thread of its own.
// Written data otherwise waits in the page cache for up to half a minute, and a power cut or a kernel
// crash loses all of it; with this, at most the last second or two are lost. No capture tick waits for
// the disk: the writers go on writing while a sync runs.
//
// Only the data is forced out (fdatasync): the frames and the sound chunks, in the order they were
// written. Header counts and indexes are not needed for that, repair rebuilds them from the data
// present. The folders holding the files are synced once, after the files' first sync, so that a file
// made for the recording is still there after the cut, and whole enough to be repaired.
class FileFlusher {
public:
    explicit FileFlusher(std::chrono::milliseconds interval = std::chrono::seconds(1));
    ~FileFlusher();
    FileFlusher(const FileFlusher&) = delete;
    FileFlusher& operator=(const FileFlusher&) = delete;

    // Starts flushing the files (a running flusher is stopped first). Each file is opened again for
    // reading: the flusher's own descriptors, so that a writer closing its file never races with a sync.
    // A file that cannot be opened is not flushed, and is named by failure().
    void start(const std::vector<std::filesystem::path>& files);
    // Syncs every file one last time (the writers have just completed them) and ends the thread.
    // Stopping a stopped flusher does nothing.
    void stop();
    bool isRunning() const { return worker_.joinable(); }

    // The first failure since start ("Cannot flush "…" to the disk: …"), empty when there was none.
    std::string failure() const;

    // What the flushing cost, for the capture benchmark.
    struct Figures {
        int rounds = 0;                // rounds of syncs, the last one of stop included
        double cpuSeconds = 0;         // CPU time the flushing thread used
        double longestRoundSeconds = 0; // wall time of the slowest round
    };
    Figures figures() const;

private:
    struct Target {
        std::filesystem::path path;
        int descriptor = -1;
    };
    void run();
    void syncRound();
    void syncFolders();
    void fail(const std::filesystem::path& path, const char* what, int error);
    void closeTargets();

    const std::chrono::milliseconds interval_;
    std::vector<Target> targets_;
    std::thread worker_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::string failure_;
    Figures figures_;
};

} // namespace quolva::store
