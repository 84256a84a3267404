#pragma once

#include "common/prompts.h"
#include "logodir/logotree.h"

#include <string>

namespace quillon {

inline constexpr const char* kLogoDirectoryFile = "logodirectory.xml";

enum class TLogoDirLoadResult {
    Missing,     // no file yet: the tree holds the root alone
    Loaded,
    // Wrong root element or not well-formed: reported, what was read before the fault kept.
    SetAside,    // ... and a copy of the file was kept beside it (logodirectory.xml.bad ...)
    Unreadable,  // ... and no copy could be made: the first save must make one
};

// Reads logodirectory.xml of appDir below the tree's root, dropping entries whose
// file or folder is gone. Reports damage through prompts, naming the copy it keeps.
TLogoDirLoadResult LoadLogoDirectory(const std::string& appDir, TLogoTree& tree, TPrompts& prompts);

// Writes the whole tree below the root. When keepDamagedCopy is set, the file that is
// about to be replaced could not be read at start-up: a copy of it is kept beside it
// first (logodirectory.xml.bad, or .bad2, .bad3 ... when that name is taken).
// Reports a failure through prompts; returns whether the file was written.
bool SaveLogoDirectory(const std::string& appDir, const TLogoTree& tree, TPrompts& prompts,
                       bool keepDamagedCopy = false);

// The document SaveLogoDirectory writes, for callers and tests that want the text.
std::string LogoDirectoryXml(const TLogoTree& tree);

} // namespace quillon
