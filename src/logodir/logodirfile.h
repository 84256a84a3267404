#pragma once

#include "common/prompts.h"
#include "logodir/logotree.h"

#include <cstdint>
#include <string>
#include <vector>

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

// What the directory file would say, copied from the tree in file order without a string
// per node, so it is taken on the window's thread in a moment and written on another.
struct TLogoDirSnapshot {
    struct TEntry {
        uint32_t depth;  // 1 for the children of the root
        uint8_t nodekind;
        uint8_t fitkind;
        bool keepproportions;
        int32_t numbers[8];  // the frame, the phone and the logo size, in the file's order
        size_t nameAt, nameLength, urlAt, urlLength;  // in texts
    };
    std::vector<TEntry> entries;
    std::string texts;
};
TLogoDirSnapshot TakeLogoDirSnapshot(const TLogoTree& tree);
// The same into a snapshot whose memory is used again.
void TakeLogoDirSnapshot(const TLogoTree& tree, TLogoDirSnapshot& snapshot);
std::string LogoDirectoryXml(const TLogoDirSnapshot& snapshot);
// Writes the snapshot as SaveLogoDirectory writes the tree; throws on failure.
void WriteLogoDirectory(const std::string& appDir, const TLogoDirSnapshot& snapshot, bool keepDamagedCopy);

} // namespace quillon
