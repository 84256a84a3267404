#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TFileFormatChoiceForm : public QDialog {
public:
    explicit TFileFormatChoiceForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("FileFormatChoiceForm");
        setWindowTitle("Graphic file format choice");
    }
};

} // namespace quillon
