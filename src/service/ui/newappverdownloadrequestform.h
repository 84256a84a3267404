#pragma once

#include <QDialog>
#include <string>

class QLabel;

namespace quillon {

// "New Version Download": offers the setup of a newer version. Kept for the whole run.
class TNewAppVerDownloadRequestForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewAppVerDownloadRequestForm(QWidget* parent = nullptr);

    // Yes: true.
    bool Ask(const std::string& version);

private:
    QLabel* version_;
};

} // namespace quillon
