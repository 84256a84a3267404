#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

// Threads kept for the life of the program, so splitting a few milliseconds of work over
// the cores costs a wake-up rather than a thread start. One job runs at a time; a caller
// that finds the pool busy (another thread's job) does its work alone.
class TWorkPool {
public:
    // The program's pool: one thread per core beside the caller's.
    static TWorkPool& Shared();

    explicit TWorkPool(int helpers);
    ~TWorkPool();
    TWorkPool(const TWorkPool&) = delete;
    TWorkPool& operator=(const TWorkPool&) = delete;

    int Helpers() const { return static_cast<int>(threads_.size()); }

    // Calls body(begin, end) over [0, count) in batches of `batch`, on the calling thread and
    // at most threads - 1 helpers; returns when every batch is done, rethrowing the first
    // exception a batch threw. Done alone, it is one call over the whole range. Batches are taken from
    // a shared counter, so a helper the system starts late simply takes fewer of them.
    void For(int32_t count, int threads, int32_t batch, const std::function<void(int32_t, int32_t)>& body);

    // Runs `task` on a helper while the caller goes on; Wait() (or the destructor of the
    // returned handle) waits for it. Without a free helper the task runs at once, inline.
    class TTask {
    public:
        TTask() = default;
        TTask(TTask&& other) noexcept;
        TTask& operator=(TTask&& other) noexcept;
        ~TTask();
        // Waits for the task and rethrows what it threw.
        void Wait();

    private:
        friend class TWorkPool;
        struct TState;
        explicit TTask(std::shared_ptr<TState> state) : state_(std::move(state)) {}
        std::shared_ptr<TState> state_;
    };
    TTask Start(std::function<void()> task);

private:
    void HelperLoop(int index);
    void RunBatches();
    void KeepHelpersOffCallerCpu();

    std::mutex jobLock_; // held by the caller for the whole of a For
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<std::thread> threads_;
    bool stop_ = false;
    uint64_t generation_ = 0;
    std::atomic<uint64_t> posted_{0}; // generation_, for helpers looking without the lock
    bool open_ = false;    // helpers may still join the current job
    int wanted_ = 0;       // helpers the current job may use
    int joined_ = 0;       // helpers that joined it
    int running_ = 0;      // helpers still working on it
    const std::function<void(int32_t, int32_t)>* body_ = nullptr;
    std::atomic<int32_t> next_{0};
    int32_t count_ = 0;
    int32_t batch_ = 1;
    std::vector<std::function<void()>> tasks_;
    struct THelperCpus; // where each helper may run, kept apart from the caller's processor
    std::unique_ptr<THelperCpus> cpus_;
    std::mutex errorLock_;
    std::exception_ptr error_;
};

} // namespace quillon
