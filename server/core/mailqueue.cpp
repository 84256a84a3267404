#include "mailqueue.h"

#include <algorithm>
#include <exception>

namespace quillon::server {

namespace {

std::string Describe(const TQueuedMail& mail)
{
    return "mail " + std::to_string(mail.id);
}

} // namespace

TMailQueue::TMailQueue(TStore& store, TDeliver deliver, TClock clock, TLog log, TMailQueueTimes times)
    : store_(store), deliver_(std::move(deliver)), clock_(std::move(clock)), log_(std::move(log)), times_(times)
{
}

TMailQueue::~TMailQueue()
{
    Stop();
}

TDelivery TMailQueue::Send(const TMail& mail)
{
    TQueuedMail queued{0, mail.to, mail.subject, mail.body, clock_(), 0};
    try {
        queued.id = store_.QueueMail(queued, queued.queued + times_.claim);
    } catch (const std::exception& e) {
        // Without the queue the mail can still go once, only not again later.
        log_(std::string("cannot queue a mail: ") + e.what());
        const TDelivery outcome = deliver_(mail);
        return outcome == TDelivery::Sent ? TDelivery::Sent : TDelivery::Refused;
    }
    return Settle(queued, deliver_(mail));
}

TDelivery TMailQueue::Settle(const TQueuedMail& mail, TDelivery outcome)
{
    const std::int64_t now = clock_();
    try {
        if (outcome == TDelivery::Failed && now - mail.queued >= times_.giveUp) {
            log_(Describe(mail) + " given up after " + std::to_string(mail.attempts + 1) + " tries");
            outcome = TDelivery::Refused;
        }
        if (outcome != TDelivery::Failed) {
            if (outcome == TDelivery::Refused && mail.attempts > 0)
                log_(Describe(mail) + " dropped");
            store_.RemoveMail(mail.id);
            return outcome;
        }
        std::int64_t wait = times_.firstRetry;
        for (int i = 0; i < mail.attempts && wait < times_.longestRetry; ++i)
            wait *= 2;
        wait = std::min(wait, times_.longestRetry);
        store_.PostponeMail(mail.id, now + wait);
        log_(Describe(mail) + " to be tried again in " + std::to_string(wait) + " s");
    } catch (const std::exception& e) {
        // The claim runs out by itself; the mail is tried again then (a sent one too:
        // twice is better than never).
        log_(Describe(mail) + ": " + e.what());
    }
    return outcome;
}

int TMailQueue::DeliverDue()
{
    int sent = 0;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
        }
        const std::int64_t now = clock_();
        std::optional<TQueuedMail> mail;
        try {
            mail = store_.TakeMail(now, now + times_.claim);
        } catch (const std::exception& e) {
            log_(std::string("cannot read the mail queue: ") + e.what());
            break;
        }
        if (!mail)
            break;
        if (Settle(*mail, deliver_(TMail{mail->to, mail->subject, mail->body})) == TDelivery::Sent)
            ++sent;
    }
    return sent;
}

void TMailQueue::Start()
{
    std::lock_guard lock(mutex_);
    if (thread_.joinable())
        return;
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
}

void TMailQueue::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id())
        thread_.join();
}

void TMailQueue::Run()
{
    for (;;) {
        DeliverDue();
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, times_.poll, [this] { return stopping_; }))
            return;
    }
}

} // namespace quillon::server
