#include "acquire/settingsstore.h"

#include "common/atomicfile.h"
#include "common/error.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quillon {

namespace {

// Holds the exclusive lock of the key for one operation. The lock lives on a file of its
// own: the key's file is replaced by a rename, which a lock on it would not survive.
class TKeyLock {
public:
    // create: make the folder when missing. Without it a missing folder means no lock
    // (and no key) and nothing is created.
    TKeyLock(const std::filesystem::path& file, bool create)
    {
        const std::filesystem::path folder = file.parent_path();
        if (create) {
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
        }
        const std::string lockPath = (folder / ("." + file.filename().string() + ".lock")).string();
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            if (!create && errno == ENOENT)
                return;
            throw QuillonError("Cannot open " + lockPath + ": " + std::strerror(errno));
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int e = errno;
                ::close(fd_);
                throw QuillonError("Cannot lock " + lockPath + ": " + std::strerror(e));
            }
        }
    }
    ~TKeyLock()
    {
        if (fd_ >= 0)
            ::close(fd_);  // releases the lock
    }
    TKeyLock(const TKeyLock&) = delete;
    TKeyLock& operator=(const TKeyLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// A value stays on one line whatever it holds.
std::string Escape(const std::string& value)
{
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char c = value[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

} // namespace

std::optional<std::string> TakeValue(TSettingsStore& store, const std::string& name)
{
    std::optional<std::string> taken;
    store.Update([&](TSettingsValues& values) {
        if (auto it = values.find(name); it != values.end()) {
            taken = it->second;
            values.erase(it);
        }
    });
    return taken;
}

std::filesystem::path TSettingsFile::DefaultPath()
{
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = std::filesystem::temp_directory_path();
    return base / "quillon" / "settings.ini";
}

std::string TSettingsFile::Format(const TSettingsValues& values)
{
    std::string text = std::string("[") + kSettingsKey + "]\n";
    for (const auto& [name, value] : values)
        text += name + "=" + Escape(value) + "\n";
    return text;
}

std::optional<TSettingsValues> TSettingsFile::Parse(const std::string& text)
{
    const std::string section = std::string("[") + kSettingsKey + "]";
    std::optional<TSettingsValues> values;
    bool inKey = false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inKey = line == section;
            if (inKey && !values)
                values.emplace();
            continue;
        }
        const size_t eq = line.find('=');
        if (inKey && eq != std::string::npos && eq > 0)
            (*values)[line.substr(0, eq)] = Unescape(line.substr(eq + 1));
    }
    return values;
}

std::optional<TSettingsValues> TSettingsFile::ReadUnlocked() const
{
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!std::filesystem::exists(file_, ec))
            return std::nullopt;
        throw QuillonError("Cannot read " + file_.string());
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw QuillonError("Cannot read " + file_.string());
    return Parse(text);
}

std::optional<TSettingsValues> TSettingsFile::Read()
{
    TKeyLock lock(file_, false);
    if (!lock.Held())
        return std::nullopt;
    return ReadUnlocked();
}

bool TSettingsFile::Update(const std::function<void(TSettingsValues&)>& change)
{
    TKeyLock lock(file_, false);
    if (!lock.Held())
        return false;
    std::optional<TSettingsValues> values = ReadUnlocked();
    if (!values)
        return false;
    const TSettingsValues before = *values;
    change(*values);
    if (*values != before)
        WriteFileAtomically(file_, Format(*values), true);
    return true;
}

void TSettingsFile::CreateWith(const std::string& name, const std::string& value)
{
    TKeyLock lock(file_, true);
    TSettingsValues values = ReadUnlocked().value_or(TSettingsValues());
    values[name] = value;
    WriteFileAtomically(file_, Format(values), true);
}

void TSettingsFile::RemoveKey()
{
    TKeyLock lock(file_, false);
    if (!lock.Held())
        return;
    std::error_code ec;
    std::filesystem::remove(file_, ec);
    if (ec)
        throw QuillonError("Cannot remove " + file_.string() + ": " + ec.message());
}

} // namespace quillon
