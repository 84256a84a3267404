#pragma once

#include "logodir/logosettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QSpinBox;

namespace quillon {

// The logo property controls of the main window as the settings logic sees them.
class TPropertyControls : public TLogoPropertyView {
public:
    TPropertyControls(QComboBox* make, QComboBox* model, QSpinBox* width, QSpinBox* height, QButtonGroup* fitInto,
                      QCheckBox* keep, std::function<void()> clearResults, std::function<void(const std::string&)> showUrl);

    int MakeIndex() const override;
    void SetMakeIndex(int index) override;
    void SetModelItems(const std::vector<std::string>& names) override;
    int ModelIndex() const override;
    void SetModelIndex(int index) override;
    int LogoWidth() const override;
    void SetLogoWidth(int value) override;
    int LogoHeight() const override;
    void SetLogoHeight(int value) override;
    int FitKind() const override;
    void SetFitKind(int kind) override;
    bool KeepProportions() const override;
    void SetKeepProportions(bool keep) override;
    void ClearResultFields() override { clearResults_(); }
    void ShowUploadUrl(const std::string& url) override { showUrl_(url); }

private:
    QComboBox* make_;
    QComboBox* model_;
    QSpinBox* width_;
    QSpinBox* height_;
    QButtonGroup* fitInto_;
    QCheckBox* keep_;
    std::function<void()> clearResults_;
    std::function<void(const std::string&)> showUrl_;
};

} // namespace quillon
