#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon::server {

// Slow password work (Argon2id) runs here, on a few workers of its own, so a burst of
// logins holds at most workers + capacity connection threads and never stands in front
// of picture or page requests. A job that finds the queue full is refused at once: the
// caller answers "busy" rather than wait.
class TCheckQueue {
public:
    TCheckQueue(std::size_t workers, std::size_t capacity);
    ~TCheckQueue();
    TCheckQueue(const TCheckQueue&) = delete;
    TCheckQueue& operator=(const TCheckQueue&) = delete;

    // Runs the job on a worker and waits for it; false (without running it) when the
    // queue is full. An exception of the job comes out here.
    bool Run(const std::function<void()>& job);

private:
    void Work();

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace quillon::server
