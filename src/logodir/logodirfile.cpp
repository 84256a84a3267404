#include "logodir/logodirfile.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/text.h"
#include "common/xml.h"
#include "logodir/messages.h"
#include "logodir/nodepaths.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <charconv>
#include <iterator>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace quillon {

namespace {

struct TIntAttribute {
    const char* name;
    int32_t TLogoDirObject::*field;
    int32_t whenMissing;
};

// Replacement values on load differ from the record defaults on purpose: a missing
// frame reads as 0, 0, 16, 16 and a missing logo size as 16 by 16.
const TIntAttribute kIntAttributes[] = {
    {"frameleft", &TLogoDirObject::frameleft, 0},
    {"frametop", &TLogoDirObject::frametop, 0},
    {"framewidth", &TLogoDirObject::framewidth, 16},
    {"frameheight", &TLogoDirObject::frameheight, 16},
    {"phonemakeid", &TLogoDirObject::phonemakeid, -1},
    {"phonemodelid", &TLogoDirObject::phonemodelid, -1},
    {"logowidth", &TLogoDirObject::logowidth, 16},
    {"logoheight", &TLogoDirObject::logoheight, 16},
};

const char* const kFitKindWords[] = {"width", "height", "smaller", "bigger"};

uint8_t ReadFitKind(const std::optional<std::string>& word)
{
    if (word) {
        for (uint8_t i = 0; i < 3; ++i) {
            if (*word == kFitKindWords[i])
                return i;
        }
    }
    return fkBigger;
}

fs::path U8Path(const std::string& s) { return fs::path(s); }

// Returns the copy's path, or nothing when there was no file to copy.
std::optional<fs::path> KeepDamagedCopy(const fs::path& file)
{
    std::error_code ec;
    if (!fs::exists(file, ec))
        return std::nullopt;
    fs::path copy = file;
    copy += ".bad";
    for (int n = 2; fs::exists(copy, ec); ++n) {
        copy = file;
        copy += ".bad" + std::to_string(n);
    }
    fs::copy_file(file, copy, ec);
    if (ec)
        throw QuillonError("Cannot keep a copy of " + file.string() + ": " + ec.message());
    return copy;
}

// The entry is looked up in its folder, held open while the folder's elements stream past:
// a path from the root for each of a hundred thousand logos is a walk through every folder
// above it, each time.
TLogoNode* AddNode(int folder, const XmlStartTag& element, TLogoTree& tree, TLogoNode* receiver)
{
    if (element.LowerName() != "logodirnode")
        return nullptr;
    const std::optional<std::string> name = element.Attribute("nodename");
    const std::optional<std::string> kind = element.Attribute("nodekind");
    // A name that could point outside its folder is treated like a missing one.
    if (!name || !IsSafeNodeName(*name) || !kind || kind->empty())
        return nullptr;

    struct stat entry{};
    if (folder < 0 || ::fstatat(folder, name->c_str(), &entry, 0) != 0)
        return nullptr;
    uint8_t nodekind;
    const std::string lowerKind = AsciiLower(*kind);
    if (lowerKind == "logo") {
        if (!S_ISREG(entry.st_mode))
            return nullptr;
        nodekind = nkLogo;
    } else if (lowerKind == "folder") {
        if (!S_ISDIR(entry.st_mode))
            return nullptr;
        nodekind = nkFolder;
    } else {
        return nullptr;
    }

    auto record = std::make_unique<TLogoDirObject>();
    record->nodekind = nodekind;
    record->nodename = *name;
    for (const TIntAttribute& a : kIntAttributes) {
        const std::optional<std::string> text = element.Attribute(a.name);
        const std::optional<int> value = text ? ParseInt32(*text) : std::nullopt;
        record.get()->*(a.field) = value.value_or(a.whenMissing);
    }
    // A hand-edited size would otherwise render a logo of any size, up to the
    // machine's memory; the frame that then no longer fits is placed anew when shown.
    record->logowidth = std::clamp(record->logowidth, kMinLogoSize, kMaxLogoSize);
    record->logoheight = std::clamp(record->logoheight, kMinLogoSize, kMaxLogoSize);
    record->fitkind = ReadFitKind(element.Attribute("fitkind"));
    record->keepproportions = element.Attribute("keepproportions") == std::optional<std::string>("yes");
    record->uploadurl = element.Attribute("uploadurl").value_or("");

    TLogoNode* node = tree.AddChild(receiver, *name, nodekind == nkFolder ? kFolderImage : kLogoImage,
                                    std::move(record));
    return nodekind == nkFolder ? node : nullptr;
}

// Builds the tree as the file streams past: a folder's children go below it, and an
// element that is not taken (an unknown element, a logo's children, an entry whose file
// is gone) is skipped with everything inside it.
class TLogoDirReader : public XmlStreamHandler {
public:
    TLogoDirReader(const std::string& appDir, TLogoTree& tree) : appDir_(appDir), tree_(tree) {}
    ~TLogoDirReader() override
    {
        for (const TLevel& level : levels_)
            CloseFolder(level.folder);
    }

