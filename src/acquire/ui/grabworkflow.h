#pragma once

#include "acquire/ui/acquiredpictureadder.h"

#include <functional>
#include <optional>

class QWidget;

namespace quillon {

class TGrabScreenForm;
struct TOptions;

// The screen grab: a rectangle of the primary screen, chosen over a frozen picture of
// it while the main window is out of the way, becomes a new logo.
class TGrabWorkflow {
public:
    using TGrabScreen = std::function<std::optional<TBitmap>()>;

    TGrabWorkflow(TAcquiredPictureAdder& adder, TPrompts& prompts, const TOptions& options, TGrabScreenForm& form,
                  QWidget* mainWindow, TGrabScreen grabScreen);

    void GrabFromScreenToolButtonClick();
    // Stores picture, the grabbed part of the screen, as a new logo named fileName.
    TLogoNode* AddGrabbedImage(const TBitmap& picture, const std::string& fileName);

private:
    void HideMainWindow();
    void ShowMainWindow();

    TAcquiredPictureAdder& adder_;
    TPrompts& prompts_;
    const TOptions& options_;
    TGrabScreenForm& form_;
    QWidget* mainWindow_;
    TGrabScreen grabScreen_;
};

} // namespace quillon
