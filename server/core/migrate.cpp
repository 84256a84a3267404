#include "migrate.h"

#include "pgstore.h"
#include "sqlitestore.h"

#include <libpq-fe.h>
#include <openssl/evp.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

namespace quillon::server {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGuestLogin = "guest";

struct TFolderAccount {
    std::int64_t id = 0;
    std::string login, hash, email;
    bool confirmed = false, shared = false;
    std::int64_t created = 0;
};

struct TFolderToken {
    std::string token;
    std::int64_t account = 0, created = 0;
};

struct TFolderPicture {
    std::string id;
    std::int64_t account = 0;
    std::string type;
    std::int64_t uploaded = 0;
};

// A failed-login record (count, last) or a mail sent (at, unused).
struct TFolderKeyed {
    std::string key;
    std::int64_t first = 0, second = 0;
};

struct TFolder {
    std::vector<TFolderAccount> accounts;
    std::vector<TFolderToken> tokens;
    std::vector<TFolderPicture> pictures;  // in upload order
    std::vector<TFolderKeyed> loginFailures;
    std::vector<TFolderKeyed> mails;
    std::vector<std::pair<TQueuedMail, std::int64_t>> queued;  // not sent yet, and when due
};

// Columns are read as the bytes stored: SQLite keeps whatever a request brought, and
// PostgreSQL is to judge (and refuse) text that is not UTF-8, not this side.
std::string ColumnBytes(sqlite3_stmt* q, int col)
{
    const void* p = sqlite3_column_blob(q, col);
    return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(q, col)))
             : std::string();
}

class TFolderReader {
public:
    explicit TFolderReader(const fs::path& file)
    {
        // Immutable, not only read-only: a read-only connection that closes a database in
        // WAL mode last leaves the -wal and -shm files behind, and the folder must come
        // out of the move as it went in. The caller makes sure no one writes meanwhile.
        if (sqlite3_open_v2(("file:" + UriPath(file) + "?immutable=1").c_str(), &db_,
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
            std::string text = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw std::runtime_error("Cannot open " + file.string() + ": " + text);
        }
    }
    ~TFolderReader() { sqlite3_close(db_); }
    TFolderReader(const TFolderReader&) = delete;
    TFolderReader& operator=(const TFolderReader&) = delete;

    void Each(const char* sql, const std::function<void(sqlite3_stmt*)>& row)
    {
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &q, nullptr) != SQLITE_OK)
            Fail();
        std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> owned(q, &sqlite3_finalize);
        int rc;
        while ((rc = sqlite3_step(q)) == SQLITE_ROW)
            row(q);
        if (rc != SQLITE_DONE)
            Fail();
    }

private:
    static std::string UriPath(const fs::path& file)
    {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string uri;
        for (unsigned char c : fs::absolute(file).string()) {
            if (std::isalnum(c) || (c != 0 && std::strchr("/._-~", c))) {
                uri += static_cast<char>(c);
            } else {
                uri += '%';
                uri += kHex[c >> 4];
                uri += kHex[c & 15];
            }
        }
        return uri;
    }
    [[noreturn]] void Fail() { throw std::runtime_error(std::string("The data folder's database: ") + sqlite3_errmsg(db_)); }
    sqlite3* db_ = nullptr;
};

