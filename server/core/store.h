#pragma once

#include "loginlimits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon::server {

struct TServiceConfig;

struct TAccount {
    std::int64_t id = 0;
    std::string login;
    std::string passwordHash;
    bool confirmed = false;
    bool shared = false;  // the guest account: any password opens it
};

// A picture's identifier is the text a phone URL carries after "?id=": a random run of
// lowercase letters and digits for new pictures, the decimal number that older ones had.
struct TPicture {
    std::string id;
    std::int64_t account = 0;
    std::string contentType;
    std::int64_t uploaded = 0;  // seconds since the epoch
};

// A picture with its bytes, as a phone is given it.
struct TPictureContent {
    std::int64_t account = 0;
    std::string contentType;
    std::shared_ptr<const std::string> bytes;
};

struct TStoredPicture {
    std::string id;
    std::vector<std::string> withdrawn;
};

// A mail waiting for the relay. The texts are bytes as the request gave them.
struct TQueuedMail {
    std::int64_t id = 0;
    std::string to;
    std::string subject;
    std::string body;
    std::int64_t queued = 0;  // seconds since the epoch
    int attempts = 0;         // deliveries tried and failed so far
};

// The store cannot be written or read right now (a full disk, a read-only folder, a
// database locked too long or out of reach): the request may work later.
class TStorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The pictures recently served, so phones fetching the same few logos over and over do
// not reach the database each time. A withdrawal takes its pictures out before it is
// committed (and again after, where reads do not wait for it), and a picture read while a
// withdrawal was under way is not kept: otherwise a read that saw the picture just before
// the withdrawal could put it back for good. While a store cannot learn of the withdrawals that others sharing its
// database make, it suspends the cache: it keeps nothing then.
class TPictureCache {
public:
    std::optional<TPictureContent> Find(const std::string& id);
    // Taken before the picture is read from the store, handed to Keep with what was read.
    std::uint64_t Ticket();
    void Keep(const std::string& id, const TPictureContent& content, std::uint64_t ticket);
    void Forget(const std::vector<std::string>& ids);
    void Suspend();
    void Resume();

private:
    std::mutex mutex_;
    std::unordered_map<std::string, TPictureContent> pictures_;
    std::size_t bytes_ = 0;
    std::uint64_t withdrawals_ = 0;
    bool suspended_ = false;
};

// Where the service keeps accounts, confirmation tokens, pictures, withdrawals, failed
// logins and the mails sent: an SQLite data folder or a PostgreSQL database. Every
// method may throw TStorageError. Safe to call from several threads at once.
class TStore {
public:
    virtual ~TStore() = default;

    // For the log: the data folder or the database, without a password.
    virtual std::string Location() const = 0;

    virtual std::optional<TAccount> FindAccount(std::string_view login) = 0;
    // False when the login is taken (logins are unique without regard to ASCII case).
    virtual bool AddAccount(std::string_view login, const std::string& passwordHash, std::string_view email,
                            bool confirmed) = 0;
    // The guest account stays.
    virtual void RemoveAccount(std::int64_t account) = 0;
    // Removes the accounts still unconfirmed that were created before the given time
    // (seconds since the epoch), freeing their logins.
    virtual void RemoveUnconfirmedBefore(std::int64_t before) = 0;
    virtual std::string NewConfirmationToken(std::int64_t account) = 0;
    // The login of the account confirmed by the token, or nothing for an unknown token.
    // A token confirms once.
    virtual std::optional<std::string> Confirm(std::string_view token) = 0;

    // Failed logins kept across restarts, so a restart does not hand a guesser fresh tries.
    virtual TLoginFailures LoginFailures(std::string_view key) = 0;
    // Replaces the key's record by what change makes of it, in one step that no other
    // change of the key (from any process) comes between; a count of 0 removes it.
    virtual TLoginFailures ChangeLoginFailures(std::string_view key,
                                               const std::function<TLoginFailures(const TLoginFailures&)>& change) = 0;
    // Drops the records whose latest failure is before the given time.
    virtual void ForgetLoginFailures(std::int64_t before) = 0;

    // Counts one mail under each key when every key has sent fewer than its limit after
    // the given time; otherwise counts nothing and answers false. One step, as above.
    struct TMailQuota {
        std::string key;
        int limit = 0;
    };
    virtual bool CountMail(const std::vector<TMailQuota>& quotas, std::int64_t since, std::int64_t now) = 0;
    virtual void ForgetMailsBefore(std::int64_t before) = 0;

    // The outbox. A mail is claimed by one taker until a time: the one who queues it first,
    // then whoever takes it once it is due and its claim has run out (an instance that died
    // while sending it). Any number of instances may take at once; each mail goes to one.
    // Returns the new mail's id.
    virtual std::int64_t QueueMail(const TQueuedMail& mail, std::int64_t claimedUntil) = 0;
    // The oldest mail that is due at now and claimed by nobody, now claimed until the time.
    virtual std::optional<TQueuedMail> TakeMail(std::int64_t now, std::int64_t claimedUntil) = 0;
    // A failed delivery: counted, unclaimed, due again at notBefore.
    virtual void PostponeMail(std::int64_t id, std::int64_t notBefore) = 0;
    // Sent, or given up.
    virtual void RemoveMail(std::int64_t id) = 0;

    // Stores the picture and withdraws the account's oldest pictures beyond keep, so the
    // account holds its keep newest even when uploads race.
    virtual TStoredPicture StorePicture(std::int64_t account, std::string_view bytes, const std::string& contentType,
                                        int keep) = 0;
    virtual std::optional<TPicture> FindPicture(const std::string& id) = 0;
    // Nothing for an unknown or withdrawn picture. Recently served pictures come from
    // memory.
    std::optional<TPictureContent> LoadPicture(const std::string& id);
    // From memory only: never waits for the database, so a network thread may ask.
    std::optional<TPictureContent> CachedPicture(const std::string& id) { return cache_.Find(id); }
    // Newest first.
    virtual std::vector<TPicture> ListPictures(std::int64_t account, int limit) = 0;
    virtual int CountPictures(std::int64_t account) = 0;

protected:
    // The picture from the database (and the folder), bypassing the cache.
    virtual std::optional<TPictureContent> ReadPicture(const std::string& id) = 0;

    TPictureCache cache_;
};

// The store the configuration names: the PostgreSQL database of --db, else the data
// folder. Brings the schema up to date first; throws std::runtime_error with a message
// for the user when the URL is wrong, the database is out of reach or its schema is
// newer than this program's.
std::unique_ptr<TStore> OpenStore(const TServiceConfig& config);

// Brings a schema at version found to version known, calling step(v) for each version
// v in order; each step applies its migration and stores v in one transaction.
void MigrateSchema(int found, int known, const std::function<void(int version)>& step);

} // namespace quillon::server
