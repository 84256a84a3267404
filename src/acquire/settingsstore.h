#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace quillon {

// The key that carries the browser hand-off and the program's folder.
inline constexpr const char* kSettingsKey = "\\Software\\Quillon\\Quillon";
inline constexpr const char* kAppPathValue = "AppPath";
inline constexpr const char* kImageURLValue = "ImageURL";

using TSettingsValues = std::map<std::string, std::string>;

// The machine-wide settings key. It is opened without creating it: while the key is
// missing every operation reports so and writes nothing. Only an installer creates it.
class TSettingsStore {
public:
    virtual ~TSettingsStore() = default;
    // The key's values; none when the key is missing. Throws QuillonError when it cannot be read.
    virtual std::optional<TSettingsValues> Read() = 0;
    // Reads, lets change edit the values, and stores them again, all as one step that no
    // other reader or writer can interleave with. False, with nothing written, when the key
    // is missing. Throws QuillonError when it cannot be read or written.
    virtual bool Update(const std::function<void(TSettingsValues&)>& change) = 0;
    // Creates the key when missing, then sets the value (what an installer does).
    virtual void CreateWith(const std::string& name, const std::string& value) = 0;
    // Removes the key with all its values.
    virtual void RemoveKey() = 0;
};

// Takes the value out of the key in one step; none when the key or the value is missing.
std::optional<std::string> TakeValue(TSettingsStore& store, const std::string& name);

// The key as a small INI-style file: a "[\Software\Quillon\Quillon]" section line, then
// "name=value" lines. It is read and written under an exclusive lock on a lock file beside
// it and replaced atomically, so a reader never sees half a file and two programs handing
// over or picking up a URL at once never lose one.
class TSettingsFile : public TSettingsStore {
public:
    explicit TSettingsFile(std::filesystem::path file) : file_(std::move(file)) {}

    // ${XDG_CONFIG_HOME:-$HOME/.config}/quillon/settings.ini
    static std::filesystem::path DefaultPath();
    const std::filesystem::path& Path() const { return file_; }

    std::optional<TSettingsValues> Read() override;
    bool Update(const std::function<void(TSettingsValues&)>& change) override;
    void CreateWith(const std::string& name, const std::string& value) override;
    void RemoveKey() override;

    // The file's text for these values, and back; lines of other sections are ignored.
    static std::string Format(const TSettingsValues& values);
    static std::optional<TSettingsValues> Parse(const std::string& text);

private:
    std::optional<TSettingsValues> ReadUnlocked() const;
    std::filesystem::path file_;
};

} // namespace quillon
