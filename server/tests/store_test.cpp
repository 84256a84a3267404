// The store's behaviour, the same on both engines: accounts, confirmation, pictures and
// their withdrawal, failed logins, mail counts and the schema's version.
#include "pgcluster.h"
#include "servicefixture.h"
#include "sqlitefolder.h"

#include "core/pgstore.h"
#include "core/sqlitestore.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace quillon::server;
using namespace quillon::server::test;

namespace {

enum class TEngine { Sqlite, Postgres };

const char* NameOf(TEngine engine)
{
    return engine == TEngine::Sqlite ? "SQLite" : "PostgreSQL";
}
// For the test names CTest lists.
void PrintTo(TEngine engine, std::ostream* out)
{
    *out << NameOf(engine);
}

class Store : public ::testing::TestWithParam<TEngine> {
protected:
    void SetUp() override { store_ = Open(); }

    // Another store on the same data: a restart, or a second instance.
    std::unique_ptr<TStore> Open()
    {
        if (GetParam() == TEngine::Sqlite)
            return std::make_unique<TSqliteStore>(dir_.Path() / "data");
        if (!db_)
            db_ = std::make_unique<TPgDatabase>();
        return std::make_unique<TPgStore>(db_->Url());
    }
    int SchemaVersion() const
    {
        return GetParam() == TEngine::Sqlite ? TSqliteStore::SchemaVersion() : TPgStore::SchemaVersion();
    }
    void SetSchemaVersion(int version)
    {
        if (GetParam() == TEngine::Sqlite)
            SqliteExec(dir_.Path() / "data", "PRAGMA user_version = " + std::to_string(version));
        else
            db_->Exec("UPDATE schema_version SET version = " + std::to_string(version));
    }
    std::int64_t Member(const std::string& login, bool confirmed = true)
    {
        EXPECT_TRUE(store_->AddAccount(login, "hash-of-" + login, login + "@example.org", confirmed)) << login;
        return store_->FindAccount(login)->id;
    }
    std::string Bytes(const TPictureContent& content) const { return *content.bytes; }