TFolder ReadFolder(const fs::path& dataDir)
{
    std::error_code ec;
    if (!fs::is_directory(dataDir, ec))
        throw std::runtime_error("There is no data folder " + dataDir.string() + " to move.");
    const fs::path file = dataDir / "quillon.db";
    if (!fs::is_regular_file(file, ec))
        throw std::runtime_error(dataDir.string() + " holds no quillon.db: nothing to move.");
    // A service keeps its write-ahead log while it has the database open, and one that
    // died leaves it with transactions not yet in quillon.db.
    if (fs::exists(dataDir / "quillon.db-wal", ec))
        throw std::runtime_error("A service has " + dataDir.string() +
                                 " open, or stopped without closing it (quillon.db-wal is there): stop it, or start "
                                 "and stop it once, then move the folder.");
    TFolderReader reader(file);
    int version = 0;
    reader.Each("PRAGMA user_version", [&](sqlite3_stmt* q) { version = sqlite3_column_int(q, 0); });
    if (version != TSqliteStore::SchemaVersion())
        throw std::runtime_error(
            "The data folder's database has schema version " + std::to_string(version) + ", this quillon-service " +
            std::to_string(TSqliteStore::SchemaVersion()) + ": " +
            (version < TSqliteStore::SchemaVersion() ? "start this quillon-service on the folder once, then move it."
                                                     : "use a newer quillon-service."));
    TFolder folder;
    reader.Each("SELECT id, login, hash, email, confirmed, shared, created FROM accounts ORDER BY id",
                [&](sqlite3_stmt* q) {
                    folder.accounts.push_back({sqlite3_column_int64(q, 0), ColumnBytes(q, 1), ColumnBytes(q, 2),
                                               ColumnBytes(q, 3), sqlite3_column_int64(q, 4) != 0,
                                               sqlite3_column_int64(q, 5) != 0, sqlite3_column_int64(q, 6)});
                });
    reader.Each("SELECT token, account, created FROM tokens", [&](sqlite3_stmt* q) {
        folder.tokens.push_back({ColumnBytes(q, 0), sqlite3_column_int64(q, 1), sqlite3_column_int64(q, 2)});
    });
    reader.Each("SELECT id, account, type, uploaded FROM pictures ORDER BY seq", [&](sqlite3_stmt* q) {
        folder.pictures.push_back(
            {ColumnBytes(q, 0), sqlite3_column_int64(q, 1), ColumnBytes(q, 2), sqlite3_column_int64(q, 3)});
    });
    reader.Each("SELECT key, count, last FROM login_failures", [&](sqlite3_stmt* q) {
        folder.loginFailures.push_back({ColumnBytes(q, 0), sqlite3_column_int64(q, 1), sqlite3_column_int64(q, 2)});
    });
    reader.Each("SELECT key, at FROM mails_sent", [&](sqlite3_stmt* q) {
        folder.mails.push_back({ColumnBytes(q, 0), sqlite3_column_int64(q, 1), 0});
    });
    // A claim is the folder's service's, which is stopped: the database's instances may
    // take every mail at once.
    reader.Each("SELECT recipient, subject, body, queued, attempts, not_before FROM outbox ORDER BY id",
                [&](sqlite3_stmt* q) {
                    folder.queued.push_back({{0, ColumnBytes(q, 0), ColumnBytes(q, 1), ColumnBytes(q, 2),
                                              sqlite3_column_int64(q, 3), sqlite3_column_int(q, 4)},
                                             sqlite3_column_int64(q, 5)});
                });
    return folder;
}

// A read that fails (rather than ends) fails the move: a picture must not go over cut short.
std::string ReadPictureFile(const fs::path& file)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("Cannot read " + file.string() + ": " + std::strerror(errno));
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            throw std::runtime_error("Cannot read " + file.string() + ": " + std::strerror(error));
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return bytes;
}

// As PostgreSQL writes sha256() of a bytea: \x and lowercase hexadecimal.
std::string Sha256Text(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("Cannot compute a SHA-256 digest");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "\\x";
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

// A statement's argument. Strings go in binary form, their exact bytes with their
// length: the server checks that text is UTF-8 without NUL, and bytea takes anything.
struct TArg {
    TArg(std::int64_t n) : value(std::to_string(n)) {}
    TArg(bool b) : value(b ? "t" : "f") {}
    TArg(std::string s) : value(std::move(s)), binary(true) {}
    std::string value;
    bool binary = false;
};

using TPgResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

class TTarget {
public:
    explicit TTarget(const std::string& url)
    {
        const char* keys[] = {"connect_timeout", "fallback_application_name", "dbname", "client_encoding", nullptr};
        const char* values[] = {"10", "quillon-service", url.c_str(), "UTF8", nullptr};
        conn_ = PQconnectdbParams(keys, values, 1);
        if (PQstatus(conn_) != CONNECTION_OK)
            throw std::runtime_error("Cannot reach the database: " + FirstLine(PQerrorMessage(conn_)));
        PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    }
    ~TTarget() { PQfinish(conn_); }
    TTarget(const TTarget&) = delete;
    TTarget& operator=(const TTarget&) = delete;

    TPgResult Run(const char* sql, const std::vector<TArg>& args = {})
    {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (const TArg& a : args) {
            values.push_back(a.value.c_str());
            lengths.push_back(static_cast<int>(a.value.size()));
            formats.push_back(a.binary ? 1 : 0);
        }
        TPgResult r(PQexecParams(conn_, sql, static_cast<int>(args.size()), nullptr, values.data(), lengths.data(),
                                 formats.data(), 0),
                    &PQclear);
        const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const char* primary = r ? PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
            throw std::runtime_error(primary ? primary : FirstLine(PQerrorMessage(conn_)));
        }
        return r;
    }
    // The first column of the first row.
    std::string Value(const char* sql, const std::vector<TArg>& args = {})
    {
        TPgResult r = Run(sql, args);
        return PQntuples(r.get()) ? PQgetvalue(r.get(), 0, 0) : "";
    }
    std::int64_t Number(const char* sql, const std::vector<TArg>& args = {})
    {
        return std::strtoll(Value(sql, args).c_str(), nullptr, 10);
    }
    // Whatever state the connection is in; a connection that dropped rolled back anyway.
    void Rollback() { PQclear(PQexec(conn_, "ROLLBACK")); }

private:
    static std::string FirstLine(const char* text)
    {
        std::string line = text ? text : "";
        return line.substr(0, line.find('\n'));
    }
    PGconn* conn_ = nullptr;
};

