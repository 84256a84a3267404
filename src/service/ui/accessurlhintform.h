#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;

namespace quillon {

class TQRCodeView;

// Tells the user where a phone finds the uploaded pictures. Created at start-up and kept
// for the whole run.
class TAccessURLHintForm : public QDialog {
    Q_OBJECT
public:
    explicit TAccessURLHintForm(QWidget* parent = nullptr);

    // Shows url; "Close" stores the check box in showAgain and calls saveOptions.
    void Execute(const std::string& url, bool& showAgain, const std::function<void()>& saveOptions);

private:
    QLineEdit* url_;
    QCheckBox* showAgain_;
    TQRCodeView* qrCode_;
};

} // namespace quillon
