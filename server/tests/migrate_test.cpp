// Moving a data folder into PostgreSQL: what the service serves afterwards, what a move
// refuses, and a move that fails part way.
#include "pgcluster.h"
#include "servicefixture.h"
#include "sqlitefolder.h"

#include "core/migrate.h"
#include "core/pgstore.h"
#include "core/sqlitestore.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <regex>

using namespace quillon::server;
using namespace quillon::server::test;

namespace fs = std::filesystem;

namespace {

constexpr int kKeepGuest = 3, kKeepMember = 2;
const std::string kOddKey = std::string("login:\xC3\x28\0x", 9);  // not UTF-8, a NUL inside

struct TKeptPicture {
    std::string path;  // of its phone URL
    std::string bytes, type;
    std::int64_t uploaded = 0;
};

// A data folder as a service leaves it: the guest, a member with pictures and one still
// unconfirmed with a token and a picture, more uploads than each keeps, failed logins
// and mails counted. One kept picture has lost its file.
struct TFolderFixture {
    std::map<std::string, TKeptPicture> kept;  // by id, the lost one left out
    std::vector<std::string> guestGallery;     // newest first, the lost one left out
    std::vector<std::string> piaOldestFirst;
    std::string lost;
    std::string olafToken;
    std::int64_t mailsAt = 0;
};

TFolderFixture BuildFolder(const fs::path& dir)
{
    TFolderFixture f;
    {
        TSqliteStore store(dir);
        store.AddAccount("pia", HashPassword("pw1234"), "pia@example.org", true);
        store.AddAccount("olaf", HashPassword("olaf5678"), "olaf@example.org", false);
        const std::int64_t guest = store.FindAccount("guest")->id, pia = store.FindAccount("pia")->id,
                           olaf = store.FindAccount("olaf")->id;
        f.olafToken = store.NewConfirmationToken(olaf);
        struct Upload {
            std::int64_t account;
            const char* type;
            int keep;
        } uploads[] = {
            {guest, "image/jpeg", kKeepGuest}, {pia, "image/png", kKeepMember},  {guest, "image/png", kKeepGuest},
            {pia, "image/jpeg", kKeepMember},  {guest, "image/jpeg", kKeepGuest}, {olaf, "image/jpeg", kKeepMember},
            {guest, "image/jpeg", kKeepGuest}, {pia, "image/jpeg", kKeepMember},
        };
        std::string everyByte;
        for (int i = 0; i < 256; ++i)
            everyByte += static_cast<char>(i);
        int n = 0;
        for (const Upload& u : uploads) {
            const std::string bytes = FakeJpeg(std::to_string(n++)) + everyByte;
            TStoredPicture stored = store.StorePicture(u.account, bytes, u.type, u.keep);
            const std::string path = std::string(u.account == guest ? "/guest/" : "/wap/") + "?id=" + stored.id;
            f.kept[stored.id] = {path, bytes, u.type, 0};
            for (const std::string& id : stored.withdrawn)
                f.kept.erase(id);
        }
        for (const TPicture& p : store.ListPictures(guest, 100))
            f.guestGallery.push_back(p.id);
        for (const TPicture& p : store.ListPictures(pia, 100))
            f.piaOldestFirst.insert(f.piaOldestFirst.begin(), p.id);

        // Recent, or the service would forget them at start.
        f.mailsAt = std::time(nullptr);
        store.ChangeLoginFailures("source:203.0.113.7", [&](const TLoginFailures&) { return TLoginFailures{2, f.mailsAt}; });
        store.ChangeLoginFailures(kOddKey, [&](const TLoginFailures&) { return TLoginFailures{1, f.mailsAt - 1}; });
        for (int i = 0; i < 2; ++i)
            EXPECT_TRUE(store.CountMail({{"to:pia@example.org", 2}}, f.mailsAt - 86400, f.mailsAt));
        // A mail the relay has not taken yet, already tried twice.
        store.QueueMail({0, "friend@example.org", "Waiting for the relay", "odd bytes: " + kOddKey, f.mailsAt, 2},
                        f.mailsAt + 300);
    }
    // Upload times of their own, all in one second otherwise.
    SqliteExec(dir, "UPDATE pictures SET uploaded = 1700000000 + seq * 7");
    for (auto& [id, picture] : f.kept)
        picture.uploaded = SqliteExec(dir, "SELECT uploaded FROM pictures WHERE id = '" + id + "'");
    f.lost = f.guestGallery[1];
    fs::remove(dir / "pictures" / f.lost);
    f.kept.erase(f.lost);
    f.guestGallery.erase(f.guestGallery.begin() + 1);
    return f;
}

// Every file under the folder with its bytes (its folders by their files).
std::map<std::string, std::string> FolderContents(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.is_directory())
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        files[fs::relative(e.path(), dir).string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

// Every row of every table the service keeps, or that there is no schema: what "nothing
// written" compares.
std::string DatabaseContents(const TPgDatabase& db)
{
    std::unique_ptr<PGconn, decltype(&PQfinish)> c(PQconnectdb(db.Url().c_str()), &PQfinish);
    std::string all;
    for (const char* table : {"accounts", "tokens", "pictures", "login_failures", "mails_sent", "outbox", "schema_version"}) {
        const std::string sql = std::string("SELECT CASE WHEN to_regclass('") + table +
                                "') IS NULL THEN 'none' ELSE query_to_xml('SELECT * FROM " + table +
                                " ORDER BY 1', false, false, '')::text END";
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(c.get(), sql.c_str()), &PQclear);
        EXPECT_EQ(PQresultStatus(r.get()), PGRES_TUPLES_OK) << PQresultErrorMessage(r.get());
        all += std::string(table) + ": " + (PQntuples(r.get()) ? PQgetvalue(r.get(), 0, 0) : "") + "\n";
    }
    return all;
}

std::string Move(const fs::path& dir, const TPgDatabase& db, std::vector<std::string>* skipped = nullptr)
{
    try {
        TMoveSummary s = MoveToPostgres(dir, db.Url(), [&](const std::string& line) {
            if (skipped)
                skipped->push_back(line);
        });
        return "moved " + std::to_string(s.accounts) + " " + std::to_string(s.pictures);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

std::string Post(const TRunningService& service, const std::string& path, const std::string& form)
{
    auto res = service.Client().Post(path, form, "application/x-www-form-urlencoded");
    return res ? res->body : "no answer";
}

TEST(Migrate, TheServiceOnTheDatabaseServesWhatTheFolderDid)
{
    quillon::test::TTempDir dir;
    const fs::path data = dir.Path() / "data";
    const TFolderFixture folder = BuildFolder(data);
    const auto before = FolderContents(data);
    TPgDatabase db;
    std::vector<std::string> skipped;
    EXPECT_EQ(Move(data, db, &skipped), "moved 3 " + std::to_string(folder.kept.size()));
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_NE(skipped[0].find(folder.lost), std::string::npos) << skipped[0];
    const auto after = FolderContents(data);
    for (const auto& [name, bytes] : after)
        EXPECT_TRUE(before.count(name) && before.at(name) == bytes) << name << " is new or changed";
    EXPECT_EQ(after.size(), before.size()) << "files went";

    TServiceConfig config;
    config.db = db.Url();
    config.keepPerAccount = kKeepMember;
    config.keepGuest = kKeepGuest;
    config.mailQueue.poll = std::chrono::milliseconds(20);
    TRunningService service(config);
    for (const auto& [id, picture] : folder.kept) {
        auto res = service.Client().Get(picture.path);
        ASSERT_TRUE(res) << picture.path;
        EXPECT_EQ(res->status, 200) << picture.path;
        EXPECT_TRUE(res->body == picture.bytes) << picture.path;
        EXPECT_EQ(res->get_header_value("Content-Type"), picture.type) << picture.path;
        EXPECT_EQ(service.Store().FindPicture(id)->uploaded, picture.uploaded) << id;
    }
    EXPECT_EQ(service.Client().Get("/guest/?id=" + folder.lost)->status, 404);

    // Passwords check against the hashes as they were; the token still confirms.
    EXPECT_EQ(Post(service, "/memberstatus.php", "login=pia&password=pw1234"), "SUCCESS\r\n1\r\n2\r\n2\r\n");
    EXPECT_EQ(Post(service, "/memberstatus.php", "login=pia&password=pw12345").find("SUCCESS"), std::string::npos);
    EXPECT_EQ(service.Client().Get("/confirm.php?token=" + folder.olafToken)->status, 200);
    EXPECT_EQ(Post(service, "/memberstatus.php", "login=olaf&password=olaf5678"), "SUCCESS\r\n1\r\n1\r\n2\r\n");

    auto gallery = service.Client().Get("/guest/");
    ASSERT_TRUE(gallery);
    std::vector<std::string> listed;
    const std::regex alt("alt=\"Picture ([^\"]+)\"");
    for (auto m = std::sregex_iterator(gallery->body.begin(), gallery->body.end(), alt); m != std::sregex_iterator();
         ++m)
        listed.push_back((*m)[1]);
    EXPECT_EQ(listed, folder.guestGallery);

    // The next upload withdraws the member's oldest, as it would have in the folder.
    TStore& store = service.Store();
    EXPECT_EQ(store.StorePicture(store.FindAccount("pia")->id, FakeJpeg("after"), "image/jpeg", kKeepMember).withdrawn,
              std::vector<std::string>{folder.piaOldestFirst.front()});

    // Throttles and limits carry on where they were.
    EXPECT_EQ(store.LoginFailures("source:203.0.113.7").count, 2);
    EXPECT_EQ(store.LoginFailures(kOddKey).last, folder.mailsAt - 1);
    EXPECT_FALSE(store.CountMail({{"to:pia@example.org", 2}}, folder.mailsAt - 86400, folder.mailsAt));
    EXPECT_TRUE(store.CountMail({{"to:pia@example.org", 3}}, folder.mailsAt - 86400, folder.mailsAt));

    // The waiting mail goes out from the database's queue, claimed by no one now.
    std::vector<std::string> outbox;
    for (int i = 0; i < 500 && outbox.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        outbox = service.Outbox();
    }
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_NE(outbox[0].find("Subject: Waiting for the relay"), std::string::npos) << outbox[0];
    EXPECT_NE(outbox[0].find("odd bytes: " + kOddKey), std::string::npos);
}

TEST(Migrate, RefusesAndWritesNothing)
{
    quillon::test::TTempDir dir;
    const fs::path data = dir.Path() / "data";
    BuildFolder(data);
    fs::create_directories(dir.Path() / "empty");
    struct Case {
        const char* name;
        fs::path folder;
        std::function<void(const TPgDatabase&)> prepare;
        std::string says;
        bool serviceOpen = false;
    } cases[] = {
        {"a database holding an account", data,
         [](const TPgDatabase& db) { TPgStore(db.Url()).AddAccount("zoe", "hash", "", true); },
         "already holds 1 account(s) besides the guest and 0 picture(s)"},
        {"a database holding a guest picture", data,
         [](const TPgDatabase& db) {
             TPgStore store(db.Url());
             store.StorePicture(store.FindAccount("guest")->id, FakeJpeg("x"), "image/jpeg", 5);
         },
         "already holds 0 account(s) besides the guest and 1 picture(s)"},
        {"a folder a service has open", data, {}, "A service has " + data.string() + " open", true},
        {"no folder", dir.Path() / "missing", {}, "There is no data folder"},
        {"a folder without a database", dir.Path() / "empty", {}, "holds no quillon.db"},
    };
    for (const Case& c : cases) {
        TPgDatabase db;
        if (c.prepare)
            c.prepare(db);
        std::optional<TSqliteStore> serving;
        if (c.serviceOpen)
            serving.emplace(c.folder);
        const std::string before = DatabaseContents(db);
        EXPECT_NE(Move(c.folder, db).find(c.says), std::string::npos) << c.name << ": " << Move(c.folder, db);
        EXPECT_EQ(DatabaseContents(db), before) << c.name;
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "missing"));
    EXPECT_TRUE(fs::is_empty(dir.Path() / "empty"));
}

// The database fails a picture part way, or stores it otherwise than sent: the database
// is left as it was, and once the fault is gone the move simply runs again.
TEST(Migrate, AMoveThatFailsPartWayLeavesTheDatabaseAsItWas)
{
    quillon::test::TTempDir dir;
    const fs::path data = dir.Path() / "data";
    const TFolderFixture folder = BuildFolder(data);
    const std::string last = folder.piaOldestFirst.back();
    struct Case {
        const char* name;
        std::string trigger;  // the body of a trigger run before each picture's insert
        std::string says;
    } cases[] = {
        {"refused", "IF NEW.id = '" + last + "' THEN RAISE EXCEPTION 'disk full'; END IF;",
         "Cannot copy picture " + last + ": disk full"},
        {"altered", "IF NEW.id = '" + last + "' THEN NEW.bytes := NEW.bytes || '\\x00'::bytea; END IF;",
         "The copy differs from the folder (picture " + last + "'s bytes); nothing was moved."},
    };
    for (const Case& c : cases) {
        TPgDatabase db;
        TPgStore(db.Url()).FindAccount("guest");
        db.Exec("CREATE FUNCTION fault() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN " + c.trigger +
                " RETURN NEW; END $$;"
                "CREATE TRIGGER fault BEFORE INSERT ON pictures FOR EACH ROW EXECUTE FUNCTION fault()");
        const std::string before = DatabaseContents(db);
        EXPECT_EQ(Move(data, db), c.says) << c.name;
        EXPECT_EQ(DatabaseContents(db), before) << c.name;

        db.Exec("DROP TRIGGER fault ON pictures");
        EXPECT_EQ(Move(data, db), "moved 3 " + std::to_string(folder.kept.size())) << c.name;
        TPgStore moved(db.Url());
        for (const auto& [id, picture] : folder.kept)
            EXPECT_TRUE(*moved.LoadPicture(id)->bytes == picture.bytes) << c.name << ": " << id;
    }
}

struct TExit {
    int code = -1;  // -1: killed after the time was up
    std::string output;
};

// The built executable, its standard output and error together.
TExit RunService(std::vector<std::string> args, int seconds = 60)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        std::vector<char*> argv{const_cast<char*>(QUILLON_SERVICE_EXE)};
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    TExit result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        char buf[4096];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        result.output.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.code = WEXITSTATUS(status);
    return result;
}

TEST(MigrateProcess, TheExecutableMovesAFolderOnceAndSaysSo)
{
    const TExit help = RunService({"--help"});
    EXPECT_NE(help.output.find("--migrate-to URL"), std::string::npos) << help.output;

    quillon::test::TTempDir dir;
    const fs::path data = dir.Path() / "data";
    {
        TSqliteStore store(data);
        store.AddAccount("pia", HashPassword("pw1234"), "", true);
        store.StorePicture(store.FindAccount("pia")->id, FakeJpeg("1"), "image/jpeg", 5);
    }
    TPgDatabase db;
    // The server trusts every local connection: the password is there to be kept out of
    // what the service prints.
    const std::string url = db.Url() + "&password=secret";
    const TExit moved = RunService({"--data", data.string(), "--migrate-to", url});
    EXPECT_EQ(moved.code, 0) << moved.output;
    EXPECT_EQ(moved.output.rfind("quillon-service: Moved 2 accounts and 1 picture to PostgreSQL database ", 0), 0u)
        << moved.output;
    EXPECT_NE(moved.output.find("; every picture verified.\n"), std::string::npos) << moved.output;
    EXPECT_EQ(std::count(moved.output.begin(), moved.output.end(), '\n'), 1) << moved.output;

    const TExit again = RunService({"--data", data.string(), "--migrate-to", url});
    EXPECT_EQ(again.code, 1) << again.output;
    EXPECT_EQ(again.output, "quillon-service: The database already holds 1 account(s) besides the guest and 1 "
                            "picture(s); --migrate-to moves a data folder only into a database without any.\n");
    for (const TExit* run : {&moved, &again})
        EXPECT_EQ(run->output.find("secret"), std::string::npos) << run->output;

    const TExit both = RunService({"--db", url, "--migrate-to", url});
    EXPECT_EQ(both.code, 2) << both.output;
}

} // namespace
