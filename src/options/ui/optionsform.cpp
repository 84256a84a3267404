#include "options/ui/optionsform.h"

namespace quillon {

TOptionsForm::TOptionsForm(std::string appDir, TPrompts& prompts, TSystemProxySource systemProxy, QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), prompts_(prompts), systemProxy_(std::move(systemProxy))
{
    setObjectName("OptionsForm");
    setWindowTitle("Quillon Options");
    LoadOptions();
}

void TOptionsForm::LoadOptions() { quillon::LoadOptions(appDir_, Options, prompts_, systemProxy_); }

bool TOptionsForm::SaveOptions() { return quillon::SaveOptions(appDir_, Options, prompts_); }

} // namespace quillon
