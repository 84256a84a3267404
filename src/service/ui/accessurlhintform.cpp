#include "service/ui/accessurlhintform.h"

#include "service/ui/qrcodeview.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon {

TAccessURLHintForm::TAccessURLHintForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("AccessURLHintForm");
    setWindowTitle("Access URL Hint");
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    auto* title = new QLabel("Image successfully uploaded", this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* text = new QLabel("The easiest and fastest way to access your recently uploaded pictures from mobile phone "
                            "is to add the following URL to your WAP browser favourites list",
                            this);
    text->setWordWrap(true);
    url_ = new QLineEdit(this);
    url_->setObjectName("HintURL");
    url_->setAccessibleName("Access URL");
    url_->setReadOnly(true);
    qrCode_ = new TQRCodeView(this);
    qrCode_->setObjectName("HintQRCode");
    qrCode_->setAccessibleName("QR code of the access URL");
    qrCode_->setFixedSize(148, 148);
    showAgain_ = new QCheckBox("Show this dialog box again", this);
    showAgain_->setObjectName("ShowAgainCheckBox");
    auto* close = new QPushButton("Close", this);
    close->setObjectName("CloseButton");
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(title, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(showAgain_, 1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(text);
    layout->addWidget(url_);
    layout->addWidget(qrCode_, 0, Qt::AlignHCenter);
    layout->addLayout(bottom);
    setMinimumWidth(420);
}

void TAccessURLHintForm::Execute(const std::string& url, bool& showAgain, const std::function<void()>& saveOptions)
{
    url_->setText(QString::fromStdString(url));
    qrCode_->SetText(url_->text());
    showAgain_->setChecked(showAgain);
    // Only "Close" keeps the check box; Esc or the window's close button leave it.
    if (exec() == QDialog::Accepted) {
        showAgain = showAgain_->isChecked();
        saveOptions();
    }
}

} // namespace quillon
