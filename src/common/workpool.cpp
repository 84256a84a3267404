#include "common/workpool.h"

#include <algorithm>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quillon {

namespace {

void CpuRelax()
{
#if defined(__x86_64__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

} // namespace

// A woken helper is often put on the processor of the thread that woke it, beside the
// caller it is to work with, and the two share it for milliseconds until the load
// balancer moves one of them: on a virtual machine an idle processor counts as taken, and
// after a pause every processor is idle. So a job's caller keeps the helpers off its own
// processor, within the processors each helper was given; the masks change only when the
// caller has moved.
struct TWorkPool::THelperCpus {
#if defined(__linux__)
    std::mutex mutex;
    std::vector<cpu_set_t> given; // per helper, the processors it was started with
    int avoided = -1;             // the processor the masks keep the helpers off
#endif
};

void TWorkPool::KeepHelpersOffCallerCpu()
{
#if defined(__linux__)
    const int cpu = sched_getcpu();
    std::lock_guard lock(cpus_->mutex);
    if (cpu < 0 || cpu == cpus_->avoided)
        return;
    cpus_->avoided = cpu;
    for (size_t i = 0; i < threads_.size(); ++i) {
        cpu_set_t mask = cpus_->given[i];
        if (CPU_COUNT(&mask) == 0)
            continue; // its processors are unknown: left alone
        if (CPU_ISSET(cpu, &mask) && CPU_COUNT(&mask) > 1)
            CPU_CLR(cpu, &mask);
        pthread_setaffinity_np(threads_[i].native_handle(), sizeof mask, &mask); // a refusal changes nothing
    }
#endif
}

struct TWorkPool::TTask::TState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr error;
};

TWorkPool::TTask::TTask(TTask&& other) noexcept : state_(std::move(other.state_)) {}

TWorkPool::TTask& TWorkPool::TTask::operator=(TTask&& other) noexcept
{
    if (this != &other) {
        Wait();
        state_ = std::move(other.state_);
    }
    return *this;
}

void TWorkPool::TTask::Wait()
{
    if (!state_)
        return;
    std::unique_lock lock(state_->mutex);
    state_->done.wait(lock, [&] { return state_->finished; });
    lock.unlock();
    const std::exception_ptr error = state_->error;
    state_.reset();
    if (error)
        std::rethrow_exception(error);
}

TWorkPool::TTask::~TTask()
{
    try {
        Wait();
    } catch (...) {
        // Whoever wanted the task's failure had to ask for it with Wait().
    }
}

TWorkPool& TWorkPool::Shared()
{
    static TWorkPool pool(std::max(static_cast<int>(std::thread::hardware_concurrency()), 1) - 1);
    return pool;
}

TWorkPool::TWorkPool(int helpers)
    : cpus_(std::make_unique<THelperCpus>())
{
    for (int i = 0; i < helpers; ++i)
        threads_.emplace_back([this, i] { HelperLoop(i); });
#if defined(__linux__)
    cpus_->given.resize(threads_.size());
    for (size_t i = 0; i < threads_.size(); ++i)
        if (pthread_getaffinity_np(threads_[i].native_handle(), sizeof cpus_->given[i], &cpus_->given[i]) != 0)
            CPU_ZERO(&cpus_->given[i]);
#endif
}

TWorkPool::~TWorkPool()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void TWorkPool::RunBatches()
{
    try {
        for (int32_t begin = next_.fetch_add(batch_); begin < count_; begin = next_.fetch_add(batch_))
            (*body_)(begin, std::min(count_, begin + batch_));
    } catch (...) {
        // The rest of the batches are skipped and the caller rethrows the first failure.
        next_.store(count_);
        std::lock_guard lock(errorLock_);
        if (!error_)
            error_ = std::current_exception();
    }
}

void TWorkPool::HelperLoop(int /*index*/)
{
    uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        // A render is two jobs back to back: a helper that looks for the next one for a few
        // microseconds before it sleeps spares the caller a wake-up.
        lock.unlock();
        for (int spin = 0; spin < 2000 && posted_.load(std::memory_order_relaxed) == seen; ++spin)
            CpuRelax();
        lock.lock();
        wake_.wait(lock, [&] { return stop_ || !tasks_.empty() || (generation_ != seen && open_ && joined_ < wanted_); });
        if (stop_ && tasks_.empty())
            return;
        if (!tasks_.empty()) {
            std::function<void()> task = std::move(tasks_.back());
            tasks_.pop_back();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        seen = generation_;
        ++joined_;
        ++running_;
        lock.unlock();
        RunBatches();
        lock.lock();
        if (--running_ == 0)
            idle_.notify_all();
    }
}

void TWorkPool::For(int32_t count, int threads, int32_t batch, const std::function<void(int32_t, int32_t)>& body)
{
    if (count <= 0)
        return;
    batch = std::max(batch, 1);
    const int helpers = std::min({threads - 1, Helpers(), (count - 1) / batch});
    std::unique_lock job(jobLock_, std::try_to_lock);
    if (helpers <= 0 || !job.owns_lock()) {
        body(0, count);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        body_ = &body;
        count_ = count;
        batch_ = batch;
        next_.store(0);
        wanted_ = helpers;
        joined_ = 0;
        open_ = true;
        ++generation_;
        posted_.store(generation_, std::memory_order_relaxed);
    }
    KeepHelpersOffCallerCpu();
    if (helpers == 1)
        wake_.notify_one();
    else
        wake_.notify_all();
    RunBatches();
    // Every batch is taken; a helper that wakes from now on must not join, and those that
    // joined are finishing theirs.
    std::unique_lock lock(mutex_);
    open_ = false;
    idle_.wait(lock, [&] { return running_ == 0; });
    body_ = nullptr;
    std::exception_ptr error;
    {
        std::lock_guard errorLock(errorLock_);
        std::swap(error, error_);
    }
    if (error)
        std::rethrow_exception(error);
}

TWorkPool::TTask TWorkPool::Start(std::function<void()> task)
{
    auto state = std::make_shared<TTask::TState>();
    auto run = [state, task = std::move(task)] {
        try {
            task();
        } catch (...) {
            state->error = std::current_exception();
        }
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    };
    {
        std::lock_guard lock(mutex_);
        if (Helpers() > 0 && !stop_) {
            KeepHelpersOffCallerCpu();
            tasks_.push_back(std::move(run));
            wake_.notify_one();
            return TTask(state);
        }
    }
    run();
    return TTask(state);
}

} // namespace quillon
