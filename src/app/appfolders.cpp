#include "app/appfolders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillon {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool Absolute(const char* path) { return path && path[0] == '/'; }

std::string AccountHome()
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && Absolute(found->pw_dir))
        return found->pw_dir;
    return {};
}

} // namespace

TFolderFacts TFolderFacts::Real()
{
    TFolderFacts facts;
    facts.getenv = [](const char* name) -> const char* { return std::getenv(name); };
    facts.writable = [](const std::string& folder) { return access(folder.c_str(), W_OK) == 0; };
    facts.accountHome = AccountHome();
    return facts;
}

std::string UserDataFolder(const TFolderFacts& facts)
{
    if (const char* dataHome = facts.getenv("XDG_DATA_HOME"); Absolute(dataHome))
        return WithSlash((fs::path(dataHome) / "quillon").string());
    std::string home;
    if (const char* fromEnv = facts.getenv("HOME"); Absolute(fromEnv))
        home = fromEnv;
    else
        home = facts.accountHome;
    if (home.empty())
        return {};
    return WithSlash((fs::path(home) / ".local/share/quillon").string());
}

TAppFolders ChooseAppFolders(const std::string& exeDir, const TFolderFacts& facts)
{
    // A package's folder is recognised by its layout, not by write access: root may write
    // to /usr/bin, and its files must still not land there.
    const fs::path exe = fs::path(exeDir).lexically_normal();
    const fs::path prefixed = (exe.has_filename() ? exe : exe.parent_path()).parent_path() / "share" / "quillon";
    std::error_code ec;
    if (fs::is_regular_file(prefixed / kShippedMarkerFile, ec))
        return {UserDataFolder(facts), WithSlash(prefixed.string())};
    const std::string beside = WithSlash(exe.string());
    if (facts.writable(beside))
        return {beside, beside};
    // A read-only copy unpacked somewhere (a shared /opt folder): its files are read where
    // they are, the user's own go to the data folder.
    return {UserDataFolder(facts), beside};
}

std::string MakeUserFolder(const std::string& folder)
{
    // Parents are made private too, as the desktop's base directory rules ask.
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = fs::path(folder).lexically_normal(); !p.empty() && p != p.parent_path(); p = p.parent_path()) {
        if (p.filename().empty())
            continue;
        if (fs::exists(p, ec))
            break;
        missing.push_back(p);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (mkdir(it->c_str(), 0700) != 0 && errno != EEXIST)
            return "Unable to create the folder " + it->string() + " for your files: " + std::strerror(errno);
    }
    if (!fs::is_directory(folder, ec))
        return "Unable to use " + folder + " for your files: it is not a folder.";
    return {};
}

} // namespace quillon
