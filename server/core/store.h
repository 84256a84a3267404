#pragma once

#include "loginlimits.h"

#include <cstdint>
#include <functional>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace quillon::server {

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

// The data folder or its database cannot be written or read right now (a full disk, a
// read-only folder, a database locked too long): the request may work later.
class TStorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The service's data folder: an SQLite database of accounts and pictures, and the
// pictures as files named by their identifier. A picture is served only when both its
// row and its file exist; opening the store removes whatever a crash left half done.
class TStore {
public:
    explicit TStore(const std::filesystem::path& dataDir);
    ~TStore();
    TStore(const TStore&) = delete;
    TStore& operator=(const TStore&) = delete;

    const std::filesystem::path& DataDir() const { return dataDir_; }
    std::filesystem::path PicturePath(const std::string& id) const;

    std::optional<TAccount> FindAccount(std::string_view login);
    // False when the login is taken (logins are unique without regard to ASCII case).
    bool AddAccount(std::string_view login, const std::string& passwordHash, std::string_view email,
                    bool confirmed);
    void RemoveAccount(std::int64_t account);
    // Removes the accounts still unconfirmed that were created before the given time
    // (seconds since the epoch), freeing their logins.
    void RemoveUnconfirmedBefore(std::int64_t before);
    std::string NewConfirmationToken(std::int64_t account);
    // The login of the account confirmed by the token, or nothing for an unknown token.
    std::optional<std::string> Confirm(std::string_view token);

    // Failed logins kept across restarts, so a restart does not hand a guesser fresh tries.
    TLoginFailures LoginFailures(std::string_view key);
    // Replaces the key's record by what change makes of it, in one step; a count of 0
    // removes it.
    TLoginFailures ChangeLoginFailures(std::string_view key,
                                       const std::function<TLoginFailures(const TLoginFailures&)>& change);
    // Drops the records whose latest failure is before the given time.
    void ForgetLoginFailures(std::int64_t before);

    // Counts one mail under each key when every key has sent fewer than its limit after
    // the given time; otherwise counts nothing and answers false.
    struct TMailQuota {
        std::string key;
        int limit = 0;
    };
    bool CountMail(const std::vector<TMailQuota>& quotas, std::int64_t since, std::int64_t now);
    void ForgetMailsBefore(std::int64_t before);

    // Stores the picture and withdraws the account's oldest pictures beyond keep.
    TStoredPicture StorePicture(std::int64_t account, std::string_view bytes, const std::string& contentType,
                                int keep);
    std::optional<TPicture> FindPicture(const std::string& id);
    // Nothing when the row or the file is missing. Recently served pictures come from
    // memory: phones fetch the same few logos over and over.
    std::optional<TPictureContent> LoadPicture(const std::string& id);
    // From memory only: never waits for the database, so a network thread may ask.
    std::optional<TPictureContent> CachedPicture(const std::string& id);
    // Newest first.
    std::vector<TPicture> ListPictures(std::int64_t account, int limit);
    int CountPictures(std::int64_t account);

private:
    void Exec(const char* sql);
    // Runs the work in one write transaction, rolled back when it throws.
    void InTransaction(const std::function<void()>& work);
    void RemoveDebris();
    std::optional<TPicture> FindPictureLocked(const std::string& id);
    void MigrateNumericIds();
    TLoginFailures LoginFailuresLocked(std::string_view key);

    std::filesystem::path dataDir_;
    std::filesystem::path pictureDir_;
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
    // Filled under mutex_ and cacheMutex_ both, and emptied of withdrawn pictures inside
    // the withdrawing transaction, so a withdrawn picture never lingers in it; read under
    // cacheMutex_ alone.
    std::mutex cacheMutex_;
    std::unordered_map<std::string, TPictureContent> cache_;
    std::size_t cacheBytes_ = 0;
};

} // namespace quillon::server
