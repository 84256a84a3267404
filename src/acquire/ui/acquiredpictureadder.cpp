#include "acquire/ui/acquiredpictureadder.h"

#include "acquire/acquiredpicture.h"
#include "imaging/pictureformat.h"
#include "imaging/ui/fileformatchoiceform.h"
#include "options/options.h"

namespace quillon {

TAcquiredPictureAdder::TAcquiredPictureAdder(std::string appDir, TPrompts& prompts,
                                             TFileFormatChoiceForm& formatChoice, TAcquiredPictureHost host)
    : appDir_(std::move(appDir)), prompts_(prompts), formatChoice_(formatChoice), host_(std::move(host))
{
}

std::string TAcquiredPictureAdder::AskFileName(const TAcquiredPictureNaming& naming, bool askName, int formatChoice)
{
    std::string name = naming.defaultName;
    if (askName && !AskAcquiredPictureName(prompts_, naming.title, naming.prompt, name))
        return {};
    int formatIndex = formatChoice;
    if (formatChoice < ffBMP || formatChoice > ffPNG) {
        if (!formatChoice_.Execute(formatIndex))
            return {};
    }
    return name + PictureExtension(formatIndex);
}

TLogoNode* TAcquiredPictureAdder::AddPicture(const TBitmap& picture, const std::string& fileName)
{
    TLogoNode* node = AddAcquiredPicture(appDir_, *host_.tree, host_.selectedNode(), fileName, picture,
                                         host_.newLogoTemplate(), prompts_);
    if (node)
        host_.selectNode(node);
    return node;
}

TLogoNode* TAcquiredPictureAdder::Add(const TBitmap& picture, const TAcquiredPictureNaming& naming, bool askName,
                                      int formatChoice)
{
    const std::string fileName = AskFileName(naming, askName, formatChoice);
    return fileName.empty() ? nullptr : AddPicture(picture, fileName);
}

} // namespace quillon
