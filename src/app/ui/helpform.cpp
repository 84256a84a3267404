#include "app/ui/helpform.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quillon {

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("HelpForm");
    setWindowTitle("Quillon Help");
    resize(640, 560);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("HelpBrowser");
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
}

bool THelpForm::OpenContents(const std::string& file)
{
    QFile f(QString::fromStdString(file));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    browser_->setHtml(QString::fromUtf8(f.readAll()));
    browser_->scrollToAnchor("contents");
    file_ = file;
    show();
    raise();
    activateWindow();
    return true;
}

void THelpForm::CloseFile(const std::string& file)
{
    if (file_ != file)
        return;
    hide();
    file_.clear();
}

} // namespace quillon
