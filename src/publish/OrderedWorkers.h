#pragma once
#include <algorithm>
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

// A small pool of threads for the heavy part of each frame (decoding or compressing its pixels). Jobs are
// handed in on one thread and their results taken back on that thread in the order the jobs came, so what
// is written does not depend on how many threads ran them. At most `inFlight` jobs exist at a time, which
// bounds the memory they hold. With one thread the jobs run on the caller's thread when taken.
template <typename Result = std::string>
class OrderedWorkers {
public:
    using Job = std::function<Result()>;

    // `threads` 0: one per core.
    explicit OrderedWorkers(unsigned threads)
        : threads_(threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency()))
    {
        // Every thread busy, and one job more ready for each, so that no thread waits for the caller.
        inFlight_ = threads_ == 1 ? 1 : 2 * std::size_t{threads_};
        if (threads_ > 1)
            for (unsigned i = 0; i < threads_; ++i)
                workers_.emplace_back([this] { Work(); });
    }
    // Waits for the jobs that are running; jobs not yet started are dropped.
    ~OrderedWorkers()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }
    OrderedWorkers(const OrderedWorkers&) = delete;
    OrderedWorkers& operator=(const OrderedWorkers&) = delete;

    unsigned Threads() const { return threads_; }
    // True when a job has to be taken back before the next may be handed in.
    bool Full() const { return results_.size() >= inFlight_; }
    bool Empty() const { return results_.empty(); }

    void Submit(Job job)
    {
        std::packaged_task<Result()> task(std::move(job));
        results_.push_back(task.get_future());
        if (threads_ == 1) {
            inline_.push_back(std::move(task));
            return;
        }
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(task));
        }
        wake_.notify_one();
    }

    // The result of the oldest job, waiting for it; a job's exception comes out here.
    Result TakeOldest()
    {
        if (threads_ == 1) {
            std::packaged_task<Result()> task = std::move(inline_.front());
            inline_.pop_front();
            task();
        }
        std::future<Result> result = std::move(results_.front());
        results_.pop_front();
        return result.get();
    }

private:
    void Work()
    {
        for (;;) {
            std::packaged_task<Result()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_)
                    return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
    }

    unsigned threads_;
    std::size_t inFlight_;
    std::deque<std::future<Result>> results_;
    std::deque<std::packaged_task<Result()>> inline_; // one thread: run when taken
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<Result()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace quolva::publish
