#include "imaging/picturecache.h"

#include <sys/stat.h>

namespace quillon {

std::optional<TFileStamp> TFileStamp::Of(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return TFileStamp{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                      static_cast<int64_t>(info.st_size),
                      static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::shared_ptr<const TBitmap> TPictureCache::Find(const std::string& path) const
{
    if (!picture_ || path != path_)
        return nullptr;
    const std::optional<TFileStamp> now = TFileStamp::Of(path);
    return now && *now == stamp_ ? picture_ : nullptr;
}

void TPictureCache::Keep(const std::string& path, const TFileStamp& stamp, std::shared_ptr<const TBitmap> picture)
{
    path_ = path;
    stamp_ = stamp;
    picture_ = std::move(picture);
}

void TPictureCache::Clear()
{
    path_.clear();
    picture_.reset();
}

} // namespace quillon
