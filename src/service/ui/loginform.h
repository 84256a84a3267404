#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;
class QLabel;

namespace quillon {

// A login dialog: a name and a masked password, OK and Cancel, optionally a "Register"
// link. The service login and the proxy login are two of them.
class TLoginForm : public QDialog {
    Q_OBJECT
public:
    TLoginForm(const QString& objectName, const QString& title, const QString& loginLabel,
               const QString& passwordLabel, bool withRegisterLink, QWidget* parent = nullptr);

    // Shows the dialog with the texts; on OK they hold what the user typed.
    bool Execute(std::string& login, std::string& password);

    // Opens the registration page (the browser launch of the program).
    std::function<void()> RegisterClicked;

private:
    QLineEdit* login_;
    QLineEdit* password_;
};

// "System Authorization": the service login, with the link to register. Kept for the run.
class TSysAuthForm : public TLoginForm {
    Q_OBJECT
public:
    explicit TSysAuthForm(QWidget* parent = nullptr)
        : TLoginForm("SysAuthForm", "System Authorization", "Login", "Password", true, parent)
    {
    }
};

// "Proxy Authentication": the proxy's user and password. Kept for the run.
class TProxyAuthForm : public TLoginForm {
    Q_OBJECT
public:
    explicit TProxyAuthForm(QWidget* parent = nullptr)
        : TLoginForm("ProxyAuthForm", "Proxy Authentication", "Proxy User", "Proxy Password", false, parent)
    {
    }
};

} // namespace quillon
