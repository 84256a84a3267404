#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TProxyAuthForm : public QDialog {
public:
    explicit TProxyAuthForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("ProxyAuthForm");
        setWindowTitle("Proxy Authentication");
    }
};

} // namespace quillon
