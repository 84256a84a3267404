#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TAccessURLHintForm : public QDialog {
public:
    explicit TAccessURLHintForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("AccessURLHintForm");
        setWindowTitle("Access URL Hint");
    }
};

} // namespace quillon
