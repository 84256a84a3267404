#pragma once

#include <filesystem>
#include <initializer_list>
#include <string_view>

namespace quillon {

// Writes data to a temporary file in the target's folder and renames it over the
// target, so a crash or a full disk never leaves half a file in place of the old one.
// ownerOnly creates the file readable and writable by its owner alone.
// Throws QuillonError with the system's text on failure; the old file is then untouched.
// The folder is synced after the rename, so the new file survives a power loss. When
// target is a symbolic link, the file it names is replaced and the link stays.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view data,
                         bool ownerOnly = false);

// True when name is one of the temporary files WriteFileAtomically makes for file
// (".file.XXXXXX").
bool IsTemporaryFileOf(std::string_view name, std::string_view file);

// Removes from folder the temporary files a crash left behind for the named files. Only
// call it when no other copy of the program can be writing them. Failures are ignored:
// a leftover costs disk space, nothing else.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder,
                               std::initializer_list<std::string_view> files);

} // namespace quillon
