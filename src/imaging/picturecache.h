#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quillon {

// What tells a file's content apart without reading it: a file replaced or written again
// has another inode, size or modification time.
struct TFileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;

    bool operator==(const TFileStamp&) const = default;

    // The file's stamp now; none when it cannot be read.
    static std::optional<TFileStamp> Of(const std::string& path);
};

// The decoded picture of the selected logo, kept while its file is unchanged, so showing
// it again (fit to pane, a settings change, selecting it again) decodes nothing. One
// picture at a time: a new one replaces the old.
class TPictureCache {
public:
    // The kept picture of the file, or none when another file's is kept or the file changed.
    std::shared_ptr<const TBitmap> Find(const std::string& path) const;
    // Keeps a picture decoded from the file as it was when `stamp` was taken.
    void Keep(const std::string& path, const TFileStamp& stamp, std::shared_ptr<const TBitmap> picture);
    void Clear();

private:
    std::string path_;
    TFileStamp stamp_;
    std::shared_ptr<const TBitmap> picture_;
};

} // namespace quillon
