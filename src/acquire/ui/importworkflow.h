#pragma once

#include "acquire/ui/acquiredpictureadder.h"

class QWidget;

namespace quillon {

class TScanner;
struct TOptions;

// The import commands: a picture from the scanner interface becomes a new logo.
class TImportWorkflow {
public:
    // mainWindow: the scanner's dialogs are its children; toolBar: its hints are off
    // while the scanner runs.
    TImportWorkflow(TScanner& scanner, TAcquiredPictureAdder& adder, const TOptions& options, QWidget* mainWindow,
                    QWidget* toolBar);

    void AcquireImageMenuItemClick();
    void SelectSourceMenuItemClick();
    // Stores picture as a new logo named fileName (with its extension).
    TLogoNode* AddTWAINImage(const TBitmap& picture, const std::string& fileName);

private:
    TScanner& scanner_;
    TAcquiredPictureAdder& adder_;
    const TOptions& options_;
    QWidget* mainWindow_;
    QWidget* toolBar_;
};

} // namespace quillon
