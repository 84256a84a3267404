#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TPictureDownloadForm : public QDialog {
public:
    explicit TPictureDownloadForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("PictureDownloadForm");
        setWindowTitle("Picture Download");
    }
};

} // namespace quillon
