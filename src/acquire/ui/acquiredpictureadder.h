#pragma once

#include "common/prompts.h"
#include "imaging/bitmap.h"
#include "logodir/logotree.h"

#include <functional>
#include <string>

namespace quillon {

class TFileFormatChoiceForm;

// How one command names the pictures it brings in.
struct TAcquiredPictureNaming {
    const char* defaultName;  // the name offered first, without extension
    const char* title;        // of the name question
    const char* prompt;
};

// What the main window lends to the commands that add pictures from outside.
struct TAcquiredPictureHost {
    TLogoTree* tree = nullptr;
    std::function<TLogoNode*()> selectedNode;
    std::function<const TLogoDirObject&()> newLogoTemplate;
    std::function<void(TLogoNode*)> selectNode;
};

// Turns a picture from a scanner or the screen into a new logo: the name and format
// questions the options ask for, then the file, the node and its selection. The import
// and grab commands share it, so their pictures arrive by the same rules.
class TAcquiredPictureAdder {
public:
    TAcquiredPictureAdder(std::string appDir, TPrompts& prompts, TFileFormatChoiceForm& formatChoice,
                          TAcquiredPictureHost host);

    // The file name with its extension: the default name, or the user's answer when
    // askName; the extension of formatChoice (ffBMP..ffPNG), or the one picked in the
    // format choice for ffAsk. Empty when the user cancelled either question.
    std::string AskFileName(const TAcquiredPictureNaming& naming, bool askName, int formatChoice);

    // Writes picture under fileName (made unique) in the selected folder and selects its
    // new logo; null after a reported failure.
    TLogoNode* AddPicture(const TBitmap& picture, const std::string& fileName);

    // Both of the above.
    TLogoNode* Add(const TBitmap& picture, const TAcquiredPictureNaming& naming, bool askName, int formatChoice);

private:
    std::string appDir_;
    TPrompts& prompts_;
    TFileFormatChoiceForm& formatChoice_;
    TAcquiredPictureHost host_;
};

} // namespace quillon