// Why the database may not take the folder, or nothing when it may: it has no schema
// yet, or no account but the guest and no picture. Anything more is someone's data that
// a move would mix with the folder's.
std::string Occupied(TTarget& target)
{
    if (target.Value("SELECT to_regclass('accounts') IS NULL") == "t")
        return "";
    const std::int64_t accounts = target.Number("SELECT count(*) FROM accounts WHERE NOT shared");
    const std::int64_t pictures = target.Number("SELECT count(*) FROM pictures");
    if (accounts == 0 && pictures == 0)
        return "";
    return "The database already holds " + std::to_string(accounts) + " account(s) besides the guest and " +
           std::to_string(pictures) + " picture(s); --migrate-to moves a data folder only into a database without any.";
}

// What the database must hold of a picture once it is copied, in the folder's order.
struct TCopiedPicture {
    std::string id, owner, type;
    std::int64_t uploaded = 0;
    std::string digest;
};

std::string AccountRow(const std::string& login, const std::string& hash, const std::string& email, bool confirmed,
                       bool shared, std::int64_t created)
{
    return login + '\n' + hash + '\n' + email + '\n' + (confirmed ? "t" : "f") + (shared ? "t" : "f") + '\n' +
           std::to_string(created);
}

[[noreturn]] void Differs(const std::string& what)
{
    throw std::runtime_error("The copy differs from the folder (" + what + "); nothing was moved.");
}

// Read back inside the copy's transaction, so a difference rolls everything back.
void Verify(TTarget& target, std::int64_t guest, const std::set<std::string>& members,
            const std::vector<TCopiedPicture>& copied)
{
    std::set<std::string> stored;
    TPgResult accounts =
        target.Run("SELECT login, hash, email, confirmed, shared, created FROM accounts WHERE id <> $1", {guest});
    for (int i = 0; i < PQntuples(accounts.get()); ++i)
        stored.insert(AccountRow(PQgetvalue(accounts.get(), i, 0), PQgetvalue(accounts.get(), i, 1),
                                 PQgetvalue(accounts.get(), i, 2), PQgetvalue(accounts.get(), i, 3)[0] == 't',
                                 PQgetvalue(accounts.get(), i, 4)[0] == 't',
                                 std::strtoll(PQgetvalue(accounts.get(), i, 5), nullptr, 10)));
    if (stored.size() != members.size())
        Differs(std::to_string(stored.size() + 1) + " accounts in the database, " + std::to_string(members.size() + 1) +
                " in the folder");
    for (const std::string& row : members)
        if (!stored.count(row))
            Differs("the account " + row.substr(0, row.find('\n')));

    TPgResult pictures = target.Run("SELECT p.id, a.login, p.type, p.uploaded, sha256(p.bytes) FROM pictures p"
                                     " JOIN accounts a ON a.id = p.account ORDER BY p.seq");
    const auto rows = static_cast<std::size_t>(PQntuples(pictures.get()));
    if (rows != copied.size())
        Differs(std::to_string(rows) + " pictures in the database, " + std::to_string(copied.size()) +
                " in the folder");
    for (std::size_t i = 0; i < rows; ++i) {
        const int row = static_cast<int>(i);
        const TCopiedPicture& want = copied[i];
        auto at = [&](int col) -> std::string { return PQgetvalue(pictures.get(), row, col); };
        if (at(0) != want.id)
            Differs("picture " + want.id + " is not where it was in upload order");
        if (at(1) != want.owner)
            Differs("picture " + want.id + " belongs to " + at(1) + ", not " + want.owner);
        if (at(2) != want.type || std::strtoll(at(3).c_str(), nullptr, 10) != want.uploaded)
            Differs("picture " + want.id + "'s content type or upload time");
        if (at(4) != want.digest)
            Differs("picture " + want.id + "'s bytes");
    }
}

