#include "service/ui/loginform.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace quillon {

TLoginForm::TLoginForm(const QString& objectName, const QString& title, const QString& loginLabel,
                       const QString& passwordLabel, bool withRegisterLink, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(objectName);
    setWindowTitle(title);
    login_ = new QLineEdit(this);
    login_->setObjectName("LoginEdit");
    login_->setAccessibleName(loginLabel);
    password_ = new QLineEdit(this);
    password_->setObjectName("PasswordEdit");
    password_->setAccessibleName(passwordLabel);
    password_->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(loginLabel, login_);
    form->addRow(passwordLabel, password_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    if (withRegisterLink) {
        auto* registerLink = new QLabel("<a href=\"register\">Register</a>", this);
        registerLink->setObjectName("RegisterLabel");
        registerLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(registerLink, &QLabel::linkActivated, this, [this] {
            if (RegisterClicked)
                RegisterClicked();
        });
        layout->addWidget(registerLink);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

bool TLoginForm::Execute(std::string& login, std::string& password)
{
    login_->setText(QString::fromStdString(login));
    password_->setText(QString::fromStdString(password));
    login_->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    login = login_->text().toStdString();
    password = password_->text().toStdString();
    return true;
}

} // namespace quillon
