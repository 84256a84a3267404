// The PostgreSQL store as several instances of the service would share it: each instance
// a TPgStore of its own with its own connections.
#include "pgcluster.h"
#include "servicefixture.h"

#include "core/pgstore.h"
#include "service/messages.h"

#include <gtest/gtest.h>

#include <latch>
#include <map>
#include <set>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

using Items = httplib::MultipartFormDataItems;

// Runs body(t) for t from 0 on threads that start at one moment.
void Together(int threads, const std::function<void(int)>& body)
{
    std::latch start(threads);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([&, t] {
            start.arrive_and_wait();
            body(t);
        });
    for (auto& r : running)
        r.join();
}

TEST(PgStore, InstancesStartingTogetherOnAFreshDatabaseBothMigrateIt)
{
    for (int round = 0; round < 3; ++round) {
        TPgDatabase db;
        std::unique_ptr<TStore> stores[2];
        std::string errors[2];
        Together(2, [&](int i) {
            try {
                stores[i] = std::make_unique<TPgStore>(db.Url());
            } catch (const std::exception& e) {
                errors[i] = e.what();
            }
        });
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(stores[i]) << round << ": " << errors[i];
            EXPECT_TRUE(stores[i]->FindAccount("guest"));
        }
        EXPECT_EQ(stores[0]->FindAccount("guest")->id, stores[1]->FindAccount("guest")->id);
    }
}

TEST(PgStore, ConcurrentUploadsOfOneAccountThroughTwoInstancesKeepTheNewest)
{
    constexpr int kThreads = 4, kEach = 50, kKeep = 20;
    TPgDatabase db;
    TPgStore first(db.Url()), second(db.Url());
    const std::int64_t account = first.FindAccount("guest")->id;
    std::vector<std::string> byThread[kThreads];  // each thread's ids in upload order
    std::vector<std::string> withdrawn[kThreads];
    std::vector<std::string> errors;
    std::mutex errorsMutex;
    Together(kThreads, [&](int t) {
        TStore& store = t % 2 ? second : first;
        for (int i = 0; i < kEach; ++i) {
            try {
                TStoredPicture stored = store.StorePicture(
                    account, FakeJpeg(std::to_string(t) + "/" + std::to_string(i)), "image/jpeg", kKeep);
                byThread[t].push_back(stored.id);
                withdrawn[t].insert(withdrawn[t].end(), stored.withdrawn.begin(), stored.withdrawn.end());
                // Every upload's commit leaves keep at most, not just the last one's.
                if (int count = store.CountPictures(account); count > kKeep) {
                    std::lock_guard lock(errorsMutex);
                    errors.push_back("held " + std::to_string(count));
                }
                // Served meanwhile, so the caches hold pictures that get withdrawn.
                if (i % 5 == 0 && !store.LoadPicture(stored.id)) {
                    std::lock_guard lock(errorsMutex);
                    errors.push_back("not served at once: " + stored.id);
                }
            } catch (const std::exception& e) {
                std::lock_guard lock(errorsMutex);
                errors.push_back(e.what());
            }
        }
    });
    ASSERT_TRUE(errors.empty()) << errors.front();

    std::set<std::string> stored, gone;
    for (int t = 0; t < kThreads; ++t) {
        stored.insert(byThread[t].begin(), byThread[t].end());
        for (const std::string& id : withdrawn[t])
            EXPECT_TRUE(gone.insert(id).second) << "withdrawn twice: " << id;
    }
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(gone.size(), static_cast<std::size_t>(kThreads * kEach - kKeep));

    std::vector<TPicture> kept = second.ListPictures(account, 1000);
    ASSERT_EQ(kept.size(), static_cast<std::size_t>(kKeep));
    EXPECT_EQ(first.CountPictures(account), kKeep);
    std::map<std::string, std::size_t> position;  // in the list, newest first
    for (const TPicture& p : kept) {
        EXPECT_TRUE(stored.count(p.id));
        EXPECT_FALSE(gone.count(p.id)) << p.id;
        position[p.id] = position.size();
    }
    // Each thread's kept uploads are its last ones, in its own order.
    for (int t = 0; t < kThreads; ++t) {
        bool keptSeen = false;
        std::size_t previous = kKeep;
        for (const std::string& id : byThread[t]) {
            auto at = position.find(id);
            if (at == position.end()) {
                EXPECT_FALSE(keptSeen) << "thread " << t << ": " << id << " withdrawn after a kept one";
                continue;
            }
            keptSeen = true;
            EXPECT_LT(at->second, previous) << "thread " << t << ": listed out of upload order";
            previous = at->second;
        }
    }
    // Each instance hears the other's withdrawals: none serves a withdrawn picture from
    // memory.
    ASSERT_TRUE(first.CatchUp(std::chrono::seconds(10)));
    ASSERT_TRUE(second.CatchUp(std::chrono::seconds(10)));
    for (const std::string& id : gone)
        for (TStore* store : {static_cast<TStore*>(&first), static_cast<TStore*>(&second)}) {
            EXPECT_FALSE(store->CachedPicture(id)) << id;
            EXPECT_FALSE(store->LoadPicture(id)) << id;
            EXPECT_FALSE(store->FindPicture(id)) << id;
        }
}