TMoveSummary Copy(TTarget& target, const fs::path& dataDir, const TFolder& folder,
                  const std::function<void(const std::string&)>& skipped)
{
    // Services on this database wait (reads go on) until the copy is in or rolled back.
    target.Run("SET LOCAL lock_timeout = '10s'");
    target.Run("LOCK TABLE accounts, pictures IN SHARE ROW EXCLUSIVE MODE");
    if (std::string occupied = Occupied(target); !occupied.empty())
        throw std::runtime_error(occupied);
    const std::int64_t guest =
        target.Number("SELECT id FROM accounts WHERE shared AND login = $1", {std::string(kGuestLogin)});
    if (guest == 0)
        throw std::runtime_error("The database has no guest account");

    // Ids are the database's own; the folder's map onto them.
    std::map<std::int64_t, std::int64_t> ids;
    std::map<std::int64_t, std::string> logins;
    std::set<std::string> members;
    for (const TFolderAccount& a : folder.accounts) {
        logins[a.id] = a.login;
        if (a.shared && a.login == kGuestLogin) {
            ids[a.id] = guest;
            continue;
        }
        try {
            ids[a.id] = target.Number("INSERT INTO accounts(login, hash, email, confirmed, shared, created)"
                                      " VALUES($1, $2, $3, $4, $5, $6) RETURNING id",
                                      {a.login, a.hash, a.email, a.confirmed, a.shared, a.created});
        } catch (const std::exception& e) {
            throw std::runtime_error("Cannot copy the account " + a.login + ": " + e.what());
        }
        members.insert(AccountRow(a.login, a.hash, a.email, a.confirmed, a.shared, a.created));
    }
    auto mapped = [&](std::int64_t account, const std::string& what) {
        auto at = ids.find(account);
        if (at == ids.end())
            throw std::runtime_error("The folder's " + what + " belongs to no account");
        return at->second;
    };
    for (const TFolderToken& t : folder.tokens)
        target.Run("INSERT INTO tokens(token, account, created) VALUES($1, $2, $3)",
                   {t.token, mapped(t.account, "confirmation token"), t.created});
    // The database may have counted failures of its own already: the larger count holds.
    for (const TFolderKeyed& f : folder.loginFailures)
        target.Run("INSERT INTO login_failures(key, count, last) VALUES($1, $2, $3) ON CONFLICT (key) DO UPDATE"
                   " SET count = greatest(login_failures.count, EXCLUDED.count),"
                   " last = greatest(login_failures.last, EXCLUDED.last)",
                   {f.key, f.first, f.second});
    for (const TFolderKeyed& m : folder.mails)
        target.Run("INSERT INTO mails_sent(key, at) VALUES($1, $2)", {m.key, m.first});
    for (const auto& [m, due] : folder.queued)
        target.Run("INSERT INTO outbox(recipient, subject, body, queued, attempts, not_before, claimed_until)"
                   " VALUES($1, $2, $3, $4, $5, $6, 0)",
                   {m.to, m.subject, m.body, m.queued, static_cast<std::int64_t>(m.attempts), due});

    // In the folder's upload order, so the database numbers them in the same order and
    // keeps the same newest ones.
    std::vector<TCopiedPicture> copied;
    for (const TFolderPicture& p : folder.pictures) {
        const fs::path file = dataDir / "pictures" / p.id;
        std::error_code ec;
        // What opening the folder would drop: a row whose file is not a regular file of
        // the pictures folder.
        if (p.id.empty() || p.id == "." || p.id == ".." || p.id.find('/') != std::string::npos ||
            !fs::is_regular_file(file, ec)) {
            skipped("picture " + p.id + " left out: its file is missing from " + (dataDir / "pictures").string());
            continue;
        }
        const std::string bytes = ReadPictureFile(file);
        try {
            target.Run("INSERT INTO pictures(id, account, type, uploaded, bytes) VALUES($1, $2, $3, $4, $5)",
                       {p.id, mapped(p.account, "picture " + p.id), p.type, p.uploaded, bytes});
        } catch (const std::exception& e) {
            throw std::runtime_error("Cannot copy picture " + p.id + ": " + e.what());
        }
        copied.push_back({p.id, logins[p.account], p.type, p.uploaded, Sha256Text(bytes)});
    }
    Verify(target, guest, members, copied);

    TMoveSummary summary;
    summary.accounts = static_cast<int>(folder.accounts.size());
    summary.pictures = static_cast<int>(copied.size());
    return summary;
}

} // namespace

TMoveSummary MoveToPostgres(const fs::path& dataDir, const std::string& url,
                            const std::function<void(const std::string&)>& skipped)
{
    // The folder first: a folder that cannot be moved leaves the database untouched.
    const TFolder folder = ReadFolder(dataDir);
    TTarget target(url);
    if (std::string occupied = Occupied(target); !occupied.empty())
        throw std::runtime_error(occupied);
    // The schema and the guest account exactly as a service starting on the database
    // makes them.
    std::string location = TPgStore(url, 1).Location();

    target.Run("BEGIN");
    try {
        TMoveSummary summary = Copy(target, dataDir, folder, skipped);
        target.Run("COMMIT");
        summary.target = location;
        return summary;
    } catch (...) {
        target.Rollback();
        throw;
    }
}

} // namespace quillon::server
