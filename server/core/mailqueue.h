#pragma once

#include "mailer.h"
#include "mailqueuetimes.h"
#include "store.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace quillon::server {

// Mail goes through the store's outbox, so a relay that is down for a while loses
// nothing and several instances sharing a database send each mail once. The request that
// queues a mail tries it at once and learns the outcome; a failure that may pass is
// tried again later by whichever instance takes the mail first.
class TMailQueue {
public:
    using TDeliver = std::function<TDelivery(const TMail&)>;
    using TClock = std::function<std::int64_t()>;
    using TLog = std::function<void(const std::string&)>;

    TMailQueue(TStore& store, TDeliver deliver, TClock clock, TLog log, TMailQueueTimes times = {});
    ~TMailQueue();
    TMailQueue(const TMailQueue&) = delete;
    TMailQueue& operator=(const TMailQueue&) = delete;

    // Sent, Refused (dropped), or Failed: queued and to be tried again.
    TDelivery Send(const TMail& mail);

    // The thread that delivers what is due; Stop lets a delivery under way finish.
    void Start();
    void Stop();

    // Tries every mail that is due now once; returns how many were sent.
    int DeliverDue();

private:
    // What is left to do with a mail after a delivery; the outcome is returned.
    TDelivery Settle(const TQueuedMail& mail, TDelivery outcome);
    void Run();

    TStore& store_;
    TDeliver deliver_;
    TClock clock_;
    TLog log_;
    TMailQueueTimes times_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace quillon::server
