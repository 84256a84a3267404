#include "common/ui/messageboxprompts.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace quillon {

namespace {

QString Caption() { return QApplication::applicationDisplayName(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

void TMessageBoxPrompts::Error(const std::string& text)
{
    QMessageBox::critical(QApplication::activeWindow(), Caption(), Q(text), QMessageBox::Ok);
}

void TMessageBoxPrompts::Warning(const std::string& text)
{
    QMessageBox::warning(QApplication::activeWindow(), Caption(), Q(text), QMessageBox::Ok);
}

void TMessageBoxPrompts::Information(const std::string& text)
{
    QMessageBox::information(QApplication::activeWindow(), Caption(), Q(text), QMessageBox::Ok);
}

bool TMessageBoxPrompts::Confirm(const std::string& text)
{
    return QMessageBox::question(QApplication::activeWindow(), Caption(), Q(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TAnswer TMessageBoxPrompts::ConfirmCancel(const std::string& text)
{
    switch (QMessageBox::question(QApplication::activeWindow(), Caption(), Q(text),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
        return TAnswer::Yes;
    case QMessageBox::No:
        return TAnswer::No;
    default:
        return TAnswer::Cancel;  // the Cancel button, Esc and closing the box alike
    }
}

bool TMessageBoxPrompts::InputQuery(const std::string& title, const std::string& prompt, std::string& value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), Q(title), Q(prompt), QLineEdit::Normal,
                                               Q(value), &ok);
    if (ok)
        value = text.toStdString();
    return ok;
}

} // namespace quillon
