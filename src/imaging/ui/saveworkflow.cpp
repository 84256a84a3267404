#include "imaging/ui/saveworkflow.h"

#include "common/error.h"
#include "imaging/picturefiles.h"
#include "imaging/picturemessages.h"
#include "imaging/picturewriters.h"

#include <filesystem>

namespace quillon {

void TSaveWorkflow::SaveLogo()
{
    TLogoNode* node = host_.selectedNode();
    const TSourceImage* image = host_.sourceImage();
    if (!node || !node->Data() || node->Data()->nodekind != nkLogo || !image)
        return;
    if (!image->FrameCoversPicture()) {
        prompts_.Warning(kMsgNoPictureInSelection);
        return;
    }
    const std::string target = host_.askSaveFile(node->Text(), lastSaveFolder_, kSaveFilter, kSaveDefaultExtension);
    if (target.empty())
        return;
    const auto path = std::filesystem::u8path(target);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) &&
        !prompts_.Confirm(std::string(kMsgOverwritePrefix) + target + kMsgOverwriteSuffix))
        return;

    TLogoFileSettings settings;
    if (const TOptions* o = host_.options()) {
        settings.jpegQuality = o->jpegquality;
        settings.gifBitDepth = o->gifbitdepth;
    }
    try {
        // A logo whose name has none of the four extensions was read as a bitmap; it is
        // written as one rather than reported saved with nothing written.
        if (!WriteLogoFile(target, node->Text(), image->LogoPicture(), settings))
            SavePicture(target, image->LogoPicture(), pfBMP);
    } catch (const QuillonError&) {
        prompts_.Error(kMsgSaveError);
        return;
    }
    lastSaveFolder_ = path.parent_path().string();
}

} // namespace quillon
