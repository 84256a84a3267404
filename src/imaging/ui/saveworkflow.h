#pragma once

#include "common/prompts.h"
#include "imaging/sourceimage.h"
#include "logodir/logotree.h"
#include "options/options.h"

#include <functional>
#include <string>

namespace quillon {

// What the Save command needs from the window that runs it.
struct TSaveHost {
    std::function<TLogoNode*()> selectedNode;
    std::function<const TSourceImage*()> sourceImage;  // the logo on screen, or null
    std::function<const TOptions*()> options;
    // The save dialog (fileName, folder, filter, default extension); empty: cancelled.
    std::function<std::string(const std::string&, const std::string&, const std::string&, const std::string&)>
        askSaveFile;
};

// The Save command: writes the rendered logo where the user chooses, in the format of
// the logo's own name.
class TSaveWorkflow {
public:
    TSaveWorkflow(TPrompts& prompts, TSaveHost host) : prompts_(prompts), host_(std::move(host)) {}

    void SaveLogo();
    // The folder of the last file saved; the dialog opens there next time.
    const std::string& LastSaveFolder() const { return lastSaveFolder_; }

private:
    TPrompts& prompts_;
    TSaveHost host_;
    std::string lastSaveFolder_;
};

} // namespace quillon
