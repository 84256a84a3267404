#include "app/ui/propertycontrols.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>

namespace quillon {

TPropertyControls::TPropertyControls(QComboBox* make, QComboBox* model, QSpinBox* width, QSpinBox* height,
                                     QButtonGroup* fitInto, QCheckBox* keep, std::function<void()> clearResults,
                                     std::function<void(const std::string&)> showUrl)
    : make_(make), model_(model), width_(width), height_(height), fitInto_(fitInto), keep_(keep),
      clearResults_(std::move(clearResults)), showUrl_(std::move(showUrl))
{
}

int TPropertyControls::MakeIndex() const { return make_->currentIndex(); }
void TPropertyControls::SetMakeIndex(int index) { make_->setCurrentIndex(index < make_->count() ? index : -1); }

void TPropertyControls::SetModelItems(const std::vector<std::string>& names)
{
    model_->clear();
    for (const std::string& n : names)
        model_->addItem(QString::fromStdString(n));
    model_->setCurrentIndex(-1);
}

int TPropertyControls::ModelIndex() const { return model_->currentIndex(); }
void TPropertyControls::SetModelIndex(int index) { model_->setCurrentIndex(index < model_->count() ? index : -1); }
int TPropertyControls::LogoWidth() const { return width_->value(); }
void TPropertyControls::SetLogoWidth(int value) { width_->setValue(value); }
int TPropertyControls::LogoHeight() const { return height_->value(); }
void TPropertyControls::SetLogoHeight(int value) { height_->setValue(value); }
int TPropertyControls::FitKind() const { return fitInto_->checkedId(); }

void TPropertyControls::SetFitKind(int kind)
{
    if (QAbstractButton* b = fitInto_->button(kind)) {
        b->setChecked(true);
        return;
    }
    // No item for that value: show none selected.
    fitInto_->setExclusive(false);
    if (QAbstractButton* checked = fitInto_->checkedButton())
        checked->setChecked(false);
    fitInto_->setExclusive(true);
}

bool TPropertyControls::KeepProportions() const { return keep_->isChecked(); }
void TPropertyControls::SetKeepProportions(bool keep) { keep_->setChecked(keep); }

} // namespace quillon
