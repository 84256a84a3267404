// The main window on screens of other sizes: the offscreen platform's screen is changed
// through its platform interface, as a change of resolution or scale would change it.
#include "app/ui/instancechannel.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <filesystem>
#include <gtest/gtest.h>
#include <qpa/qplatformnativeinterface.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

QJsonObject OffscreenConfiguration()
{
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto get = reinterpret_cast<QJsonObject (*)(QPlatformNativeInterface*)>(
        native->nativeResourceForIntegration("configuration"));
    return get(native);
}

void SetOffscreenConfiguration(const QJsonObject& configuration)
{
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto set = reinterpret_cast<void (*)(QJsonObject, QPlatformNativeInterface*)>(
        native->nativeResourceForIntegration("setConfiguration"));
    set(configuration, native);
    QApplication::processEvents();  // the screen's change is delivered as an event
}

void Pump()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

std::string Describe(const QRect& r)
{
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

class SmallScreenTest : public ::testing::Test {
protected:
    SmallScreenTest() : original(OffscreenConfiguration()), platform(runtime.Path().c_str()), instances(runtime.Path().c_str())
    {
        std::filesystem::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/phoneslist.xml", dir.Path() / "phoneslist.xml");
        std::filesystem::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/parameters.xml", dir.Path() / "parameters.xml");
    }
    ~SmallScreenTest() override { SetOffscreenConfiguration(original); }

    // The screen a scaled desktop gives the program: its size in the program's pixels.
    void SetScreen(int width, int height)
    {
        QJsonObject config = original;
        QJsonArray screens = config["screens"].toArray();
        QJsonObject screen = screens[0].toObject();
        screen["width"] = width;
        screen["height"] = height;
        screens[0] = screen;
        config["screens"] = screens;
        SetOffscreenConfiguration(config);
        ASSERT_EQ(QGuiApplication::primaryScreen()->availableGeometry().size(), QSize(width, height));
    }

    std::unique_ptr<TQuillonApplication> Start()
    {
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.instances = &instances;
        env.systemProxy = [] { return std::optional<std::string>(); };
        auto app = std::make_unique<TQuillonApplication>(env);
        EXPECT_TRUE(app->Start());
        Pump();
        return app;
    }

    // The whole window, frame and all, lies on the screen, can be made no larger than
    // the screen, and nothing in it is squeezed below the size it needs: what does not
    // fit is reached by scrolling.
    static void ExpectFitsAndUsable(TMainAppForm& form)
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = form.frameGeometry();
        EXPECT_TRUE(area.contains(frame)) << Describe(frame) << " on " << Describe(area);
        const QSize decoration = frame.size() - form.size();
        EXPECT_LE(form.minimumWidth() + decoration.width(), area.width());
        EXPECT_LE(form.minimumHeight() + decoration.height(), area.height());
        EXPECT_LE(form.minimumSizeHint().width(), form.minimumWidth());
        EXPECT_LE(form.minimumSizeHint().height(), form.minimumHeight());
        for (const char* name : {"VerticalSplitter", "LogoTreeView", "ImageToolPanel", "UploadPanel", "UploadButton"}) {
            const QWidget* w = form.findChild<QWidget*>(name);
            ASSERT_TRUE(w) << name;
            // What a layout gives a widget at the least: its own minimum, else its hint.
            EXPECT_GE(w->width(), w->minimumWidth() > 0 ? w->minimumWidth() : w->minimumSizeHint().width()) << name;
            EXPECT_GE(w->height(), w->minimumHeight() > 0 ? w->minimumHeight() : w->minimumSizeHint().height())
                << name;
        }
    }

    QJsonObject original;
    TTempDir dir, runtime;
    TScriptedPrompts prompts;
    TRealPlatform platform;
    TInstanceChannel instances;
};

TEST_F(SmallScreenTest, TheWindowFitsScaledScreensAndKeepsItsLayoutOnABigOne)
{
    struct Case {
        const char* screen;
        int width, height;
    };
    const Case cases[] = {
        {"1280 x 1024 at scale 2", 640, 512},
        {"1366 x 768 at 175 %", 780, 438},
        {"1920 x 1080 at 200 %", 960, 540},
        {"800 x 600 at scale 1", 800, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screen);
        SetScreen(c.width, c.height);
        for (const char* layout : {"", "<windowlayout><window x=\"3000\" y=\"-900\" width=\"1200\" height=\"900\" "
                                       "maximized=\"0\"/></windowlayout>"}) {
            SCOPED_TRACE(*layout ? "stored on a screen that is gone" : "first start");
            std::filesystem::remove(dir.Path() / "windowlayout.xml");
            if (*layout)
                dir.Write("windowlayout.xml", layout);
            auto app = Start();
            ExpectFitsAndUsable(app->MainForm());
            app->MainForm().Exit1Click();
        }
    }

    // Where there is room, the window is as it always was: its own sizes, no scroll bars.
    SetScreen(1280, 1024);
    std::filesystem::remove(dir.Path() / "windowlayout.xml");
    auto app = Start();
    TMainAppForm& form = app->MainForm();
    EXPECT_EQ(form.minimumSize(), QSize(800, 550));
    EXPECT_EQ(form.size(), QSize(800, 608));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred before the frame is known: within the frame's margins of the centre.
    EXPECT_LE((form.frameGeometry().center() - area.center()).manhattanLength(), 4);
    const auto* work = form.findChild<QScrollArea*>("WorkAreaScrollBox");
    ASSERT_TRUE(work);
    EXPECT_FALSE(work->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(work->verticalScrollBar()->isVisible());
    EXPECT_EQ(form.findChild<QWidget*>("LogoTreePanel")->width(), 185);
    form.Exit1Click();
}

TEST_F(SmallScreenTest, AScreenThatShrinksUnderTheOpenWindowTakesItAlong)
{
    SetScreen(1280, 1024);
    auto app = Start();
    TMainAppForm& form = app->MainForm();
    form.move(400, 300);
    Pump();
    SetScreen(640, 512);  // the scale raised to 2 while the program runs
    Pump();
    ExpectFitsAndUsable(form);
    // The user can still make it as small as the screen allows, and scroll what is cut.
    form.resize(form.minimumSize());
    Pump();
    ExpectFitsAndUsable(form);
    const auto* work = form.findChild<QScrollArea*>("WorkAreaScrollBox");
    EXPECT_EQ(work->verticalScrollBar()->maximum(), std::max(0, work->widget()->height() - work->viewport()->height()));
    EXPECT_EQ(work->horizontalScrollBar()->maximum(), std::max(0, work->widget()->width() - work->viewport()->width()));
    form.Exit1Click();
}

} // namespace