TEST(PgStore, LoginFailuresAndMailCountsTakeTurnsAcrossInstances)
{
    constexpr int kThreads = 4, kEach = 25, kMailLimit = 30;
    TPgDatabase db;
    TPgStore first(db.Url()), second(db.Url());
    std::atomic<int> mailsCounted{0};
    Together(kThreads, [&](int t) {
        TStore& store = t % 2 ? second : first;
        for (int i = 0; i < kEach; ++i) {
            store.ChangeLoginFailures("source:shared", [](const TLoginFailures& f) {
                return TLoginFailures{f.count + 1, f.last + 1};
            });
            // Each thread's own address, one source for all.
            if (store.CountMail({{"to:" + std::to_string(t), kEach}, {"from:shared", kMailLimit}}, 0, 100))
                ++mailsCounted;
        }
    });
    EXPECT_EQ(first.LoginFailures("source:shared").count, kThreads * kEach);
    EXPECT_EQ(second.LoginFailures("source:shared").last, kThreads * kEach);
    EXPECT_EQ(mailsCounted, kMailLimit);
    EXPECT_FALSE(first.CountMail({{"to:new", 5}, {"from:shared", kMailLimit}}, 0, 100));
}

TEST(PgStore, DroppedConnectionsAreReplacedAndAFailingStatementLeavesTheStoreWorking)
{
    TPgDatabase db;
    TPgStore store(db.Url()), other(db.Url());
    const std::int64_t guest = store.FindAccount("guest")->id;
    // Several connections open and idle in the pool.
    Together(4, [&](int) {
        for (int i = 0; i < 20; ++i)
            store.CountPictures(guest);
    });

    // What a server restart does to every connection, the listening ones included; each
    // call finds a connection that works.
    db.Exec("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity"
            " WHERE datname = current_database() AND pid <> pg_backend_pid()");
    for (int i = 0; i < 10; ++i)
        EXPECT_NO_THROW(store.CountPictures(guest)) << i;

    // Listening again soon after, it hears the other instance's withdrawals again.
    bool listening = false;
    for (int i = 0; i < 50 && !listening; ++i)
        listening = store.CatchUp(std::chrono::milliseconds(200));
    ASSERT_TRUE(listening);
    const std::string id = store.StorePicture(guest, FakeJpeg("cached"), "image/jpeg", 5).id;
    ASSERT_TRUE(store.LoadPicture(id));
    ASSERT_TRUE(store.CachedPicture(id));
    EXPECT_EQ(other.StorePicture(guest, FakeJpeg("newer"), "image/jpeg", 1).withdrawn, std::vector<std::string>{id});
    ASSERT_TRUE(store.CatchUp(std::chrono::seconds(10)));
    EXPECT_FALSE(store.CachedPicture(id));
    EXPECT_FALSE(store.LoadPicture(id));

    // A statement that fails throws a storage error and rolls its transaction back.
    db.Exec("ALTER TABLE pictures RENAME TO pictures_away");
    EXPECT_THROW(store.StorePicture(guest, FakeJpeg("x"), "image/jpeg", 5), TStorageError);
    EXPECT_THROW(store.CountPictures(guest), TStorageError);
    db.Exec("ALTER TABLE pictures_away RENAME TO pictures");
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(store.StorePicture(guest, FakeJpeg(std::to_string(i)), "image/jpeg", 5).id.size(), 20u);
    EXPECT_EQ(store.CountPictures(guest), 5);
}

