#pragma once

#include <QDialog>

namespace quillon {

// Created at start-up and kept for the whole run, so the modal dialog can be shown at once.
class TSendToFriendForm : public QDialog {
public:
    explicit TSendToFriendForm(QWidget* parent = nullptr) : QDialog(parent)
    {
        setObjectName("SendToFriendForm");
        setWindowTitle("Send application link to friend");
    }
};

} // namespace quillon
