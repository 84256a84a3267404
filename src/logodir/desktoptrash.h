#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Moves a deleted picture to the user's trash, where the desktop's file manager can restore
// it: the home trash ($XDG_DATA_HOME/Trash) for a file on its volume, the volume's own trash
// ($topdir/.Trash/$uid or $topdir/.Trash-$uid) for a file elsewhere. No trash is made at or
// below noTrashIn (the application's folder, which holds the logo directory). Deletes the
// file only where no trash can take it. True when the file is gone from where it was.
bool MoveFileToTrash(const std::string& path, const std::string& noTrashIn = {});

// The Path= value of a trash entry: the original path percent-encoded as a URL path is
// ("/" kept), relative to topDir for a volume's own trash, absolute for the home trash.
// Readers decode it, so a raw "%" or newline would bring the file back elsewhere or not at all.
std::string TrashInfoPath(std::string_view originalPath, std::string_view topDir = {});

} // namespace quillon
