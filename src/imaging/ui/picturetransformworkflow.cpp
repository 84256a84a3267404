#include "imaging/ui/picturetransformworkflow.h"

#include "common/error.h"
#include "imaging/picturefiles.h"
#include "imaging/ui/writeprogress.h"
#include "logodir/nodepaths.h"

namespace quillon {

void TPictureTransformWorkflow::ConvertLogoFile(int formatIndex)
{
    const TOptions* o = host_.options();
    Run({TTransformKind::Convert, formatIndex, TMirrorDirection::Horizontal, 90, o ? o->convertretainsource : rsDelete,
         o && o->convertasktargetname});
    // The "Convert to" items follow the new current format.
    host_.updateCommandStates();
}

void TPictureTransformWorkflow::MirrorLogoFile(TMirrorDirection direction)
{
    const TOptions* o = host_.options();
    Run({TTransformKind::Mirror, 0, direction, 90, o ? o->mirrorretainsource : rsDelete, o && o->mirrorasktargetname});
}

void TPictureTransformWorkflow::RotateLogoFile(int angle)
{
    const TOptions* o = host_.options();
    Run({TTransformKind::Rotate, 0, TMirrorDirection::Horizontal, angle, o ? o->rotateretainsource : rsDelete,
         o && o->rotateasktargetname});
}

void TPictureTransformWorkflow::Run(const TTransformRequest& request)
{
    TLogoNode* node = host_.selectedNode();
    if (!node || !node->Data() || node->Data()->nodekind != nkLogo)
        return;
    // The picture on screen is the one transformed; a logo that could not be shown has
    // no decoded picture, and its file is tried once more so the failure is reported.
    TBitmap loaded;
    const TBitmap* picture = host_.sourcePicture();
    if (!picture) {
        try {
            loaded = LoadPicture(GetLogoFileName(appDir_, node));
        } catch (const QuillonError& e) {
            prompts_.Error(e.what());
            return;
        }
        picture = &loaded;
    }
    // A PNG of many megapixels takes a second or more to write.
    TWriteProgress progress(host_.window ? host_.window() : nullptr);
    const TTransformResult result =
        TransformLogoFile(appDir_, tree_, node, *picture, request, prompts_, progress.Callback());
    if (!result.node)
        return;
    if (result.added)
        host_.selectNode(result.node);
    else
        host_.reshowNode(result.node);
}

} // namespace quillon
