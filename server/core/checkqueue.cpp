#include "checkqueue.h"

#include <exception>
#include <future>

namespace quillon::server {

TCheckQueue::TCheckQueue(std::size_t workers, std::size_t capacity) : capacity_(capacity)
{
    for (std::size_t i = 0; i < workers; ++i)
        workers_.emplace_back([this] { Work(); });
}

TCheckQueue::~TCheckQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

bool TCheckQueue::Run(const std::function<void()>& job)
{
    std::packaged_task<void()> task(job);
    std::future<void> done = task.get_future();
    {
        std::lock_guard lock(mutex_);
        if (jobs_.size() >= capacity_ || stopping_)
            return false;
        jobs_.emplace_back([&task] { task(); });
    }
    wake_.notify_one();
    done.get();
    return true;
}

void TCheckQueue::Work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            // Queued jobs are finished even when stopping: their callers wait for them.
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

} // namespace quillon::server
