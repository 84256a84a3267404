#pragma once

#include "service/worker.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace quillon {

// Runs one worker body of a kind at a time on a thread of its own and hands its
// completion to the main thread. The worker's "run this on the main thread and wait"
// goes through MainThreadCall. Shutting down cancels a running worker and waits for it
// for a bounded time, running its main-thread calls meanwhile, so it can neither hang
// on an event loop that has stopped nor leave a thread behind in the normal case.
class TWorkerRunner : public QObject {
    Q_OBJECT
public:
    explicit TWorkerRunner(QObject* parent = nullptr);
    ~TWorkerRunner() override;

    // The call to give the next worker before it is started.
    TRunOnMainThread MainThreadCall();

    // Starts body; completion runs on the main thread after body has returned. Refused
    // (false) while the previous worker has not completed. cancel, when given, is what
    // Shutdown uses to stop the body.
    bool Start(std::function<void()> body, std::function<void()> completion,
               std::function<void()> cancel = {});
    bool Busy() const { return thread_.joinable(); }

    // Cancels a running worker and waits for it at most timeout; its completion is dropped.
    void Shutdown(std::chrono::milliseconds timeout = std::chrono::seconds(2));

private:
    struct TState;
    static void RunPendingCalls(TState& state);
    void Finish(const std::shared_ptr<TState>& state);

    std::shared_ptr<TState> state_;
    std::thread thread_;
    std::function<void()> completion_;
    std::function<void()> cancel_;
};

} // namespace quillon
