#include "app/commandstates.h"

#include "imaging/pictureformat.h"
#include "logodir/logotree.h"

namespace quillon {

namespace {

// The convert-to item a picture's own format hides: 0 BMP, 1 JPG, 2 GIF, 3 PNG; -1 for
// a name whose extension is none of them.
int FormatIndexOf(const std::string& name)
{
    return HasKnownPictureExtension(name) ? static_cast<int>(PictureFormatOfName(name)) : -1;
}

} // namespace

std::string UploadCaption(const TLogoNode* node, bool uploadRunning)
{
    if (uploadRunning)
        return "Stop upload";
    return node && node->Data() && !node->Data()->uploadurl.empty() ? "Upload again" : "Upload";
}

TCommandStates ComputeCommandStates(const TCommandContext& c)
{
    const TLogoNode* n = c.selected ? c.selected : c.firstNode;
    const bool logo = n && n->Data() && n->Data()->nodekind == nkLogo;
    const bool root = !n || n->IsRoot();
    const bool u = c.uploadRunning;

    TCommandStates s;
    s.save = logo;
    s.importFromTwain = c.twainAvailable;
    s.grabFromScreen = !u;
    s.upload = logo || u;
    s.rename = !root;
    s.remove = !root && !u;
    s.convert = s.mirror = s.rotate = logo && !u;
    s.fitToPane = logo;
    s.sendToFriend = !c.sendRunning;
    s.logoProperties = logo && !u;
    if (s.convert) {
        const int own = FormatIndexOf(n->Text());
        for (int i = 0; i < 4; ++i)
            s.convertToVisible[i] = i != own;
    }
    s.uploadCaption = UploadCaption(n, u);
    return s;
}

} // namespace quillon
