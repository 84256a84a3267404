#include "logodir/logodirfile.h"

#include "common/atomicfile.h"
#include "common/error.h"
#include "common/text.h"
#include "common/xml.h"
#include "logodir/messages.h"
#include "logodir/nodepaths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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

void SaveLogoDirNode(const TLogoNode* node, XmlElement receiver)
{
    const TLogoDirObject& r = *node->Data();
    XmlElement e = receiver.AppendChild("logodirnode");
    if (r.nodekind == nkFolder)
        e.SetAttribute("nodekind", "folder");
    else if (r.nodekind == nkLogo)
        e.SetAttribute("nodekind", "logo");
    e.SetAttribute("nodename", r.nodename);
    for (const TIntAttribute& a : kIntAttributes)
        e.SetAttribute(a.name, std::to_string(r.*(a.field)));
    if (r.fitkind <= fkBigger)
        e.SetAttribute("fitkind", kFitKindWords[r.fitkind]);
    e.SetAttribute("keepproportions", r.keepproportions ? "yes" : "no");
    e.SetAttribute("uploadurl", r.uploadurl);
    for (size_t i = 0; i < node->Count(); ++i)
        SaveLogoDirNode(node->Child(i), e);
}

void KeepDamagedCopy(const fs::path& file)
{
    std::error_code ec;
    if (!fs::exists(file, ec))
        return;
    fs::path copy = file;
    copy += ".bad";
    for (int n = 2; fs::exists(copy, ec); ++n) {
        copy = file;
        copy += ".bad" + std::to_string(n);
    }
    fs::copy_file(file, copy, ec);
    if (ec)
        throw QuillonError("Cannot keep a copy of " + file.string() + ": " + ec.message());
}

} // namespace

void LoadLogoDirNode(const std::string& appDir, const XmlElement& element, TLogoTree& tree, TLogoNode* receiver)
{
    if (element.LowerName() != "logodirnode")
        return;
    const std::optional<std::string> name = element.Attribute("nodename");
    const std::optional<std::string> kind = element.Attribute("nodekind");
    // A name that could point outside its folder is treated like a missing one.
    if (!name || !IsSafeNodeName(*name) || !kind || kind->empty())
        return;

    const fs::path path = U8Path(GetFolderPath(appDir, receiver) + *name);
    std::error_code ec;
    uint8_t nodekind;
    const std::string lowerKind = AsciiLower(*kind);
    if (lowerKind == "logo") {
        if (!fs::is_regular_file(path, ec))
            return;
        nodekind = nkLogo;
    } else if (lowerKind == "folder") {
        if (!fs::is_directory(path, ec))
            return;
        nodekind = nkFolder;
    } else {
        return;
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
    if (nodekind == nkFolder) {
        for (const XmlElement& child : element.ChildElements())
            LoadLogoDirNode(appDir, child, tree, node);
    }
}

TLogoDirLoadResult LoadLogoDirectory(const std::string& appDir, TLogoTree& tree, TPrompts& prompts)
{
    const fs::path file = U8Path(appDir + kLogoDirectoryFile);
    std::error_code ec;
    if (!fs::exists(file, ec))
        return TLogoDirLoadResult::Missing;
    try {
        XmlDocument doc = XmlDocument::Load(file);
        XmlElement root = doc.Root();
        if (root.LowerName() != "logodirectory") {
            prompts.Error(kMsgLogoDirCorrupt);
            return TLogoDirLoadResult::Unreadable;
        }
        for (const XmlElement& child : root.ChildElements())
            LoadLogoDirNode(appDir, child, tree, tree.Root());
        tree.Root()->SetExpanded(true);
        return TLogoDirLoadResult::Loaded;
    } catch (const std::exception&) {
        prompts.Error(kMsgLogoDirLoadError);
        return TLogoDirLoadResult::Unreadable;
    }
}

std::string LogoDirectoryXml(const TLogoTree& tree)
{
    XmlDocument doc = XmlDocument::Create("logodirectory");
    for (size_t i = 0; i < tree.Root()->Count(); ++i)
        SaveLogoDirNode(tree.Root()->Child(i), doc.Root());
    return doc.ToString();
}

bool SaveLogoDirectory(const std::string& appDir, const TLogoTree& tree, TPrompts& prompts, bool keepDamagedCopy)
{
    const fs::path file = U8Path(appDir + kLogoDirectoryFile);
    try {
        // Never replace an unreadable file without a copy: it is the user's only record.
        if (keepDamagedCopy)
            KeepDamagedCopy(file);
        WriteFileAtomically(file, LogoDirectoryXml(tree));
        return true;
    } catch (const std::exception&) {
        prompts.Error(kMsgLogoDirSaveError);
        return false;
    }
}

} // namespace quillon
