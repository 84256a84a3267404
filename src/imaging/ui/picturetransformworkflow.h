#pragma once

#include "common/prompts.h"
#include "imaging/bitmap.h"
#include "imaging/picturetransform.h"
#include "imaging/transforms.h"
#include "logodir/logotree.h"
#include "options/options.h"

#include <functional>
#include <string>

class QWidget;

namespace quillon {

// What the convert, mirror and rotate commands need from the window that runs them.
struct TTransformHost {
    std::function<TLogoNode*()> selectedNode;        // the root when nothing is selected
    std::function<const TBitmap*()> sourcePicture;   // the decoded picture shown, or null
    std::function<const TOptions*()> options;
    std::function<void(TLogoNode*)> selectNode;      // selects a node that was just added
    std::function<void(TLogoNode*)> reshowNode;      // deselects and selects it again
    std::function<void()> updateCommandStates;
    std::function<QWidget*()> window;                // what a progress display is modal to
};

// The convert, mirror and rotate commands: the options decide, the core writes.
class TPictureTransformWorkflow {
public:
    TPictureTransformWorkflow(std::string appDir, TLogoTree& tree, TPrompts& prompts, TTransformHost host)
        : appDir_(std::move(appDir)), tree_(tree), prompts_(prompts), host_(std::move(host))
    {
    }

    void ConvertLogoFile(int formatIndex);
    void MirrorLogoFile(TMirrorDirection direction);
    void RotateLogoFile(int angle);

private:
    void Run(const TTransformRequest& request);

    std::string appDir_;
    TLogoTree& tree_;
    TPrompts& prompts_;
    TTransformHost host_;
};

} // namespace quillon
