#pragma once

#include <QDialog>

class QComboBox;

namespace quillon {

// Asks which format an imported or grabbed picture is written in. Created at start-up
// and kept for the whole run, so the format chosen last is offered again.
class TFileFormatChoiceForm : public QDialog {
    Q_OBJECT
public:
    explicit TFileFormatChoiceForm(QWidget* parent = nullptr);

    // Shows the dialog; true with the chosen format index (0..3) on OK.
    bool Execute(int& formatIndex);
    int FormatIndex() const;

private:
    QComboBox* fileFormatComboBox_ = nullptr;
};

} // namespace quillon
