#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TGIFPropsForm : public QDialog {
public:
    explicit TGIFPropsForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("GIFPropsForm");
        setWindowTitle("GIF Picture Properties");
    }
};

} // namespace quillon
