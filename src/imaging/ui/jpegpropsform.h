#pragma once

#include "imaging/ui/picturepropsform.h"

namespace quillon {

// The JPEG quality preview shown before a JPEG logo is uploaded. Created at start-up and
// kept for the whole run.
class TJPEGPropsForm : public TPicturePropsForm {
    Q_OBJECT
public:
    explicit TJPEGPropsForm(QWidget* parent = nullptr);

protected:
    int Snap(int position) const override;
    QString ValueText(int value) const override;
    TPictureFormat Format() const override { return pfJPEG; }
    TEncodeSettings Settings(int value) const override;
    void Load(const TOptions& options, int& value, bool& show) const override;
    void Store(TOptions& options, int value, bool show) const override;
};

} // namespace quillon
