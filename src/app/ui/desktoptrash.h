#pragma once

#include <string>

namespace quillon {

// Moves a deleted picture to the user's trash (the freedesktop trash under
// $XDG_DATA_HOME/Trash), where the desktop's file manager can restore it; deletes it only
// where no trash can take it. True when the file is gone from where it was.
bool MoveFileToTrash(const std::string& path);

} // namespace quillon
