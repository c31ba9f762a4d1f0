#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quolva::publish {

// A small pool of threads for the heavy part of each frame (compressing its pixels). Jobs are handed in
// on one thread and their results taken back on that thread in the order the jobs came, so what is
// written does not depend on how many threads ran them. At most `inFlight` jobs exist at a time, which
// bounds the memory they hold. With one thread the jobs run on the caller's thread when taken.
class OrderedWorkers {
public:
    using Job = std::function<std::string()>;

    // `threads` 0: one per core.
    explicit OrderedWorkers(unsigned threads);
    // Waits for the jobs that are running; jobs not yet started are dropped.
    ~OrderedWorkers();
    OrderedWorkers(const OrderedWorkers&) = delete;
    OrderedWorkers& operator=(const OrderedWorkers&) = delete;

    unsigned Threads() const { return threads_; }
    // True when a job has to be taken back before the next may be handed in.
    bool Full() const { return results_.size() >= inFlight_; }
    bool Empty() const { return results_.empty(); }
    void Submit(Job job);
    // The result of the oldest job, waiting for it; a job's exception comes out here.
    std::string TakeOldest();

private:
    void Work();

    unsigned threads_;
    std::size_t inFlight_;
    std::deque<std::future<std::string>> results_;
    std::deque<std::packaged_task<std::string()>> inline_; // one thread: run when taken
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<std::string()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace quolva::publish
