#pragma once

#include "common/prompts.h"
#include "imaging/bitmap.h"
#include "logodir/logotree.h"

#include <string>

namespace quillon {

// Writes a picture that came from a scanner or the screen into the folder of selected
// (the root when null, a logo's parent folder for a logo) and adds a logo node for it as
// the folder's last child, its record copied from newLogoTemplate. fileName is the name
// the user settled on with the format's extension ("scan.old.png"); its base is made
// unique in the folder, and the extension decides the format (".jpg", ".gif", ".png",
// else a bitmap). A write failure is shown with its own text and adds no node.
// Returns the new node, or null after a reported failure.
TLogoNode* AddAcquiredPicture(const std::string& appDir, TLogoTree& tree, TLogoNode* selected,
                              const std::string& fileName, const TBitmap& picture,
                              const TLogoDirObject& newLogoTemplate, TPrompts& prompts);

// The name question of the import and grab commands: asks until the answer is a usable
// file name (an empty answer asks again silently, one that would lead out of the folder
// after a warning). False when the user cancelled.
bool AskAcquiredPictureName(TPrompts& prompts, const std::string& title, const std::string& prompt,
                            std::string& name);

} // namespace quillon
