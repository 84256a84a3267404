#pragma once

#include "common/prompts.h"
#include "imaging/bitmap.h"
#include "imaging/pictureformat.h"
#include "imaging/transforms.h"
#include "logodir/logotree.h"

#include <string>

namespace quillon {

enum class TTransformKind { Convert, Mirror, Rotate };

// One run of the convert, mirror or rotate command with the options that govern it.
struct TTransformRequest {
    TTransformKind kind = TTransformKind::Convert;
    int formatIndex = 0;  // convert: the target format (0..3)
    TMirrorDirection direction = TMirrorDirection::Horizontal;
    int angle = 90;
    int retainSource = 2;  // 0 ask, 1 retain, 2 delete
    bool askTargetName = false;
};

struct TTransformResult {
    // The node to show: the new node when the source was kept, the renamed one otherwise;
    // null when nothing changed (not a logo, cancelled, or a reported failure).
    TLogoNode* node = nullptr;
    bool added = false;
};

// Writes the picture of the logo node converted, mirrored or rotated into the logo's
// folder and updates the tree: a new node after the old one when the source file is
// kept, the old node renamed when it is deleted (an old file already gone counts as
// deleted). No file is left that no node names: when the old file cannot be deleted, the
// new one is removed again. Asks and reports through prompts.
// picture is the logo's file decoded. A JPEG is mirrored and rotated from the file itself
// without re-encoding where that is exact (WriteMirroredFile, WriteRotatedFile).
// progress, when given, is told how far the writing of a PNG file has come.
TTransformResult TransformLogoFile(const std::string& appDir, TLogoTree& tree, TLogoNode* node,
                                   const TBitmap& picture, const TTransformRequest& request, TPrompts& prompts,
                                   const TEncodeProgress& progress = {});

// The format a transform writes: the chosen one for convert, the format of the logo's
// own name for mirror and rotate.
int TargetFormatIndex(const TTransformRequest& request, const std::string& oldName);

// Whether the old file goes once the new one is written. Convert always deletes it
// when deleting; mirror and rotate only when the user named the new file differently
// (otherwise the new file took the old name). Names that differ in case only are one
// file to the program: on a file system that tells them apart the old one is removed
// too, so no stray copy stays behind. Never true for the very file just written.
bool ShouldDeleteSource(const TTransformRequest& request, const std::string& oldPath, const std::string& newPath);

} // namespace quillon
