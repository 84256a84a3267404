#pragma once

#include "store.h"

#include <filesystem>
#include <mutex>

struct sqlite3;

namespace quillon::server {

// The service's data folder: an SQLite database of accounts and pictures, and the
// pictures as files named by their identifier. A picture is served only when both its
// row and its file exist; opening the store removes whatever a crash left half done.
class TSqliteStore : public TStore {
public:
    // The schema version this program brings a data folder to.
    static int SchemaVersion();

    explicit TSqliteStore(const std::filesystem::path& dataDir);
    ~TSqliteStore() override;
    TSqliteStore(const TSqliteStore&) = delete;
    TSqliteStore& operator=(const TSqliteStore&) = delete;

    std::string Location() const override;
    const std::filesystem::path& DataDir() const { return dataDir_; }
    std::filesystem::path PicturePath(const std::string& id) const;

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

protected:
    std::optional<TPictureContent> ReadPicture(const std::string& id) override;

private:
    void Exec(const char* sql);
    // Runs the work in one write transaction, rolled back when it throws.
    void InTransaction(const std::function<void()>& work);
    void Migrate();
    void MoveToTextIds();
    void RemoveDebris();
    std::optional<TPicture> FindPictureLocked(const std::string& id);
    TLoginFailures LoginFailuresLocked(std::string_view key);

    std::filesystem::path dataDir_;
    std::filesystem::path pictureDir_;
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
};

} // namespace quillon::server
