#include "options/ui/optionsform.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace quillon {

TOptionsForm::TOptionsForm(std::string appDir, TPrompts& prompts, TSystemProxySource systemProxy, QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), prompts_(prompts), systemProxy_(std::move(systemProxy))
{
    setObjectName("OptionsForm");
    setWindowTitle("Quillon Options");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(buttons);
    LoadOptions();
}

void TOptionsForm::LoadOptions() { quillon::LoadOptions(appDir_, Options, prompts_, systemProxy_); }

bool TOptionsForm::SaveOptions() { return quillon::SaveOptions(appDir_, Options, prompts_); }

} // namespace quillon
