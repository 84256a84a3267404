#include "store.h"

#include "config.h"
#include "pgstore.h"
#include "sqlitestore.h"

#include <string>

namespace quillon::server {

namespace {

constexpr std::size_t kCacheLimitBytes = 64 << 20;

} // namespace

std::optional<TPictureContent> TPictureCache::Find(const std::string& id)
{
    std::lock_guard lock(mutex_);
    if (auto hit = pictures_.find(id); hit != pictures_.end())
        return hit->second;
    return std::nullopt;
}

std::uint64_t TPictureCache::Ticket()
{
    std::lock_guard lock(mutex_);
    return withdrawals_;
}

void TPictureCache::Keep(const std::string& id, const TPictureContent& content, std::uint64_t ticket)
{
    std::lock_guard lock(mutex_);
    if (suspended_ || ticket != withdrawals_)
        return;
    if (bytes_ + content.bytes->size() > kCacheLimitBytes) {
        pictures_.clear();
        bytes_ = 0;
    }
    if (pictures_.emplace(id, content).second)
        bytes_ += content.bytes->size();
}

void TPictureCache::Forget(const std::vector<std::string>& ids)
{
    std::lock_guard lock(mutex_);
    ++withdrawals_;
    for (const std::string& id : ids)
        if (auto hit = pictures_.find(id); hit != pictures_.end()) {
            bytes_ -= hit->second.bytes->size();
            pictures_.erase(hit);
        }
}

void TPictureCache::Suspend()
{
    std::lock_guard lock(mutex_);
    ++withdrawals_;
    suspended_ = true;
    pictures_.clear();
    bytes_ = 0;
}

// Reads begun while suspended may have missed a withdrawal: their tickets no longer count.
void TPictureCache::Resume()
{
    std::lock_guard lock(mutex_);
    ++withdrawals_;
    suspended_ = false;
}

std::optional<TPictureContent> TStore::LoadPicture(const std::string& id)
{
    if (std::optional<TPictureContent> hit = cache_.Find(id))
        return hit;
    std::uint64_t ticket = cache_.Ticket();
    std::optional<TPictureContent> content = ReadPicture(id);
    if (content)
        cache_.Keep(id, *content, ticket);
    return content;
}

void MigrateSchema(int found, int known, const std::function<void(int version)>& step)
{
    if (found > known)
        throw std::runtime_error("The database has schema version " + std::to_string(found) +
                                 ", newer than this quillon-service knows (" + std::to_string(known) +
                                 "); use a newer quillon-service.");
    for (int version = found + 1; version <= known; ++version)
        step(version);
}

std::unique_ptr<TStore> OpenStore(const TServiceConfig& config)
{
    if (config.db.empty())
        return std::make_unique<TSqliteStore>(config.dataDir);
    // The URL itself stays out of the message: it may hold a password.
    if (config.db.rfind("postgresql://", 0) != 0 && config.db.rfind("postgres://", 0) != 0)
        throw std::runtime_error("--db takes a URL that begins with postgresql:// or postgres://");
    return std::make_unique<TPgStore>(config.db);
}

} // namespace quillon::server