    quillon::test::TTempDir dir_;
    std::unique_ptr<TPgDatabase> db_;
    std::unique_ptr<TStore> store_;
};

TEST_P(Store, AccountsHaveUniqueLoginsWithoutRegardToAsciiCase)
{
    std::optional<TAccount> guest = store_->FindAccount("guest");
    ASSERT_TRUE(guest);
    EXPECT_TRUE(guest->shared);
    EXPECT_TRUE(guest->confirmed);

    ASSERT_TRUE(store_->AddAccount("Olga", "h1", "olga@example.org", true));
    struct Case {
        const char* login;
        bool added;  // a second account under it
        bool findsOlga;
    } cases[] = {
        {"olga", false, true},
        {"OLGA", false, true},
        {"Olga.", true, false},
        // Only ASCII letters fold: these are other logins.
        {"\xC3\xA4rger", true, false},
        {"\xC3\x84RGER", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.login);
        std::optional<TAccount> found = store_->FindAccount(c.login);
        EXPECT_EQ(found && found->login == "Olga", c.findsOlga);
        EXPECT_EQ(store_->AddAccount(c.login, "h2", "x@example.org", false), c.added);
    }
    std::optional<TAccount> olga = store_->FindAccount("oLgA");
    ASSERT_TRUE(olga);
    EXPECT_EQ(olga->passwordHash, "h1");
    EXPECT_FALSE(olga->shared);
    EXPECT_NE(olga->id, guest->id);

    // What a request may carry names no account, and breaks nothing.
    for (const std::string& login : {std::string("ol\0ga", 5), std::string("\xFF\xFEolga"), std::string()})
        EXPECT_FALSE(store_->FindAccount(login));
    EXPECT_TRUE(store_->FindAccount("Olga"));
}

TEST_P(Store, ConfirmationTokensConfirmOnceAndUnconfirmedAccountsExpire)
{
    const std::int64_t newbie = Member("newbie", false);
    const std::string token = store_->NewConfirmationToken(newbie);
    const std::string second = store_->NewConfirmationToken(newbie);
    EXPECT_NE(token, second);
    EXPECT_FALSE(store_->Confirm("not-a-token"));
    EXPECT_FALSE(store_->Confirm(std::string("\xFF\0", 2)));
    EXPECT_FALSE(store_->FindAccount("newbie")->confirmed);
    EXPECT_EQ(store_->Confirm(token), "newbie");
    EXPECT_TRUE(store_->FindAccount("newbie")->confirmed);
    EXPECT_FALSE(store_->Confirm(token)) << "used already";
    EXPECT_FALSE(store_->Confirm(second)) << "confirming drops the account's other links";

    Member("kept");
    const std::int64_t late = Member("late", false);
    const std::string lateToken = store_->NewConfirmationToken(late);
    const std::int64_t now = std::time(nullptr);
    store_->RemoveUnconfirmedBefore(now - 60);
    EXPECT_TRUE(store_->FindAccount("late")) << "not old enough";
    store_->RemoveUnconfirmedBefore(now + 60);
    EXPECT_FALSE(store_->FindAccount("late"));
    EXPECT_FALSE(store_->Confirm(lateToken));
    for (const char* stays : {"newbie", "kept", "guest"})
        EXPECT_TRUE(store_->FindAccount(stays)) << stays;
    EXPECT_TRUE(store_->AddAccount("LATE", "h", "l@example.org", false)) << "the login is free again";

    store_->RemoveAccount(store_->FindAccount("guest")->id);
    EXPECT_TRUE(store_->FindAccount("guest")) << "the guest account stays";
}

TEST_P(Store, PicturesAreListedNewestFirstAndTheOldestWithdrawnBeyondKeep)
{
    const std::int64_t mia = Member("mia");
    const std::int64_t guest = store_->FindAccount("guest")->id;
    // Every byte value, NUL included.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string bytes[] = {FakeJpeg("one") + all, FakeJpeg("two"), FakeJpeg("three"), FakeJpeg("four")};

    const std::int64_t before = std::time(nullptr);
    std::vector<std::string> ids;
    for (int i = 0; i < 2; ++i) {
        TStoredPicture stored = store_->StorePicture(mia, bytes[i], "image/jpeg", 10);
        EXPECT_TRUE(stored.withdrawn.empty());
        ids.push_back(stored.id);
    }
    const std::string guestPicture = store_->StorePicture(guest, FakeJpeg("guest"), "image/png", 1).id;
    std::optional<TPicture> first = store_->FindPicture(ids[0]);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->account, mia);
    EXPECT_EQ(first->contentType, "image/jpeg");
    EXPECT_GE(first->uploaded, before);
    EXPECT_LE(first->uploaded, std::time(nullptr));
    EXPECT_FALSE(store_->CachedPicture(ids[0])) << "memory holds what was served";
    std::optional<TPictureContent> loaded = store_->LoadPicture(ids[0]);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Bytes(*loaded), bytes[0]);
    EXPECT_EQ(loaded->account, mia);
    ASSERT_TRUE(store_->CachedPicture(ids[0]));
    EXPECT_EQ(Bytes(*store_->CachedPicture(ids[0])), bytes[0]);
    ASSERT_TRUE(store_->LoadPicture(ids[1]));

    auto listed = [&](int limit) {
        std::vector<std::string> list;
        for (const TPicture& p : store_->ListPictures(mia, limit))
            list.push_back(p.id);
        return list;
    };
    EXPECT_EQ(listed(10), (std::vector<std::string>{ids[1], ids[0]}));
    EXPECT_EQ(listed(1), std::vector<std::string>{ids[1]});
    EXPECT_EQ(store_->CountPictures(mia), 2);

    // Keep 2: the third withdraws the first; keep 1: the fourth withdraws both others,
    // newest first.
    TStoredPicture third = store_->StorePicture(mia, bytes[2], "image/jpeg", 2);
    EXPECT_EQ(third.withdrawn, std::vector<std::string>{ids[0]});
    TStoredPicture fourth = store_->StorePicture(mia, bytes[3], "image/gif", 1);
    EXPECT_EQ(fourth.withdrawn, (std::vector<std::string>{third.id, ids[1]}));
    for (const std::string& gone : {ids[0], ids[1], third.id}) {
        EXPECT_FALSE(store_->CachedPicture(gone)) << gone;
        EXPECT_FALSE(store_->LoadPicture(gone)) << gone;
        EXPECT_FALSE(store_->FindPicture(gone)) << gone;
    }
    EXPECT_EQ(listed(10), std::vector<std::string>{fourth.id});
    EXPECT_EQ(store_->CountPictures(mia), 1);
    EXPECT_EQ(Bytes(*store_->LoadPicture(fourth.id)), bytes[3]);
    EXPECT_EQ(store_->LoadPicture(fourth.id)->contentType, "image/gif");
    EXPECT_EQ(store_->CountPictures(guest), 1) << "another account's pictures are its own";
    EXPECT_TRUE(store_->LoadPicture(guestPicture));
    for (const std::string& unknown : {std::string("aaaaaaaaaaaaaaaaaaaa"), std::string("\xFF", 1), std::string()})
        EXPECT_FALSE(store_->LoadPicture(unknown));

    // A reopened store serves what was kept; a removed account takes its pictures along.
    store_ = Open();
    EXPECT_EQ(Bytes(*store_->LoadPicture(fourth.id)), bytes[3]);
    store_->RemoveAccount(mia);
    EXPECT_FALSE(store_->FindPicture(fourth.id));
    EXPECT_EQ(store_->CountPictures(mia), 0);
}

