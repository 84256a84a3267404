#pragma once

#include "store.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct pg_conn;

namespace quillon::server {

// Everything in a PostgreSQL database, picture bytes included, so several instances of
// the service may share it. Each thread takes a connection of its own from a small pool
// for each call; a connection the server dropped (a restart) is replaced on the next
// call. A connection of its own listens for the withdrawals that every instance
// announces, so a picture withdrawn through another instance leaves this one's memory
// moments after.
class TPgStore : public TStore {
public:
    // The schema version this program brings a database to.
    static int SchemaVersion();

    // url: postgresql://[user[:password]@][host][:port][/dbname][?param=value...], with
    // libpq's own fallbacks (PGPASSWORD, ~/.pgpass, PGHOST...). Throws std::runtime_error
    // when the URL is wrong, the server is out of reach or the schema is newer.
    explicit TPgStore(const std::string& url, std::size_t connections = 8);
    ~TPgStore() override;
    TPgStore(const TPgStore&) = delete;
    TPgStore& operator=(const TPgStore&) = delete;

    std::string Location() const override;

    std::optional<TAccount> FindAccount(std::string_view login) override;
    bool AddAccount(std::string_view login, const std::string& passwordHash, std::string_view email,
                    bool confirmed) override;
    void RemoveAccount(std::int64_t account) override;
    void RemoveUnconfirmedBefore(std::int64_t before) override;
    std::string NewConfirmationToken(std::int64_t account) override;
    std::optional<std::string> Confirm(std::string_view token) override;

    TLoginFailures LoginFailures(std::string_view key) override;
    TLoginFailures ChangeLoginFailures(std::string_view key,
                                       const std::function<TLoginFailures(const TLoginFailures&)>& change) override;
    void ForgetLoginFailures(std::int64_t before) override;

    bool CountMail(const std::vector<TMailQuota>& quotas, std::int64_t since, std::int64_t now) override;
    void ForgetMailsBefore(std::int64_t before) override;
    std::int64_t QueueMail(const TQueuedMail& mail, std::int64_t claimedUntil) override;
    std::optional<TQueuedMail> TakeMail(std::int64_t now, std::int64_t claimedUntil) override;
    void PostponeMail(std::int64_t id, std::int64_t notBefore) override;
    void RemoveMail(std::int64_t id) override;

    TStoredPicture StorePicture(std::int64_t account, std::string_view bytes, const std::string& contentType,
                                int keep) override;
    std::optional<TPicture> FindPicture(const std::string& id) override;
    std::vector<TPicture> ListPictures(std::int64_t account, int limit) override;
    int CountPictures(std::int64_t account) override;

    // Waits until the withdrawals that any instance committed so far are out of this
    // one's memory; false when that did not happen within the time.
    bool CatchUp(std::chrono::milliseconds within);

protected:
    std::optional<TPictureContent> ReadPicture(const std::string& id) override;

private:
    class TPool;
    void Migrate();
    // The listening thread: forgets what the announcements withdraw, and listens again
    // after the connection drops.
    void Listen(pg_conn* conn);
    void Announce(pg_conn* conn, const std::string& message);
    void Heard(const std::string& message);

    const std::string url_;
    std::unique_ptr<TPool> pool_;
    std::string location_;
    int stopFd_ = -1;
    std::thread listener_;
    std::mutex catchUpMutex_;
    std::condition_variable caughtUp_;
    std::set<std::string> awaited_;
};

} // namespace quillon::server
