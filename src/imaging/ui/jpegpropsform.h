#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TJPEGPropsForm : public QDialog {
public:
    explicit TJPEGPropsForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("JPEGPropsForm");
        setWindowTitle("JPEG Picture Properties");
    }
};

} // namespace quillon
