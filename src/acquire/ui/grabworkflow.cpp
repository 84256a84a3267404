#include "acquire/ui/grabworkflow.h"

#include "acquire/acquiremessages.h"
#include "acquire/grabselection.h"
#include "acquire/ui/grabscreenform.h"
#include "common/error.h"
#include "common/prompts.h"
#include "options/options.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace quillon {

namespace {

// How long the window system gets to take the main window off the screen, and then to
// let the windows below it repaint what it covered.
constexpr int kUnmapTimeoutMs = 1000;
constexpr int kRepaintMs = 25;

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

TGrabWorkflow::TGrabWorkflow(TAcquiredPictureAdder& adder, TPrompts& prompts, const TOptions& options,
                             TGrabScreenForm& form, QWidget* mainWindow, TGrabScreen grabScreen)
    : adder_(adder), prompts_(prompts), options_(options), form_(form), mainWindow_(mainWindow),
      grabScreen_(std::move(grabScreen))
{
}

void TGrabWorkflow::HideMainWindow()
{
    mainWindow_->hide();
    // A fixed pause is either too short on a busy machine or wasted on an idle one: wait
    // until the window system has taken the window off the screen, then give the windows
    // it uncovered a moment to repaint.
    QWindow* window = mainWindow_->windowHandle();
    QElapsedTimer waited;
    waited.start();
    while (window && window->isExposed() && waited.elapsed() < kUnmapTimeoutMs)
        Wait(5);
    Wait(kRepaintMs);
}

void TGrabWorkflow::ShowMainWindow()
{
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void TGrabWorkflow::GrabFromScreenToolButtonClick()
{
    HideMainWindow();
    std::optional<TBitmap> screen;
    try {
        screen = grabScreen_();
    } catch (const QuillonError& e) {
        // The platform lets this program read no screen at all: the user learns why
        // rather than seeing the window come back with nothing done.
        ShowMainWindow();
        prompts_.Error(e.what());
        return;
    }
    if (!screen || screen->Empty()) {
        ShowMainWindow();
        return;  // the platform lets no program read the screen
    }
    const TGrabRect rect = form_.Execute(std::move(*screen));
    ShowMainWindow();
    if (!rect.Chosen())
        return;
    if (const std::string problem = GrabRectProblem(rect); !problem.empty()) {
        prompts_.Warning(problem);
        return;
    }
    const std::string fileName =
        adder_.AskFileName({kGrabbedImageName, kTitleGrabbedImageName, kPromptGrabbedImageName},
                           options_.grabasktargetname, options_.grabbedfileformat);
    if (!fileName.empty())
        AddGrabbedImage(CopyGrabRect(form_.ScreenPicture(), rect), fileName);
}

TLogoNode* TGrabWorkflow::AddGrabbedImage(const TBitmap& picture, const std::string& fileName)
{
    return adder_.AddPicture(picture, fileName);
}

} // namespace quillon
