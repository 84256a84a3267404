#include "imaging/ui/fileformatchoiceform.h"

#include "imaging/pictureformat.h"
#include "imaging/picturemessages.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace quillon {

TFileFormatChoiceForm::TFileFormatChoiceForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("FileFormatChoiceForm");
    setWindowTitle(kCaptionFormatChoice);
    auto* label = new QLabel(kLabelFormatChoice, this);
    fileFormatComboBox_ = new QComboBox(this);
    fileFormatComboBox_->setObjectName("FileFormatComboBox");
    for (const char* caption : kFormatCaptions)
        fileFormatComboBox_->addItem(caption);
    fileFormatComboBox_->setCurrentIndex(pfPNG);
    label->setBuddy(fileFormatComboBox_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(fileFormatComboBox_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border
}

int TFileFormatChoiceForm::FormatIndex() const { return fileFormatComboBox_->currentIndex(); }

bool TFileFormatChoiceForm::Execute(int& formatIndex)
{
    if (exec() != QDialog::Accepted)
        return false;
    formatIndex = FormatIndex();
    return true;
}

} // namespace quillon
