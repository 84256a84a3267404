#include "logodir/nodepaths.h"

#include "common/error.h"
#include "common/text.h"
#include "logodir/messages.h"

namespace quillon {

std::string GetFolderPath(const std::string& appDir, const TLogoNode* node)
{
    while (node && node->Data() && node->Data()->nodekind == nkLogo)
        node = node->Parent();
    std::string path;
    for (const TLogoNode* n = node; n; n = n->Parent())
        path = n->Text() + kPathSeparator + path;
    return appDir + path;
}

std::string GetNodePath(const std::string& appDir, const TLogoNode* node)
{
    std::string path;
    for (const TLogoNode* n = node; n; n = n->Parent())
        path = path.empty() ? n->Text() : n->Text() + kPathSeparator + path;
    return appDir + path;
}

std::string GetLogoFileName(const std::string& appDir, const TLogoNode* node)
{
    if (!node || !node->Data() || node->Data()->nodekind != nkLogo)
        throw QuillonError(kMsgNotALogoNode);
    return GetNodePath(appDir, node);
}

std::string BaseName(const std::string& name)
{
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

namespace {

bool ChildHasBaseName(const TLogoNode* folder, const std::string& base)
{
    for (size_t i = 0; i < folder->Count(); ++i) {
        if (SameTextAscii(BaseName(folder->Child(i)->Text()), base))
            return true;
    }
    return false;
}

std::string UniqueWith(const TLogoNode* folder, const std::string& first, const std::string& prefix)
{
    std::string candidate = first;
    for (int counter = 2; ChildHasBaseName(folder, candidate); ++counter)
        candidate = prefix + std::to_string(counter);
    return candidate;
}

} // namespace

std::string MakeUniqueName(const TLogoNode* folder, const std::string& base)
{
    return UniqueWith(folder, base, base);
}

std::string MakeNewFolderName(const TLogoNode* folder)
{
    return UniqueWith(folder, "New Folder", "New Folder ");
}

bool IsNameFree(const TLogoNode* folder, const std::string& name)
{
    return !ChildHasBaseName(folder, name);
}

bool IsNameFreeExcept(const TLogoNode* folder, const std::string& name, const std::string& exception)
{
    for (size_t i = 0; i < folder->Count(); ++i) {
        const std::string base = BaseName(folder->Child(i)->Text());
        if (SameTextAscii(base, name) && !SameTextAscii(base, exception))
            return false;
    }
    return true;
}

bool IsSafeNodeName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace quillon
