#pragma once

#include <string>

namespace quillon {

class TLogoNode;

// Which commands can run now. One function of the selection and of what runs in the
// background decides for every control that offers a command.
struct TCommandStates {
    bool save = false;
    bool importFromTwain = false;
    bool grabFromScreen = false;
    bool upload = false;
    bool rename = false;
    bool remove = false;  // Delete
    bool convert = false;
    bool mirror = false;
    bool rotate = false;
    bool fitToPane = false;
    bool sendToFriend = false;
    bool logoProperties = false;  // make, model, width, height, fit kind, proportions
    // The convert-to item of the picture's own format is hidden (BMP, JPG, GIF, PNG).
    bool convertToVisible[4] = {true, true, true, true};
    std::string uploadCaption = "Upload";

    bool operator==(const TCommandStates&) const = default;
};

struct TCommandContext {
    const TLogoNode* selected = nullptr;  // null: the tree's first node counts
    const TLogoNode* firstNode = nullptr;
    bool uploadRunning = false;
    bool sendRunning = false;
    bool twainAvailable = false;
};

TCommandStates ComputeCommandStates(const TCommandContext& context);

// "Stop upload" while an upload runs, "Upload again" for a node that has been uploaded.
std::string UploadCaption(const TLogoNode* node, bool uploadRunning);

} // namespace quillon
