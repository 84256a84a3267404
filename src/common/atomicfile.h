#pragma once

#include <filesystem>
#include <string_view>

namespace quillon {

// Writes data to a temporary file in the target's folder and renames it over the
// target, so a crash or a full disk never leaves half a file in place of the old one.
// ownerOnly creates the file readable and writable by its owner alone.
// Throws QuillonError with the system's text on failure; the old file is then untouched.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view data,
                         bool ownerOnly = false);

} // namespace quillon
