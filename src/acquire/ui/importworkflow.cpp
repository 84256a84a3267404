#include "acquire/ui/importworkflow.h"

#include "acquire/acquiremessages.h"
#include "acquire/ui/scanner.h"
#include "options/options.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace quillon {

namespace {

// Keeps the tool bar's hints from showing while it lives: a hint popping up over the
// scanner's own window would hide part of it.
class TToolBarHintsOff : public QObject {
public:
    explicit TToolBarHintsOff(QWidget* toolBar) : toolBar_(toolBar)
    {
        if (toolBar_)
            qApp->installEventFilter(this);
    }
    ~TToolBarHintsOff() override
    {
        if (toolBar_)
            qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::ToolTip || !watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(watched);
        return w == toolBar_ || toolBar_->isAncestorOf(w);
    }

private:
    QWidget* toolBar_;
};

} // namespace

TImportWorkflow::TImportWorkflow(TScanner& scanner, TAcquiredPictureAdder& adder, const TOptions& options,
                                 QWidget* mainWindow, QWidget* toolBar)
    : scanner_(scanner), adder_(adder), options_(options), mainWindow_(mainWindow), toolBar_(toolBar)
{
}

void TImportWorkflow::AcquireImageMenuItemClick()
{
    const TToolBarHintsOff hintsOff(toolBar_);
    const std::optional<TBitmap> picture = scanner_.Acquire(mainWindow_);
    if (!picture || picture->Empty())
        return;  // cancelled, closed, or a failure the scanner has reported
    const std::string fileName =
        adder_.AskFileName({kImportedImageName, kTitleImportedImageName, kPromptImportedImageName},
                           options_.importasktargetname, options_.importedfileformat);
    if (!fileName.empty())
        AddTWAINImage(*picture, fileName);
}

void TImportWorkflow::SelectSourceMenuItemClick() { scanner_.SelectSource(mainWindow_); }

TLogoNode* TImportWorkflow::AddTWAINImage(const TBitmap& picture, const std::string& fileName)
{
    return adder_.AddPicture(picture, fileName);
}

} // namespace quillon
