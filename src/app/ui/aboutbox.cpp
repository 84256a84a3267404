#include "app/ui/aboutbox.h"
#include "app/ui/programimages.h"

#include "app/messages.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("About");
    // A fixed box: a close button, nothing to minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* picture = new QLabel(this);
    picture->setObjectName("ProgramIcon");
    picture->setPixmap(ProgramIcon("quillon").pixmap(64, 64));

    auto* product = new QLabel(kMainCaption, this);
    product->setObjectName("ProductName");
    auto* version = new QLabel(QString("Version: ") + kAppVersion, this);
    version->setObjectName("Version");
    QFont bold = font();
    bold.setBold(true);
    product->setFont(bold);
    version->setFont(bold);

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint());
}

} // namespace quillon
