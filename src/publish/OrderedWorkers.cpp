#include "publish/OrderedWorkers.h"

#include <algorithm>

namespace quolva::publish {

OrderedWorkers::OrderedWorkers(unsigned threads)
    : threads_(threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency()))
{
    // Every thread busy, and one job more ready for each, so that no thread waits for the caller.
    inFlight_ = threads_ == 1 ? 1 : 2 * std::size_t{threads_};
    if (threads_ > 1)
        for (unsigned i = 0; i < threads_; ++i)
            workers_.emplace_back([this] { Work(); });
}

OrderedWorkers::~OrderedWorkers()
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

void OrderedWorkers::Submit(Job job)
{
    std::packaged_task<std::string()> task(std::move(job));
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

std::string OrderedWorkers::TakeOldest()
{
    if (threads_ == 1) {
        std::packaged_task<std::string()> task = std::move(inline_.front());
        inline_.pop_front();
        task();
    }
    std::future<std::string> result = std::move(results_.front());
    results_.pop_front();
    return result.get();
}

void OrderedWorkers::Work()
{
    for (;;) {
        std::packaged_task<std::string()> task;
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

} // namespace quolva::publish
