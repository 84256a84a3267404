#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TSysAuthForm : public QDialog {
public:
    explicit TSysAuthForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("SysAuthForm");
        setWindowTitle("System Authorization");
    }
};

} // namespace quillon
