#pragma once

#include <string>

namespace quillon {

// Removes the temporary files that a crash during a save left beside appstate.xml,
// options.xml, logodirectory.xml and windowlayout.xml. Call it only once this copy of the program is the
// only one running, so no save of another copy is in progress.
void RemoveStaleApplicationTemporaries(const std::string& appDir);

} // namespace quillon