TEST_P(Store, LoginFailuresAndMailCountsAreKeptPerKey)
{
    const std::string odd("login:\xFF\0x", 9);  // any bytes: a key is made of what a request sent
    for (const std::string& key : {std::string("login:olga"), odd}) {
        SCOPED_TRACE(key.size());
        EXPECT_EQ(store_->LoginFailures(key).count, 0);
        auto more = [](std::int64_t at) {
            return [at](const TLoginFailures& f) { return TLoginFailures{f.count + 1, at}; };
        };
        EXPECT_EQ(store_->ChangeLoginFailures(key, more(100)).count, 1);
        TLoginFailures after = store_->ChangeLoginFailures(key, more(200));
        EXPECT_EQ(after.count, 2);
        EXPECT_EQ(store_->LoginFailures(key).count, 2);
        EXPECT_EQ(store_->LoginFailures(key).last, 200);
    }
    EXPECT_EQ(store_->LoginFailures(odd.substr(0, 7)).count, 0) << "a key is all of its bytes";
    store_->ChangeLoginFailures("source:old", [](const TLoginFailures&) { return TLoginFailures{3, 50}; });
    store_->ForgetLoginFailures(150);
    EXPECT_EQ(store_->LoginFailures("source:old").count, 0);
    EXPECT_EQ(store_->LoginFailures("login:olga").count, 2) << "its latest failure is after";
    store_->ChangeLoginFailures("login:olga", [](const TLoginFailures&) { return TLoginFailures{}; });
    EXPECT_EQ(store_->LoginFailures("login:olga").count, 0);
    EXPECT_EQ(store_->LoginFailures(odd).count, 2);

    // Two mails to an address, three from a source, counted after a time.
    const std::int64_t now = 1000000;
    auto count = [&](const std::string& address, std::int64_t at) {
        return store_->CountMail({{"to:" + address, 2}, {"from:net", 3}, {odd, 100}}, at - 100, at);
    };
    EXPECT_TRUE(count("a", now));
    EXPECT_TRUE(count("a", now));
    EXPECT_FALSE(count("a", now)) << "the address is full";
    EXPECT_TRUE(count("b", now)) << "the refused one counted nothing for the source";
    EXPECT_FALSE(count("c", now)) << "the source is full";
    EXPECT_TRUE(count("c", now + 101)) << "the earlier mails are out of the window";
    store_->ForgetMailsBefore(now + 101);
    EXPECT_TRUE(count("a", now)) << "forgotten";
}

