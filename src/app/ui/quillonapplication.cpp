#include "app/ui/quillonapplication.h"

#include "app/ui/dialogs.h"
#include "app/ui/mainappform.h"

#include <QApplication>

namespace quillon {

TQuillonApplication::TQuillonApplication(const TAppEnvironment& env) : env_(env)
{
    mainForm_ = std::make_unique<TMainAppForm>(env_);
    dialogs_ = std::make_unique<TDialogs>(env_, mainForm_.get());
    mainForm_->SetDialogs(dialogs_.get());
}

TQuillonApplication::~TQuillonApplication()
{
    if (mainForm_)
        mainForm_->SetDialogs(nullptr);
    dialogs_.reset();
    mainForm_.reset();
}

bool TQuillonApplication::TerminateRequested() const { return mainForm_->TerminateRequested(); }

bool TQuillonApplication::Start()
{
    if (TerminateRequested())
        return false;
    mainForm_->RestoreWindowLayout();
    mainForm_->show();
    mainForm_->activateWindow();
    return true;
}

int TQuillonApplication::Exec()
{
    if (!Start())
        return 0;
    return QApplication::exec();
}

} // namespace quillon
