#pragma once

#include "logodir/logotree.h"

#include <string>

namespace quillon {

// Paths are UTF-8 strings; the application directory carries a trailing "/".
inline constexpr char kPathSeparator = '/';

std::string GetFolderPath(const std::string& appDir, const TLogoNode* node);
std::string GetNodePath(const std::string& appDir, const TLogoNode* node);
// Throws QuillonError for a node that is not a logo.
std::string GetLogoFileName(const std::string& appDir, const TLogoNode* node);

std::string BaseName(const std::string& name);
std::string MakeUniqueName(const TLogoNode* folder, const std::string& base);
std::string MakeNewFolderName(const TLogoNode* folder);
bool IsNameFree(const TLogoNode* folder, const std::string& name);
bool IsNameFreeExcept(const TLogoNode* folder, const std::string& name, const std::string& exception);

// A name that may stand for a file or folder inside its parent folder: not empty,
// not "." or "..", and without "/" or NUL, so it can never lead outside the folder.
bool IsSafeNodeName(const std::string& name);

} // namespace quillon
