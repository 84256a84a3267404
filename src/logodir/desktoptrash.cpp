#include "logodir/desktoptrash.h"

#include "common/text.h"
#include "logodir/directoryops.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace quillon {

namespace {

// Names tried for one entry before the trash is given up as full of that name.
constexpr int kTrashNameTries = 1000;

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
        && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// A relative XDG_DATA_HOME is ignored, as the desktop ignores it: it would put the trash
// in whatever the current folder happens to be.
std::string DataHome()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        return dataHome;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
}

// The volume a folder that may not exist yet would be made on: that of its nearest
// existing ancestor.
std::optional<dev_t> VolumeFor(fs::path path)
{
    for (;;) {
        struct stat s{};
        if (::stat(path.c_str(), &s) == 0)
            return s.st_dev;
        if (path == path.parent_path())
            return std::nullopt;
        path = path.parent_path();
    }
}

// A trash folder, made for this user alone when missing. Only a volume's trash is checked
// for owner and links: another user may own the top of a shared volume and could lead the
// deleted files elsewhere; the home trash is the user's own, link or not.
bool TrashFolder(const fs::path& folder, bool strict)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat s{};
    if ((strict ? ::lstat(folder.c_str(), &s) : ::stat(folder.c_str(), &s)) != 0)
        return false;
    return S_ISDIR(s.st_mode) && (!strict || s.st_uid == getuid());
}

bool TrashWithParts(const fs::path& trash, bool strict)
{
    return TrashFolder(trash, strict) && TrashFolder(trash / "files", strict) && TrashFolder(trash / "info", strict);
}

// The desktop makes missing folders of the data home for the user alone.
bool MakeHomeTrash(const fs::path& trash)
{
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = trash.parent_path(); !fs::exists(p, ec) && p != p.parent_path(); p = p.parent_path())
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    return TrashWithParts(trash, false);
}

// The top of the volume a folder lies on: its highest ancestor on the same device.
fs::path TopDirectory(fs::path folder, dev_t volume)
{
    while (folder != folder.parent_path()) {
        struct stat s{};
        if (::stat(folder.parent_path().c_str(), &s) != 0 || s.st_dev != volume)
            break;
        folder = folder.parent_path();
    }
    return folder;
}

bool AtOrBelow(const fs::path& path, const fs::path& folder)
{
    const fs::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

// A volume's own trash: the administrator's shared $topdir/.Trash only when it is a real
// folder with the sticky bit, so no user can take another's entries out of it; else one of
// the user's own.
std::optional<fs::path> VolumeTrash(const fs::path& top)
{
    const std::string uid = std::to_string(getuid());
    struct stat shared{};
    if (::lstat((top / ".Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
        const fs::path trash = top / ".Trash" / uid;
        if (TrashWithParts(trash, true))
            return trash;
    }
    const fs::path trash = top / (".Trash-" + uid);
    if (TrashWithParts(trash, true))
        return trash;
    return std::nullopt;
}

std::string DeletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = {};
    if (!localtime_r(&now, &local) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0)
        return {};
    return text;
}

// The entry's name in the trash: the file's own, then "name.2.ext", "name.3.ext", ...,
// cut so that its info file's name still fits on the volume.
std::string EntryName(const std::string& fileName, int attempt)
{
    const size_t dot = fileName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    std::string stem = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::string extension = hasExtension ? fileName.substr(dot) : std::string();
    const std::string number = attempt > 1 ? "." + std::to_string(attempt) : std::string();
    const size_t room = NAME_MAX - std::string_view(".trashinfo").size();
    const size_t rest = number.size() + extension.size();
    if (stem.size() + rest > room && room > rest) {
        size_t cut = room - rest;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;  // never inside a character: the one cut goes whole
        stem.resize(cut);
    }
    return stem + number + extension;
}

// The info file is on disk before the file moves, so an entry never lacks its origin.
bool WriteInfoFile(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

// Reserves a name by creating its info file exclusively, then moves the file under that
// name; whatever fails takes the info file away again.
bool MoveIntoTrash(const fs::path& file, const fs::path& trash, const std::string& infoPath)
{
    const std::string info = "[Trash Info]\nPath=" + infoPath + "\nDeletionDate=" + DeletionDate() + "\n";
    const std::string fileName = file.filename().string();
    for (int attempt = 1; attempt <= kTrashNameTries; ++attempt) {
        const std::string name = EntryName(fileName, attempt);
        const fs::path infoFile = trash / "info" / (name + ".trashinfo");
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        if (!WriteInfoFile(fd, info)) {
            ::unlink(infoFile.c_str());
            return false;
        }
        if (RenameNoReplace(file.string(), (trash / "files" / name).string()))
            return true;
        const int error = errno;
        ::unlink(infoFile.c_str());
        if (error != EEXIST)  // a file left in files/ without its info keeps its name
            return false;
    }
    return false;
}

bool Trash(const std::string& path, dev_t volume, const std::string& noTrashIn)
{
    // The entry names the file by its folder's real path: what a volume's trash records is
    // relative to the top of that volume, which links in the path would hide.
    const fs::path given = path;
    char* real = ::realpath(given.has_parent_path() ? given.parent_path().c_str() : ".", nullptr);
    if (!real || given.filename().empty()) {
        std::free(real);
        return false;
    }
    const fs::path folder = real;
    std::free(real);
    const fs::path original = folder / given.filename();

    const std::string dataHome = DataHome();
    if (dataHome.empty())
        return false;
    const fs::path homeTrash = fs::path(dataHome) / "Trash";
    if (VolumeFor(homeTrash / "files") == volume)
        return MakeHomeTrash(homeTrash) && MoveIntoTrash(original, homeTrash, TrashInfoPath(original.string()));

    const fs::path top = TopDirectory(folder, volume);
    if (!noTrashIn.empty()) {
        std::error_code ec;
        const fs::path kept = fs::weakly_canonical(noTrashIn, ec);
        if (ec || AtOrBelow(top, kept))
            return false;
    }
    const std::optional<fs::path> trash = VolumeTrash(top);
    return trash && MoveIntoTrash(original, *trash, TrashInfoPath(original.string(), top.string()));
}

} // namespace

std::string TrashInfoPath(std::string_view originalPath, std::string_view topDir)
{
    if (!topDir.empty()) {
        std::string prefix(topDir);
        if (prefix.back() != '/')
            prefix += '/';
        if (originalPath.substr(0, prefix.size()) == prefix)
            originalPath.remove_prefix(prefix.size());
    }
    // A URL path: unreserved bytes and the separators stay, everything else is escaped.
    return PercentEncode(originalPath,
                         [](unsigned char c) { return IsUnreservedUrlByte(c) || c == '/'; });
}

bool MoveFileToTrash(const std::string& path, const std::string& noTrashIn)
{
    struct stat file{};
    if (::lstat(path.c_str(), &file) == 0 && Trash(path, file.st_dev, noTrashIn))
        return true;
    // The user has confirmed the delete: without a trash for it the file goes as it always
    // did. One that cannot be deleted either stays, and the delete is reported as failed.
    return DeleteFileForGood(path);
}

} // namespace quillon
