#pragma once

#include <QWidget>

namespace quillon {

// The borderless window that covers the screen while a rectangle is grabbed from it.
class TGrabScreenForm : public QWidget {
public:
    explicit TGrabScreenForm(QWidget* parent = nullptr) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    {
        setObjectName("GrabScreenForm");
    }
};

} // namespace quillon
