#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TNewAppVerDownloadRequestForm : public QDialog {
public:
    explicit TNewAppVerDownloadRequestForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("NewAppVerDownloadRequestForm");
        setWindowTitle("New Version Download");
    }
};

} // namespace quillon