std::string UploadAnswer(const TRunningService& service, const std::string& login, const std::string& password,
                         const std::string& bytes)
{
    auto res = service.Client().Post("/upload.php", Items{{"login", login, "", ""},
                                                          {"password", password, "", ""},
                                                          {"logofile", bytes, "l.jpg", "image/unknown"}});
    return res ? res->body : "";
}

// The whole service on PostgreSQL: uploads answered with phone URLs that serve the same
// bytes, from this instance, from a second one and after a restart.
TEST(PgService, UploadsServeThroughEveryInstanceOfOneDatabase)
{
    TPgDatabase db;
    TServiceConfig config;
    config.db = db.Url();
    config.keepPerAccount = 2;
    std::string logo = FakeJpeg("pg");
    for (int i = 0; i < 256; ++i)
        logo += static_cast<char>(i);
    std::map<std::string, std::string> paths;  // phone URL path -> bytes
    {
        TRunningService service(config);
        service.AddMember("pia", "pw1234");
        std::string member;
        for (int i = 0; i < 3; ++i) {
            member = UploadAnswer(service, "pia", "pw1234", logo + std::to_string(i));
            ASSERT_EQ(member.rfind("SUCCESS\r\n", 0), 0u) << member;
        }
        // The third upload withdrew the first.
        EXPECT_EQ(std::count(member.begin(), member.end(), '\n'), 3) << member;
        const std::string guest = UploadAnswer(service, "guest", "x", logo);
        paths["/wap/?id=" + IdIn(member)] = logo + "2";
        paths["/guest/?id=" + IdIn(guest)] = logo;
        for (const auto& [path, bytes] : paths) {
            auto res = service.Client().Get(path);
            ASSERT_TRUE(res) << path;
            EXPECT_EQ(res->status, 200) << path;
            EXPECT_TRUE(res->body == bytes) << path;
        }
        auto status = service.Client().Post("/memberstatus.php", "login=pia&password=pw1234",
                                            "application/x-www-form-urlencoded");
        ASSERT_TRUE(status);
        EXPECT_EQ(status->body, "SUCCESS\r\n1\r\n2\r\n2\r\n");
        for (const char* sqliteStore : {"quillon.db", "pictures"})
            EXPECT_FALSE(std::filesystem::exists(service.DataDir() / sqliteStore)) << sqliteStore;

        // A second instance on the same database, started while the first serves.
        TRunningService other(config);
        for (const auto& [path, bytes] : paths)
            EXPECT_TRUE(other.Client().Get(path)->body == bytes) << path;
        EXPECT_EQ(UploadAnswer(other, "pia", "wrong!", logo).find("SUCCESS"), std::string::npos);
    }
    TRunningService restarted(config);
    for (const auto& [path, bytes] : paths)
        EXPECT_TRUE(restarted.Client().Get(path)->body == bytes) << path;
}

// Limits hold for the service, not for each instance: friends' mails and failed logins
// through two instances count together, and each mail goes out once.
TEST(PgService, LimitsCountOnceAcrossInstances)
{
    TPgDatabase db;
    TServiceConfig config;
    config.db = db.Url();
    TRunningService a(config), b(config);
    a.AddMember("ria", "right-pass");
    auto send = [](const TRunningService& s) {
        auto res = s.Client().Post("/sendtofriend.php", Items{{"login", "guest", "", ""},
                                                              {"password", "x", "", ""},
                                                              {"address", "friend@example.com", "", ""}});
        return res ? res->body : "";
    };
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(send(i % 2 ? a : b), "SUCCESS\r\n") << i;
    for (const TRunningService* s : {&a, &b})
        EXPECT_EQ(send(*s), std::string("MESSAGE\r\n") + quillon::kCouldNotSendMail + "\r\n");
    EXPECT_EQ(a.Outbox().size() + b.Outbox().size(), 20u);

    auto status = [](const TRunningService& s, const std::string& password) {
        auto res = s.Client().Post("/memberstatus.php", "login=ria&password=" + password,
                                   "application/x-www-form-urlencoded");
        return res ? res->body : "";
    };
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(status(i % 2 ? a : b, "wrong-pass").rfind("MESSAGE\r\n", 0), 0u) << i;
    // Six failures through two instances lock the login on both, even for the right password.
    for (const TRunningService* s : {&a, &b})
        EXPECT_EQ(status(*s, "right-pass").rfind("MESSAGE\r\n", 0), 0u);
}

} // namespace
