#include "service/ui/newappverdownloadrequestform.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon {

TNewAppVerDownloadRequestForm::TNewAppVerDownloadRequestForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("NewAppVerDownloadRequestForm");
    setWindowTitle("New Version Download");
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    version_ = new QLabel(this);
    version_->setObjectName("VersionLabel");
    version_->setAlignment(Qt::AlignCenter);
    version_->setMinimumWidth(48);
    version_->setStyleSheet("color: navy; font-weight: bold");
    auto* first = new QHBoxLayout;
    first->addWidget(new QLabel("New version", this));
    first->addWidget(version_);
    first->addWidget(new QLabel("of \"Quillon\"", this));
    first->addStretch();
    auto* texts = new QVBoxLayout;
    texts->addLayout(first);
    texts->addWidget(new QLabel("is available for download from the server.", this));
    texts->addWidget(new QLabel("Do you want to download and install it now?", this));
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, this);
    buttons->button(QDialogButtonBox::Yes)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

bool TNewAppVerDownloadRequestForm::Ask(const std::string& version)
{
    version_->setText(QString::fromStdString(version));
    return exec() == QDialog::Accepted;
}

} // namespace quillon
