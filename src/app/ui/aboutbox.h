#pragma once

#include <QDialog>

namespace quillon {

// The about box: the program's picture, name and version.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

} // namespace quillon
