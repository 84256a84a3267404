#pragma once

#include "imaging/ui/picturepropsform.h"

namespace quillon {

// The GIF bit depth preview shown before a GIF logo is uploaded. Created at start-up and
// kept for the whole run.
class TGIFPropsForm : public TPicturePropsForm {
    Q_OBJECT
public:
    explicit TGIFPropsForm(QWidget* parent = nullptr);

protected:
    QString ValueText(int value) const override;
    TPictureFormat Format() const override { return pfGIF; }
    TEncodeSettings Settings(int value) const override;
    void Load(const TOptions& options, int& value, bool& show) const override;
    void Store(TOptions& options, int value, bool show) const override;
};

} // namespace quillon
