// The mail queue: what a delivery's outcome does to a mail, and several instances on one
// database sending each mail once.
#include "pgcluster.h"

#include "core/mailqueue.h"
#include "core/pgstore.h"
#include "core/sqlitestore.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

// A relay that answers from a script, one outcome per delivery, then Sent.
struct TScriptedRelay {
    std::deque<TDelivery> script;
    std::vector<std::string> tried;  // subjects, in order
    TDelivery operator()(const TMail& mail)
    {
        tried.push_back(mail.subject);
        if (script.empty())
            return TDelivery::Sent;
        TDelivery next = script.front();
        script.pop_front();
        return next;
    }
};

TEST(MailQueue, FailuresAreTriedAgainLaterUntilSentRefusedOrGivenUp)
{
    quillon::test::TTempDir dir;
    TSqliteStore store(dir.Path() / "data");
    TScriptedRelay relay;
    std::int64_t now = 1000;
    std::vector<std::string> log;
    TMailQueueTimes times;
    times.firstRetry = 60;
    times.longestRetry = 200;
    times.giveUp = 1000;
    TMailQueue queue(
        store, [&](const TMail& m) { return relay(m); }, [&] { return now; },
        [&](const std::string& line) { log.push_back(line); }, times);

    relay.script = {TDelivery::Sent, TDelivery::Refused};
    EXPECT_EQ(queue.Send({"a@example.org", "sent", "x"}), TDelivery::Sent);
    EXPECT_EQ(queue.Send({"b@example.org", "refused", "x"}), TDelivery::Refused);
    EXPECT_EQ(queue.DeliverDue(), 0) << "neither stays queued";

    // Waits double from the first retry up to the longest: 60, 120, 200, 200...
    relay.script = {TDelivery::Failed, TDelivery::Failed, TDelivery::Failed, TDelivery::Failed};
    EXPECT_EQ(queue.Send({"c@example.org", "later", "x"}), TDelivery::Failed);
    for (std::int64_t wait : {60, 120, 200}) {
        now += wait - 1;
        EXPECT_EQ(queue.DeliverDue(), 0);
        const std::size_t before = relay.tried.size();
        now += 1;
        EXPECT_EQ(queue.DeliverDue(), 0) << "tried and failed again";
        EXPECT_EQ(relay.tried.size(), before + 1) << "after " << wait << " s";
    }
    now += 200;
    EXPECT_EQ(queue.DeliverDue(), 1);
    EXPECT_EQ(relay.tried.back(), "later");
    now += 10000;
    EXPECT_EQ(queue.DeliverDue(), 0) << "sent once";

    // A mail that fails until the queue gives up on it is dropped.
    relay.script.assign(100, TDelivery::Failed);
    EXPECT_EQ(queue.Send({"d@example.org", "never", "x"}), TDelivery::Failed);
    for (int i = 0; i < 20; ++i) {
        now += 200;
        queue.DeliverDue();
    }
    const std::size_t tries = relay.tried.size();
    now += 10000;
    queue.DeliverDue();
    EXPECT_EQ(relay.tried.size(), tries) << "given up";
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& l) { return l.find("given up") != std::string::npos; }),
              log.end());
}

TEST(MailQueue, AMailThatCannotBeQueuedIsStillSentOnce)
{
    quillon::test::TTempDir dir;
    auto store = std::make_unique<TSqliteStore>(dir.Path() / "data");
    // The queue's table gone: every queueing fails as a broken database would.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dir.Path() / "data" / "quillon.db").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "DROP TABLE outbox", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    TScriptedRelay relay;
    relay.script = {TDelivery::Sent, TDelivery::Failed};
    TMailQueue queue(*store, [&](const TMail& m) { return relay(m); }, [] { return 5; }, [](const std::string&) {});
    EXPECT_EQ(queue.Send({"a@example.org", "direct", "x"}), TDelivery::Sent);
    EXPECT_EQ(queue.Send({"b@example.org", "lost", "x"}), TDelivery::Refused) << "cannot be tried again";
    EXPECT_EQ(relay.tried.size(), 2u);
}

TEST(MailQueue, InstancesOnOneDatabaseSendEachMailOnce)
{
    constexpr int kMails = 200, kTakersPerInstance = 3;
    TPgDatabase db;
    TPgStore first(db.Url()), second(db.Url());
    // Queued while the relay was down: due now and claimed by nobody.
    for (int i = 0; i < kMails; ++i)
        first.QueueMail({0, "friend@example.org", "mail " + std::to_string(i), "x", 0, 0}, 0);

    std::mutex mutex;
    std::map<std::string, int> delivered;
    auto relay = [&](const TMail& mail) {
        std::this_thread::yield();
        std::lock_guard lock(mutex);
        ++delivered[mail.subject];
        return TDelivery::Sent;
    };
    auto clock = [] { return std::int64_t{10}; };
    auto quiet = [](const std::string&) {};
    TMailQueue a(first, relay, clock, quiet), b(second, relay, clock, quiet);
    std::atomic<int> sent{0};
    std::vector<std::thread> takers;
    for (int t = 0; t < 2 * kTakersPerInstance; ++t)
        takers.emplace_back([&, t] { sent += (t % 2 ? a : b).DeliverDue(); });
    for (auto& t : takers)
        t.join();

    EXPECT_EQ(sent, kMails);
    ASSERT_EQ(delivered.size(), static_cast<std::size_t>(kMails));
    for (const auto& [subject, times] : delivered)
        EXPECT_EQ(times, 1) << subject;
    EXPECT_FALSE(first.TakeMail(1000, 2000)) << "every mail left the queue";
}

} // namespace
