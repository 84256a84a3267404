#include "service/ui/sendtofriendform.h"

#include "common/prompts.h"
#include "service/sendtofriendinput.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

constexpr int kNameRowHeight = 40;

QLabel* Heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

QString IntroductionText(const std::string& site)
{
    const char* const lines[] = {
        "",
        "Hello!",
        "",
        "This message was sent to you on behalf of ",
        "<<YOUR NAME WILL BE HERE>>.",
        "We want to introduce you \"Quillon\" - application ",
        "which lets you turn any picture from the HTML page in your ",
        "Internet Explorer into a logo or background on your mobile ",
        "phone in three clicks without cables or SMS services.",
        "\"Quillon\" is the easiest and fastest way to get picture ",
        "you like on your mobile phone!",
        nullptr,  // the download address
        "",
        "With best regards from \"Quillon\" developers!",
    };
    QStringList text;
    for (const char* line : lines)
        text << (line ? QString(line) : "You can download it at address " + QString::fromStdString(site));
    return text.join('\n');
}

} // namespace

TSendToFriendForm::TSendToFriendForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SendToFriendForm");
    setWindowTitle("Send application link to friend");
    messageText_ = new QPlainTextEdit(this);
    messageText_->setObjectName("MessageTextMemo");
    messageText_->setAccessibleName("Introduction");
    messageText_->setReadOnly(true);
    siteLink_ = new QLabel(this);
    siteLink_->setObjectName("Label1");
    siteLink_->setCursor(Qt::PointingHandCursor);
    connect(siteLink_, &QLabel::linkActivated, this, [this] {
        if (OpenSite)
            OpenSite(site_);
    });
    comments_ = new QPlainTextEdit(this);
    comments_->setObjectName("SenderCommentsMemo");
    comments_->setAccessibleName("Your comments:");
    address_ = new QLineEdit(this);
    address_->setObjectName("RecipientAddressEdit");
    address_->setAccessibleName("Recipient address:");
    senderNameLabel_ = Heading("Your Name:", this);
    senderNameLabel_->setObjectName("SenderNameLabel");
    senderName_ = new QLineEdit(this);
    senderName_->setObjectName("SenderNameEdit");
    senderName_->setAccessibleName("Your Name:");
    senderNameLabel_->setBuddy(senderName_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(messageText_, 2);
    layout->addWidget(siteLink_);
    layout->addWidget(Heading("Your comments:", this));
    layout->addWidget(comments_, 1);
    layout->addWidget(Heading("Recipient address:", this));
    layout->addWidget(address_);
    layout->addWidget(senderNameLabel_);
    layout->addWidget(senderName_);
    layout->addWidget(buttons);
    resize(440, 460);
    ShowSenderName(false);
}

void TSendToFriendForm::Setup(const std::string& productSite, TPrompts* prompts)
{
    site_ = productSite;
    prompts_ = prompts;
    messageText_->setPlainText(IntroductionText(site_));
    const QString site = QString::fromStdString(site_).toHtmlEscaped();
    siteLink_->setText(QString("<a href=\"%1\" style=\"color:#0000ff; font-weight:bold\">%1</a>").arg(site));
}

void TSendToFriendForm::ShowSenderName(bool show)
{
    senderNameLabel_->setVisible(show);
    senderName_->setVisible(show);
    // The guest's name row makes the dialog taller rather than squeezing the rest.
    if (show != grown_) {
        resize(width(), height() + (show ? kNameRowHeight : -kNameRowHeight));
        grown_ = show;
    }
}

bool TSendToFriendForm::Execute(const std::string& login)
{
    login_ = login;
    ShowSenderName(IsGuestLogin(login));
    address_->setFocus();
    const bool ok = exec() == QDialog::Accepted;
    ShowSenderName(false);
    return ok;
}

void TSendToFriendForm::done(int result)
{
    if (result == QDialog::Accepted) {
        if (const auto warning = SendToFriendInputWarning(Address(), login_, SenderName())) {
            if (prompts_)
                prompts_->Warning(*warning);
            return;  // the dialog stays open
        }
    }
    QDialog::done(result);
}

std::string TSendToFriendForm::Address() const { return address_->text().toStdString(); }

std::string TSendToFriendForm::Comments() const
{
    return comments_->toPlainText().replace('\n', "\r\n").toStdString();
}

std::string TSendToFriendForm::SenderName() const
{
    return IsGuestLogin(login_) ? senderName_->text().toStdString() : std::string();
}

} // namespace quillon
