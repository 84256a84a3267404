#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace quillon {

class TPrompts;

// "Send application link to friend": the introduction the friend receives, the user's
// comments, the recipient and, for the guest account, the sender's name. Kept for the
// whole run, so what was typed last is there again next time.
class TSendToFriendForm : public QDialog {
    Q_OBJECT
public:
    explicit TSendToFriendForm(QWidget* parent = nullptr);

    // productSite: the address the introduction names; warnings go through prompts.
    void Setup(const std::string& productSite, TPrompts* prompts);
    // Shows the dialog for login; true when it was closed with OK and its fields are good.
    bool Execute(const std::string& login);

    std::string Address() const;
    std::string Comments() const;  // lines joined with CR LF
    std::string SenderName() const;

    // Opens the product web site (the browser launch of the program).
    std::function<void(const std::string& url)> OpenSite;

    void done(int result) override;

private:
    void ShowSenderName(bool show);

    QPlainTextEdit* messageText_;
    QLabel* siteLink_;
    QPlainTextEdit* comments_;
    QLineEdit* address_;
    QLabel* senderNameLabel_;
    QLineEdit* senderName_;
    TPrompts* prompts_ = nullptr;
    std::string login_;
    std::string site_;
    bool grown_ = false;
};

} // namespace quillon
