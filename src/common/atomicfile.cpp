#include "common/atomicfile.h"

#include "common/error.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quillon {

namespace {

// mkstemp's six random characters.
constexpr size_t kTemporarySuffixLength = 6;

std::string SystemText(const std::string& what, int err)
{
    return what + ": " + std::strerror(err);
}

// The file a write to target lands in: target itself, or what its chain of symbolic links
// names, so that a link the user made stays a link. A dangling link is written through too.
fs::path ResolveLinks(const fs::path& target)
{
    fs::path file = target;
    for (int hops = 0;; ++hops) {
        struct stat st{};
        if (lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return file;
        if (hops == 40)
            throw QuillonError(SystemText("Cannot replace " + target.string(), ELOOP));
        std::string link(PATH_MAX, '\0');
        ssize_t n = readlink(file.c_str(), link.data(), link.size());
        if (n < 0)
            throw QuillonError(SystemText("Cannot replace " + target.string(), errno));
        link.resize(static_cast<size_t>(n));
        fs::path next(link);
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
}

// A rename is only lasting once the folder that records it is on disk.
void SyncFolder(const fs::path& folder, const fs::path& target)
{
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        throw QuillonError(SystemText("Cannot write " + target.string(), errno));
    int result = fsync(dir);
    int err = errno;
    close(dir);
    // Some file systems cannot sync a folder at all; they have nothing more to write.
    if (result != 0 && err != EINVAL)
        throw QuillonError(SystemText("Cannot write " + target.string(), err));
}

} // namespace

void WriteFileAtomically(const fs::path& target, std::string_view data, bool ownerOnly)
{
    const fs::path file = ResolveLinks(target);
    const fs::path folder = file.parent_path();
    std::string tmpl = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = mkstemp(tmpl.data());
    if (fd < 0)
        throw QuillonError(SystemText("Cannot create a file in " + folder.string(), errno));

    auto fail = [&](const std::string& what, int err) {
        if (fd >= 0)
            close(fd);
        unlink(tmpl.c_str());
        throw QuillonError(SystemText(what, err));
    };

    // mkstemp creates 0600; ordinary files get the usual umask-governed mode.
    if (!ownerOnly) {
        mode_t mask = umask(0);
        umask(mask);
        if (fchmod(fd, 0666 & ~mask) != 0)
            fail("Cannot write " + target.string(), errno);
    }

    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot write " + target.string(), errno);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (fsync(fd) != 0)
        fail("Cannot write " + target.string(), errno);
    int closed = close(fd);
    fd = -1;
    if (closed != 0)
        fail("Cannot write " + target.string(), errno);
    if (rename(tmpl.c_str(), file.c_str()) != 0)
        fail("Cannot replace " + target.string(), errno);
    SyncFolder(folder, target);
}

bool IsTemporaryFileOf(std::string_view name, std::string_view file)
{
    if (name.size() != 1 + file.size() + 1 + kTemporarySuffixLength || name[0] != '.' ||
        name.substr(1, file.size()) != file || name[1 + file.size()] != '.')
        return false;
    for (char c : name.substr(name.size() - kTemporarySuffixLength)) {
        bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum)
            return false;
    }
    return true;
}

void RemoveStaleTemporaryFiles(const fs::path& folder, std::initializer_list<std::string_view> files)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (std::string_view file : files) {
            std::error_code statError;
            if (IsTemporaryFileOf(name, file) && it->is_regular_file(statError) && !it->is_symlink(statError)) {
                std::error_code removeError;
                fs::remove(it->path(), removeError);
            }
        }
    }
}

} // namespace quillon
