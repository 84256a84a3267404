#pragma once

// The running program with a scripted scanner, screen and prompts, for the commands that
// bring pictures in from outside.
#include "acquire/ui/scanner.h"
#include "app/ui/dialogs.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "common/error.h"
#include "imaging/picturefiles.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace quillon::test {

namespace fs = std::filesystem;

inline TBitmap Pattern(int w, int h)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 7);
            p[1] = static_cast<uint8_t>(y * 11);
            p[2] = static_cast<uint8_t>((x ^ y) * 5);
        }
    return b;
}

// Delivers the pictures it was given, one per acquisition; nothing once they run out.
class TScriptedScanner : public TScanner {
public:
    bool Available() override { return available; }
    bool SelectSource(QWidget* parent) override
    {
        selectParents.push_back(parent);
        return true;
    }
    std::optional<TBitmap> Acquire(QWidget*) override
    {
        if (duringAcquire)
            duringAcquire();
        if (pictures.empty())
            return std::nullopt;
        std::optional<TBitmap> p = std::move(pictures.front());
        pictures.pop_front();
        return p;
    }
    void SetAvailabilityListener(std::function<void()> l) override { listener = std::move(l); }

    bool available = true;
    std::function<void()> listener;
    std::deque<std::optional<TBitmap>> pictures;
    std::vector<QWidget*> selectParents;
    std::function<void()> duringAcquire;
};

class AcquireTest : public ::testing::Test {
protected:
    void Start(TScanner* scannerToUse)
    {
        ClearQuitRequest();
        dir.Write("phoneslist.xml", "<phoneslist><make name=\"M\"><model name=\"A\" screenwidth=\"64\" "
                                    "screenheight=\"80\"/></make></phoneslist>");
        dir.Write("parameters.xml", "<parameters/>");
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.scanner = scannerToUse;
        env.grabScreen = [this] {
            mainWindowShownAtCapture = form->isVisible();
            if (!screenProblem.empty())
                throw QuillonError(screenProblem);
            return screen;
        };
        env.systemProxy = [] { return std::optional<std::string>(); };
        env.askOpenFile = [this](const std::string&) { return openAnswer; };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        app->Start();
        Options().checknewversion = false;
    }
    void SetUp() override { Start(&scanner); }
    void TearDown() override
    {
        form->ShutdownApplication();
        ClearQuitRequest();
    }

public:
    // A shutdown asks the event loop to quit, which makes every later modal dialog return
    // at once; a run of the application's own loop clears that request.
    static void ClearQuitRequest()
    {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QApplication::exec();
    }

protected:
    TOptions& Options() { return app->Dialogs().OptionsForm->Options; }
    QAction* Action(const char* name) { return form->findChild<QAction*>(name); }
    fs::path Logos() const { return dir.Path() / "Logo Directory"; }
    std::vector<std::string> Children(const TLogoNode* folder) const
    {
        std::vector<std::string> names;
        for (size_t i = 0; i < folder->Count(); ++i)
            names.push_back(folder->Child(i)->Text());
        return names;
    }
    // Answers the format choice when it comes up: an index, or nothing for Cancel.
    void AnswerFormatChoice(std::optional<int> index)
    {
        QTimer::singleShot(0, [this, index] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            formatChoiceShown = dialog->objectName().toStdString();
            if (!index) {
                dialog->reject();
                return;
            }
            dialog->findChild<QComboBox*>("FileFormatComboBox")->setCurrentIndex(*index);
            dialog->accept();
        });
    }

    TTempDir dir, runtime, source;
    TScriptedPrompts prompts;
    TScriptedScanner scanner;
    TRealPlatform platform{runtime.Path().c_str()};
    std::unique_ptr<TQuillonApplication> app;
    TMainAppForm* form = nullptr;
    std::string openAnswer;
    std::string formatChoiceShown;
    std::optional<TBitmap> screen;  // what the screen capture delivers
    std::string screenProblem;      // else why the platform gives no screen at all
    std::optional<bool> mainWindowShownAtCapture;
};

} // namespace quillon::test