    bool wrongRoot = false;

    bool StartElement(const XmlStartTag& tag) override
    {
        if (levels_.empty()) {
            if (tag.LowerName() != "logodirectory") {
                wrongRoot = true;
                return false;
            }
            levels_.push_back({tree_.Root(), OpenFolder(AT_FDCWD, GetFolderPath(appDir_, tree_.Root()))});
            return true;
        }
        const TLevel& level = levels_.back();
        TLogoNode* node = level.receiver ? AddNode(level.folder, tag, tree_, level.receiver) : nullptr;
        levels_.push_back({node, node ? OpenFolder(level.folder, node->Text()) : -1});
        return true;
    }

    void EndElement() override
    {
        CloseFolder(levels_.back().folder);
        levels_.pop_back();
    }

private:
    static int OpenFolder(int in, const std::string& name)
    {
        return in == -1 ? -1 : ::openat(in, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    static void CloseFolder(int folder)
    {
        if (folder >= 0)
            ::close(folder);
    }

    struct TLevel {
        TLogoNode* receiver;  // nullptr while an element is skipped
        int folder;           // the receiver's folder, open; -1 when it cannot be
    };
    const std::string& appDir_;
    TLogoTree& tree_;
    std::vector<TLevel> levels_;
};


// The message for a file that could not be read names the copy kept of it, so the user
// knows that nothing was thrown away.
std::string DamagedFileMessage(const char* message, const fs::path& file, bool& copied)
{
    std::string text = message;
    try {
        if (const std::optional<fs::path> copy = KeepDamagedCopy(file)) {
            copied = true;
            text += std::string("\n\n") + kMsgDamagedCopyKept + " \"" + copy->string() + "\".";
        }
    } catch (const std::exception&) {
        text += std::string("\n\n") + kMsgDamagedCopyFailed;
    }
    return text;
}

} // namespace

TLogoDirLoadResult LoadLogoDirectory(const std::string& appDir, TLogoTree& tree, TPrompts& prompts)
{
    const fs::path file = U8Path(appDir + kLogoDirectoryFile);
    std::error_code ec;
    if (!fs::exists(file, ec))
        return TLogoDirLoadResult::Missing;
    TLogoDirReader reader(appDir, tree);
    const char* message = nullptr;
    try {
        TLogoTree::TBulkChange bulk(tree);
        ReadXmlStream(file, reader);
        if (reader.wrongRoot)
            message = kMsgLogoDirCorrupt;
    } catch (const std::exception&) {
        message = kMsgLogoDirLoadError;
    }
    tree.Root()->SetExpanded(true);
    if (!message)
        return TLogoDirLoadResult::Loaded;
    bool copied = false;
    prompts.Error(DamagedFileMessage(message, file, copied));
    return copied ? TLogoDirLoadResult::SetAside : TLogoDirLoadResult::Unreadable;
}

namespace {

// Calls visit(node, depth) for every node below the root, in file order.
template <typename Visit>
void ForEachBelowRoot(const TLogoTree& tree, Visit&& visit)
{
    std::vector<std::pair<const TLogoNode*, size_t>> path{{tree.Root(), 0}};
    while (!path.empty()) {
        auto& [node, next] = path.back();
        if (next == node->Count()) {
            path.pop_back();
            continue;
        }
        const TLogoNode* child = node->Child(next++);
        visit(*child, static_cast<uint32_t>(path.size()));
        if (child->Count() > 0)
            path.emplace_back(child, 0);
    }
}

} // namespace

void TakeLogoDirSnapshot(const TLogoTree& tree, TLogoDirSnapshot& snapshot)
{
    // Sized before it is filled, in memory kept from the last time where it can be: growing
    // ten megabytes bit by bit costs the window more in copies and fresh pages than the copy.
    size_t entries = 0, bytes = 0;
    ForEachBelowRoot(tree, [&](const TLogoNode& node, uint32_t) {
        ++entries;
        bytes += node.Data()->nodename.size() + node.Data()->uploadurl.size();
    });
    snapshot.entries.clear();
    snapshot.texts.clear();
    snapshot.entries.reserve(entries);
    snapshot.texts.reserve(bytes);
    ForEachBelowRoot(tree, [&](const TLogoNode& node, uint32_t depth) {
        const TLogoDirObject& r = *node.Data();
        TLogoDirSnapshot::TEntry e{};
        e.depth = depth;
        e.nodekind = r.nodekind;
        e.fitkind = r.fitkind;
        e.keepproportions = r.keepproportions;
        for (size_t a = 0; a < std::size(kIntAttributes); ++a)
            e.numbers[a] = r.*(kIntAttributes[a].field);
        e.nameAt = snapshot.texts.size();
        e.nameLength = r.nodename.size();
        snapshot.texts += r.nodename;
        e.urlAt = snapshot.texts.size();
        e.urlLength = r.uploadurl.size();
        snapshot.texts += r.uploadurl;
        snapshot.entries.push_back(e);
    });
}

TLogoDirSnapshot TakeLogoDirSnapshot(const TLogoTree& tree)
{
    TLogoDirSnapshot snapshot;
    TakeLogoDirSnapshot(tree, snapshot);
    return snapshot;
}

std::string LogoDirectoryXml(const TLogoDirSnapshot& snapshot)
{
    XmlStreamWriter out;
    out.StartElement("logodirectory");
    uint32_t depth = 0;  // of the innermost element still open below the document's root
    for (const TLogoDirSnapshot::TEntry& e : snapshot.entries) {
        for (; depth >= e.depth; --depth)
            out.EndElement();
        out.StartElement("logodirnode");
        if (e.nodekind == nkFolder)
            out.Attribute("nodekind", "folder");
        else if (e.nodekind == nkLogo)
            out.Attribute("nodekind", "logo");
        const std::string_view texts = snapshot.texts;
        out.Attribute("nodename", texts.substr(e.nameAt, e.nameLength));
        for (size_t a = 0; a < std::size(kIntAttributes); ++a) {
            char digits[16];
            const auto end = std::to_chars(digits, digits + sizeof digits, e.numbers[a]).ptr;
            out.Attribute(kIntAttributes[a].name, std::string_view(digits, static_cast<size_t>(end - digits)));
        }
        if (e.fitkind <= fkBigger)
            out.Attribute("fitkind", kFitKindWords[e.fitkind]);
        out.Attribute("keepproportions", e.keepproportions ? "yes" : "no");
        out.Attribute("uploadurl", texts.substr(e.urlAt, e.urlLength));
        depth = e.depth;
    }
    for (; depth > 0; --depth)
        out.EndElement();
    out.EndElement();
    return out.Finish();
}

std::string LogoDirectoryXml(const TLogoTree& tree) { return LogoDirectoryXml(TakeLogoDirSnapshot(tree)); }

void WriteLogoDirectory(const std::string& appDir, const TLogoDirSnapshot& snapshot, bool keepDamagedCopy)
{
    const fs::path file = U8Path(appDir + kLogoDirectoryFile);
    // Never replace an unreadable file without a copy: it is the user's only record.
    if (keepDamagedCopy)
        KeepDamagedCopy(file);
    WriteFileAtomically(file, LogoDirectoryXml(snapshot));
}

bool SaveLogoDirectory(const std::string& appDir, const TLogoTree& tree, TPrompts& prompts, bool keepDamagedCopy)
{
    try {
        WriteLogoDirectory(appDir, TakeLogoDirSnapshot(tree), keepDamagedCopy);
        return true;
    } catch (const std::exception&) {
        prompts.Error(kMsgLogoDirSaveError);
        return false;
    }
}

} // namespace quillon