TEST_P(Store, QueuedMailsAreTakenWhenDueAndUnclaimedAndKeepTheirBytes)
{
    const std::string body("Hi!\n\xFF\0end", 10);  // a request's bytes, NUL and all
    const std::int64_t mine = store_->QueueMail({0, "a@example.org", "first", body, 100, 0}, 400);
    EXPECT_FALSE(store_->TakeMail(200, 500)) << "claimed by the one who queued it";
    EXPECT_EQ(store_->QueueMail({0, "b@example.org", "second", "b", 150, 0}, 150), mine + 1);

    // A second instance sees what the first queued.
    std::unique_ptr<TStore> other = Open();
    std::optional<TQueuedMail> taken = other->TakeMail(200, 500);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->subject, "second");
    EXPECT_FALSE(store_->TakeMail(200, 500)) << "both are claimed now";
    other->PostponeMail(taken->id, 1000);

    // The first one's claim runs out (its instance died while sending): anyone takes it.
    taken = store_->TakeMail(450, 800);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->id, mine);
    EXPECT_EQ(taken->to, "a@example.org");
    EXPECT_EQ(taken->body, body);
    EXPECT_EQ(taken->queued, 100);
    EXPECT_EQ(taken->attempts, 0);
    store_->RemoveMail(mine);
    EXPECT_FALSE(store_->TakeMail(999, 2000)) << "the postponed one is not due";

    taken = other->TakeMail(1000, 2000);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->subject, "second");
    EXPECT_EQ(taken->attempts, 1);
    store_->RemoveMail(taken->id);
    EXPECT_FALSE(other->TakeMail(5000, 6000));
}

TEST_P(Store, SchemaNewerThanTheProgramsIsRefused)
{
    EXPECT_GE(SchemaVersion(), 1);
    const std::string kept = store_->StorePicture(store_->FindAccount("guest")->id, FakeJpeg("k"), "image/jpeg", 5).id;
    store_.reset();
    const int newer = SchemaVersion() + 2;
    SetSchemaVersion(newer);
    try {
        Open();
        ADD_FAILURE() << "opened";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "The database has schema version " + std::to_string(newer) +
                                             ", newer than this quillon-service knows (" +
                                             std::to_string(SchemaVersion()) + "); use a newer quillon-service.");
    }
    // Left as it was: the newer program finds its data.
    SetSchemaVersion(SchemaVersion());
    store_ = Open();
    EXPECT_TRUE(store_->LoadPicture(kept));
}

INSTANTIATE_TEST_SUITE_P(Engines, Store, ::testing::Values(TEngine::Sqlite, TEngine::Postgres),
                         [](const ::testing::TestParamInfo<TEngine>& info) { return NameOf(info.param); });

// Data folders from before the schema had a version: the one of today, and the one with
// numeric picture ids. Both open as before and are at the current version after.
TEST(SqliteSchema, UnversionedDataFoldersOpenWithTheirPictures)
{
    for (const char* idType : {"TEXT", "INTEGER"}) {
        SCOPED_TRACE(idType);
        quillon::test::TTempDir dir;
        const std::string id = std::string(idType) == "TEXT" ? "abcdefghijklmnopqrst" : "123456789012";
        const std::string logo = FakeJpeg(idType);
        WriteUnversionedFolder(dir.Path(), idType, id, logo,
                               "CREATE TABLE login_failures(key TEXT PRIMARY KEY, count INTEGER NOT NULL,"
                               " last INTEGER NOT NULL);"
                               "INSERT INTO login_failures VALUES('login:olga', 4, 77);");
        ASSERT_EQ(SqliteExec(dir.Path(), "PRAGMA user_version"), 0);
        {
            TSqliteStore store(dir.Path());
            std::optional<TPictureContent> picture = store.LoadPicture(id);
            ASSERT_TRUE(picture);
            EXPECT_EQ(*picture->bytes, logo);
            EXPECT_EQ(store.FindAccount("guest")->id, 1);
            EXPECT_EQ(store.LoginFailures("login:olga").count, 4);
            EXPECT_EQ(store.ListPictures(1, 10).size(), 1u);
            EXPECT_EQ(store.StorePicture(1, FakeJpeg("new"), "image/jpeg", 1).withdrawn, std::vector<std::string>{id});
        }
        EXPECT_EQ(SqliteExec(dir.Path(), "PRAGMA user_version"), TSqliteStore::SchemaVersion());
        EXPECT_EQ(SqliteExec(dir.Path(), "SELECT count(*) FROM pictures WHERE typeof(id) = 'text'"), 1);
    }
}

} // namespace
