#include "sqlitestore.h"

#include "credentials.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <stdexcept>
#include <unistd.h>

namespace quillon::server {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTempPrefix = ".tmp-";

class TStatement {
public:
    TStatement(sqlite3* db, const char* sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            Fail();
    }
    ~TStatement() { sqlite3_finalize(stmt_); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(int i, std::int64_t v)
    {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    TStatement& Bind(int i, std::string_view v)
    {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    TStatement& BindBytes(int i, std::string_view v)
    {
        sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // True while a row is available.
    bool Step()
    {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            Fail();
        return false;
    }
    // For statements that may break a constraint: false instead of an exception.
    bool TryRun() { return sqlite3_step(stmt_) == SQLITE_DONE; }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    // NUL and all, where Text stops at the first.
    std::string Bytes(int col) const
    {
        const void* b = sqlite3_column_blob(stmt_, col);
        return b ? std::string(static_cast<const char*>(b), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }
    std::string Text(int col) const
    {
        const unsigned char* t = sqlite3_column_text(stmt_, col);
        return t ? reinterpret_cast<const char*>(t) : "";
    }

private:
    [[noreturn]] void Fail() { throw TStorageError(std::string("Database: ") + sqlite3_errmsg(db_)); }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

void WriteWhole(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw TStorageError(std::string("Cannot write a picture: ") + std::strerror(errno));
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

// Written in full and flushed under a temporary name, so the picture's own name only
// ever holds a complete file.
fs::path WriteTempPicture(const fs::path& dir, std::string_view bytes)
{
    fs::path temp = dir / (kTempPrefix + NewToken());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw TStorageError(std::string("Cannot create a picture: ") + std::strerror(errno));
    try {
        WriteWhole(fd, bytes);
        if (fsync(fd) != 0)
            throw TStorageError(std::string("Cannot write a picture: ") + std::strerror(errno));
    } catch (...) {
        close(fd);
        unlink(temp.c_str());
        throw;
    }
    close(fd);
    return temp;
}

} // namespace

TSqliteStore::TSqliteStore(const fs::path& dataDir) : dataDir_(dataDir), pictureDir_(dataDir / "pictures")
{
    fs::create_directories(pictureDir_);
    fs::permissions(dataDir_, fs::perms::owner_all, fs::perm_options::replace);
    fs::path dbPath = dataDir_ / "quillon.db";
    if (sqlite3_open_v2(dbPath.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string text = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("Cannot open " + dbPath.string() + ": " + text);
    }
    try {
        sqlite3_busy_timeout(db_, 5000);
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
        Exec("PRAGMA foreign_keys=ON");
        Migrate();
        Exec("INSERT OR IGNORE INTO accounts(login, hash, confirmed, shared, created)"
             " VALUES('guest', '', 1, 1, strftime('%s','now'))");
        RemoveDebris();
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

TSqliteStore::~TSqliteStore()
{
    sqlite3_close(db_);
}

std::string TSqliteStore::Location() const
{
    return dataDir_.string();
}

void TSqliteStore::InTransaction(const std::function<void()>& work)
{
    Exec("BEGIN IMMEDIATE");
    try {
        work();
        Exec("COMMIT");
    } catch (...) {
        Exec("ROLLBACK");
        throw;
    }
}

void TSqliteStore::Exec(const char* sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string text = err ? err : "unknown error";
        sqlite3_free(err);
        throw TStorageError("Database: " + text);
    }
}

fs::path TSqliteStore::PicturePath(const std::string& id) const
{
    return pictureDir_ / id;
}

int TSqliteStore::SchemaVersion()
{
    return 2;
}

// The version lives in the database header (PRAGMA user_version), written in the same
// transaction as its migration. Data folders from before versions were kept read 0; the
// first migration only creates what they lack.
void TSqliteStore::Migrate()
{
    int found = 0;
    {
        TStatement version(db_, "PRAGMA user_version");
        if (version.Step())
            found = static_cast<int>(version.Int(0));
    }
    MigrateSchema(found, SchemaVersion(), [&](int version) {
        InTransaction([&] {
            switch (version) {
            case 1:
                Exec("CREATE TABLE IF NOT EXISTS accounts("
                     " id INTEGER PRIMARY KEY,"
                     " login TEXT NOT NULL UNIQUE COLLATE NOCASE,"
                     " hash TEXT NOT NULL,"
                     " email TEXT NOT NULL DEFAULT '',"
                     " confirmed INTEGER NOT NULL,"
                     " shared INTEGER NOT NULL DEFAULT 0,"
                     " created INTEGER NOT NULL)");
                Exec("CREATE TABLE IF NOT EXISTS tokens("
                     " token TEXT PRIMARY KEY,"
                     " account INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
                     " created INTEGER NOT NULL)");
                Exec("CREATE TABLE IF NOT EXISTS pictures("
                     " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
                     " id TEXT NOT NULL UNIQUE,"
                     " account INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
                     " type TEXT NOT NULL,"
                     " uploaded INTEGER NOT NULL)");
                Exec("CREATE TABLE IF NOT EXISTS login_failures("
                     " key TEXT PRIMARY KEY,"
                     " count INTEGER NOT NULL,"
                     " last INTEGER NOT NULL)");
                Exec("CREATE TABLE IF NOT EXISTS mails_sent("
                     " key TEXT NOT NULL,"
                     " at INTEGER NOT NULL)");
                Exec("CREATE INDEX IF NOT EXISTS mails_sent_by_key ON mails_sent(key, at)");
                MoveToTextIds();
                Exec("CREATE INDEX IF NOT EXISTS pictures_by_account ON pictures(account, seq)");
                break;
            case 2:
                Exec("CREATE TABLE outbox("
                     " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                     " recipient BLOB NOT NULL,"
                     " subject BLOB NOT NULL,"
                     " body BLOB NOT NULL,"
                     " queued INTEGER NOT NULL,"
                     " attempts INTEGER NOT NULL DEFAULT 0,"
                     " not_before INTEGER NOT NULL,"
                     " claimed_until INTEGER NOT NULL)");
                Exec("CREATE INDEX outbox_by_due ON outbox(not_before, id)");
                break;
            }
            Exec(("PRAGMA user_version = " + std::to_string(version)).c_str());
        });
    });
}

// Pictures once had numbers for identifiers: a guessable range. The table takes text
// now; the numbers become their decimal text, so the URLs handed out before still serve,
// and their files keep their names.
void TSqliteStore::MoveToTextIds()
{
    {
        TStatement column(db_, "SELECT type FROM pragma_table_info('pictures') WHERE name = 'id'");
        if (!column.Step() || column.Text(0) != "INTEGER")
            return;
    }
    Exec("CREATE TABLE pictures_text_ids("
         " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
         " id TEXT NOT NULL UNIQUE,"
         " account INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,"
         " type TEXT NOT NULL,"
         " uploaded INTEGER NOT NULL)");
    Exec("INSERT INTO pictures_text_ids(seq, id, account, type, uploaded)"
         " SELECT seq, CAST(id AS TEXT), account, type, uploaded FROM pictures");
    Exec("DROP TABLE pictures");
    Exec("ALTER TABLE pictures_text_ids RENAME TO pictures");
}
// A crash can leave a temporary file, a renamed file whose row was never committed, or
// (after a withdrawal) a file whose row is gone. Rows without a file are dropped too.
void TSqliteStore::RemoveDebris()
{
    std::set<std::string> rows;
    {
        TStatement all(db_, "SELECT id FROM pictures");
        while (all.Step())
            rows.insert(all.Text(0));
    }
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(pictureDir_)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || !rows.count(name)) {
            std::error_code ec;
            fs::remove_all(entry.path(), ec);
        } else {
            files.insert(name);
        }
    }
    for (const std::string& id : rows) {
        if (!files.count(id))
            TStatement(db_, "DELETE FROM pictures WHERE id = ?").Bind(1, id).Step();
    }
}

std::optional<TAccount> TSqliteStore::FindAccount(std::string_view login)
{
    std::lock_guard lock(mutex_);
    TStatement q(db_, "SELECT id, login, hash, confirmed, shared FROM accounts WHERE login = ?");
    q.Bind(1, login);
    if (!q.Step())
        return std::nullopt;
    return TAccount{q.Int(0), q.Text(1), q.Text(2), q.Int(3) != 0, q.Int(4) != 0};
}

bool TSqliteStore::AddAccount(std::string_view login, const std::string& passwordHash, std::string_view email,
                              bool confirmed)
{
    std::lock_guard lock(mutex_);
    TStatement q(db_, "INSERT INTO accounts(login, hash, email, confirmed, created) VALUES(?, ?, ?, ?, ?)");
    q.Bind(1, login).Bind(2, passwordHash).Bind(3, email).Bind(4, confirmed ? 1 : 0).Bind(5, std::time(nullptr));
    return q.TryRun();
}

void TSqliteStore::RemoveAccount(std::int64_t account)
{
    std::lock_guard lock(mutex_);
    TStatement(db_, "DELETE FROM accounts WHERE id = ? AND shared = 0").Bind(1, account).Step();
}

void TSqliteStore::RemoveUnconfirmedBefore(std::int64_t before)
{
    std::lock_guard lock(mutex_);
    TStatement(db_, "DELETE FROM accounts WHERE confirmed = 0 AND shared = 0 AND created < ?").Bind(1, before).Step();
}

bool TSqliteStore::CountMail(const std::vector<TMailQuota>& quotas, std::int64_t since, std::int64_t now)
{
    std::lock_guard lock(mutex_);
    for (const TMailQuota& q : quotas) {
        TStatement count(db_, "SELECT COUNT(*) FROM mails_sent WHERE key = ? AND at > ?");
        count.Bind(1, q.key).Bind(2, since);
        count.Step();
        if (count.Int(0) >= q.limit)
            return false;
    }
    InTransaction([&] {
        for (const TMailQuota& q : quotas)
            TStatement(db_, "INSERT INTO mails_sent(key, at) VALUES(?, ?)").Bind(1, q.key).Bind(2, now).Step();
    });
    return true;
}

void TSqliteStore::ForgetMailsBefore(std::int64_t before)
{
    std::lock_guard lock(mutex_);
    TStatement(db_, "DELETE FROM mails_sent WHERE at < ?").Bind(1, before).Step();
}

std::int64_t TSqliteStore::QueueMail(const TQueuedMail& mail, std::int64_t claimedUntil)
{
    std::lock_guard lock(mutex_);
    TStatement(db_, "INSERT INTO outbox(recipient, subject, body, queued, attempts, not_before, claimed_until)"
                    " VALUES(?, ?, ?, ?, ?, ?, ?)")
        .BindBytes(1, mail.to)
        .BindBytes(2, mail.subject)
        .BindBytes(3, mail.body)
        .Bind(4, mail.queued)
        .Bind(5, mail.attempts)
        .Bind(6, mail.queued)
        .Bind(7, claimedUntil)
        .Step();
    return sqlite3_last_insert_rowid(db_);
}

std::optional<TQueuedMail> TSqliteStore::TakeMail(std::int64_t now, std::int64_t claimedUntil)
{
    std::lock_guard lock(mutex_);
    std::optional<TQueuedMail> mail;
    // One process holds the data folder, and the lock above orders its takers.
    InTransaction([&] {
        TStatement q(db_, "SELECT id, recipient, subject, body, queued, attempts FROM outbox"
                          " WHERE not_before <= ? AND claimed_until <= ? ORDER BY not_before, id LIMIT 1");
        q.Bind(1, now).Bind(2, now);
        if (!q.Step())
            return;
        mail = TQueuedMail{q.Int(0), q.Bytes(1), q.Bytes(2), q.Bytes(3), q.Int(4), static_cast<int>(q.Int(5))};
        TStatement(db_, "UPDATE outbox SET claimed_until = ? WHERE id = ?").Bind(1, claimedUntil).Bind(2, mail->id).Step();
    });
    return mail;
}

void TSqliteStore::PostponeMail(std::int64_t id, std::int64_t notBefore)
{
    std::lock_guard lock(mutex_);
    TStatement(db_, "UPDATE outbox SET attempts = attempts + 1, not_before = ?, claimed_until = 0 WHERE id = ?")
        .Bind(1, notBefore)
        .Bind(2, id)
        .Step();
}

void TSqliteStore::RemoveMail(std::int64_t id)
{
    std::lock_guard lock(mutex_);
    TStatement(db_, "DELETE FROM outbox WHERE id = ?").Bind(1, id).Step();
}

std::string TSqliteStore::NewConfirmationToken(std::int64_t account)
{
    std::lock_guard lock(mutex_);
    std::string token = NewToken();
    TStatement(db_, "INSERT INTO tokens(token, account, created) VALUES(?, ?, ?)")
        .Bind(1, token)
        .Bind(2, account)
        .Bind(3, std::time(nullptr))
        .Step();
    return token;
}

std::optional<std::string> TSqliteStore::Confirm(std::string_view token)
{
    std::lock_guard lock(mutex_);
    TStatement q(db_, "SELECT accounts.id, accounts.login FROM tokens JOIN accounts ON accounts.id = tokens.account"
                      " WHERE tokens.token = ?");
    q.Bind(1, token);
    if (!q.Step())
        return std::nullopt;
    std::int64_t account = q.Int(0);
    std::string login = q.Text(1);
    InTransaction([&] {
        TStatement(db_, "UPDATE accounts SET confirmed = 1 WHERE id = ?").Bind(1, account).Step();
        TStatement(db_, "DELETE FROM tokens WHERE account = ?").Bind(1, account).Step();
    });
    return login;
}

TLoginFailures TSqliteStore::LoginFailures(std::string_view key)
{
    std::lock_guard lock(mutex_);
    return LoginFailuresLocked(key);
}

TLoginFailures TSqliteStore::LoginFailuresLocked(std::string_view key)
{
    TStatement q(db_, "SELECT count, last FROM login_failures WHERE key = ?");
    q.Bind(1, key);
    if (!q.Step())
        return {};
    return TLoginFailures{static_cast<int>(q.Int(0)), q.Int(1)};
}

TLoginFailures TSqliteStore::ChangeLoginFailures(std::string_view key,
                                                 const std::function<TLoginFailures(const TLoginFailures&)>& change)
{
    std::lock_guard lock(mutex_);
    TLoginFailures changed = change(LoginFailuresLocked(key));
    if (changed.count <= 0)
        TStatement(db_, "DELETE FROM login_failures WHERE key = ?").Bind(1, key).Step();
    else
        TStatement(db_, "INSERT OR REPLACE INTO login_failures(key, count, last) VALUES(?, ?, ?)")
            .Bind(1, key)
            .Bind(2, changed.count)
            .Bind(3, changed.last)
            .Step();
    return changed;
}

void TSqliteStore::ForgetLoginFailures(std::int64_t before)
{
    std::lock_guard lock(mutex_);
    TStatement(db_, "DELETE FROM login_failures WHERE last < ?").Bind(1, before).Step();
}

TStoredPicture TSqliteStore::StorePicture(std::int64_t account, std::string_view bytes,
                                          const std::string& contentType, int keep)
{
    fs::path temp = WriteTempPicture(pictureDir_, bytes);
    std::lock_guard lock(mutex_);
    TStoredPicture stored;
    for (;;) {
        stored.id = NewPictureId();
        TStatement taken(db_, "SELECT 1 FROM pictures WHERE id = ?");
        taken.Bind(1, stored.id);
        std::error_code ec;
        if (!taken.Step() && !fs::exists(PicturePath(stored.id), ec))
            break;
    }
    // Until the row is committed, the renamed file is served by no one and a restart
    // removes it.
    fs::path final = PicturePath(stored.id);
    if (rename(temp.c_str(), final.c_str()) != 0) {
        int err = errno;
        unlink(temp.c_str());
        throw TStorageError(std::string("Cannot store a picture: ") + std::strerror(err));
    }
    try {
        InTransaction([&] {
            TStatement(db_, "INSERT INTO pictures(id, account, type, uploaded) VALUES(?, ?, ?, ?)")
                .Bind(1, stored.id)
                .Bind(2, account)
                .Bind(3, contentType)
                .Bind(4, std::time(nullptr))
                .Step();
            TStatement old(db_, "SELECT id FROM pictures WHERE account = ? ORDER BY seq DESC LIMIT -1 OFFSET ?");
            old.Bind(1, account).Bind(2, keep);
            while (old.Step())
                stored.withdrawn.push_back(old.Text(0));
            // Out of the cache before the rows go, so no answer serves a withdrawn picture
            // from memory once the withdrawal is visible.
            cache_.Forget(stored.withdrawn);
            for (const std::string& id : stored.withdrawn)
                TStatement(db_, "DELETE FROM pictures WHERE id = ?").Bind(1, id).Step();
        });
    } catch (...) {
        unlink(final.c_str());
        throw;
    }
    for (const std::string& id : stored.withdrawn)
        unlink(PicturePath(id).c_str());
    return stored;
}

std::optional<TPicture> TSqliteStore::FindPicture(const std::string& id)
{
    std::lock_guard lock(mutex_);
    return FindPictureLocked(id);
}

std::optional<TPictureContent> TSqliteStore::ReadPicture(const std::string& id)
{
    std::lock_guard lock(mutex_);
    std::optional<TPicture> row = FindPictureLocked(id);
    if (!row)
        return std::nullopt;
    std::ifstream in(PicturePath(id), std::ios::binary);
    if (!in)
        return std::nullopt;
    auto bytes = std::make_shared<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return TPictureContent{row->account, row->contentType, std::move(bytes)};
}

std::optional<TPicture> TSqliteStore::FindPictureLocked(const std::string& id)
{
    TStatement q(db_, "SELECT id, account, type, uploaded FROM pictures WHERE id = ?");
    q.Bind(1, id);
    if (!q.Step())
        return std::nullopt;
    return TPicture{q.Text(0), q.Int(1), q.Text(2), q.Int(3)};
}

std::vector<TPicture> TSqliteStore::ListPictures(std::int64_t account, int limit)
{
    std::lock_guard lock(mutex_);
    TStatement q(db_, "SELECT id, account, type, uploaded FROM pictures WHERE account = ? ORDER BY seq DESC LIMIT ?");
    q.Bind(1, account).Bind(2, limit);
    std::vector<TPicture> list;
    while (q.Step())
        list.push_back(TPicture{q.Text(0), q.Int(1), q.Text(2), q.Int(3)});
    return list;
}

int TSqliteStore::CountPictures(std::int64_t account)
{
    std::lock_guard lock(mutex_);
    TStatement q(db_, "SELECT COUNT(*) FROM pictures WHERE account = ?");
    q.Bind(1, account);
    q.Step();
    return static_cast<int>(q.Int(0));
}

} // namespace quillon::server
