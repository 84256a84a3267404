#include "service/ui/workerrunner.h"

#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace quillon {

// Shared by the runner and its worker thread; outlives the runner if a worker had to be
// left behind at shutdown.
struct TWorkerRunner::TState {
    struct TCall {
        std::function<void()> fn;
        bool done = false;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<TCall>> pending;
    bool finished = false;
    // Set once the runner no longer waits for this worker: nothing may be posted to the
    // runner any more, and a waiting main-thread call returns without running.
    bool abandoned = false;
};

TWorkerRunner::TWorkerRunner(QObject* parent) : QObject(parent), state_(std::make_shared<TState>()) {}

TWorkerRunner::~TWorkerRunner()
{
    Shutdown();
}

TRunOnMainThread TWorkerRunner::MainThreadCall()
{
    std::shared_ptr<TState> state = state_;
    return [this, state](const std::function<void()>& fn) {
        if (QThread::currentThread() == thread()) {
            fn();
            return;
        }
        auto call = std::make_shared<TState::TCall>();
        call->fn = fn;
        std::unique_lock lock(state->mutex);
        if (state->abandoned)
            return;
        state->pending.push_back(call);
        // Posted under the lock: the runner cannot be abandoned and destroyed meanwhile.
        QMetaObject::invokeMethod(this, [state] { RunPendingCalls(*state); }, Qt::QueuedConnection);
        state->changed.notify_all();
        state->changed.wait(lock, [&] { return call->done || state->abandoned; });
    };
}

void TWorkerRunner::RunPendingCalls(TState& state)
{
    for (;;) {
        std::shared_ptr<TState::TCall> call;
        {
            std::lock_guard lock(state.mutex);
            if (state.pending.empty())
                return;
            call = state.pending.front();
            state.pending.pop_front();
        }
        try {
            call->fn();
        } catch (...) {
            // The worker must be released whatever the call did.
        }
        std::lock_guard lock(state.mutex);
        call->done = true;
        state.changed.notify_all();
    }
}

bool TWorkerRunner::Start(std::function<void()> body, std::function<void()> completion,
                          std::function<void()> cancel)
{
    if (Busy())
        return false;
    completion_ = std::move(completion);
    cancel_ = std::move(cancel);
    std::shared_ptr<TState> state = state_;
    thread_ = std::thread([this, state, body = std::move(body)] {
        try {
            body();
        } catch (...) {
            // A worker body reports through its own fields; nothing may escape the thread.
        }
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->changed.notify_all();
        if (!state->abandoned)
            QMetaObject::invokeMethod(this, [this, state] { Finish(state); }, Qt::QueuedConnection);
    });
    return true;
}

void TWorkerRunner::Finish(const std::shared_ptr<TState>& state)
{
    if (state != state_ || !thread_.joinable())
        return;  // dropped by Shutdown
    thread_.join();
    state_ = std::make_shared<TState>();
    std::function<void()> completion = std::move(completion_);
    completion_ = {};
    cancel_ = {};
    if (completion)
        completion();
}

void TWorkerRunner::Shutdown(std::chrono::milliseconds timeout)
{
    if (!Busy())
        return;
    if (cancel_)
        cancel_();
    std::shared_ptr<TState> state = state_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(state->mutex);
    while (!state->finished && std::chrono::steady_clock::now() < deadline) {
        if (!state->pending.empty()) {
            // The event loop may be gone: run the worker's main-thread calls here.
            lock.unlock();
            RunPendingCalls(*state);
            lock.lock();
            continue;
        }
        state->changed.wait_until(lock, deadline);
    }
    const bool finished = state->finished;
    state->abandoned = true;
    state->changed.notify_all();
    lock.unlock();
    if (finished)
        thread_.join();
    else
        thread_.detach();  // a body that ignores its cancel; its state stays alive with it
    state_ = std::make_shared<TState>();
    completion_ = {};
    cancel_ = {};
}

} // namespace quillon
