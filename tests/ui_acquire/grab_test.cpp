// The screen grab from the main window: a scripted screen, the real grab window driven
// with mouse and key events.
#include "acquire/acquiremessages.h"
#include "acquire/ui/grabscreenform.h"
#include "ui_acquire/acquiretest.h"

#include <QTest>

namespace {

using namespace quillon;
using namespace quillon::test;

class GrabTest : public AcquireTest {
protected:
    // Runs the command; script acts on the grab window's picture control once it is up.
    void Grab(std::function<void(QWidget* screenImage)> script)
    {
        grabWindowShown = false;
        TGrabScreenForm* grab = app->Dialogs().GrabScreenForm.get();
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!grab->isVisible())
                return;
            poll.stop();
            grabWindowShown = true;
            grabWindowGeometry = grab->geometry();
            QWidget* screenImage = grab->findChild<QWidget*>("ScreenImage");
            grabCursor = screenImage->cursor().shape();
            script(screenImage);
            if (grab->isVisible())
                grab->reject();  // a script that went wrong must not hang the test
        });
        poll.start();
        Action("GrabFromScreenToolButton")->trigger();
    }
    static std::function<void(QWidget*)> Drag(QPoint from, QPoint to)
    {
        return [from, to](QWidget* image) {
            QTest::mousePress(image, Qt::LeftButton, {}, from);
            QTest::mouseMove(image, (from + to) / 2);
            QTest::mouseMove(image, to);
            QTest::mouseRelease(image, Qt::LeftButton, {}, to);
        };
    }

    bool grabWindowShown = false;
    QRect grabWindowGeometry;
    Qt::CursorShape grabCursor = Qt::ArrowCursor;
};

TEST_F(GrabTest, ADraggedRectangleBecomesALogoWithThePixelsUnderItAndNoTraceOfTheBand)
{
    form->show();
    screen = Pattern(320, 200);
    Grab(Drag({10, 10}, {25, 30}));
    EXPECT_EQ(mainWindowShownAtCapture, std::optional<bool>(false));
    EXPECT_TRUE(grabWindowShown);
    EXPECT_EQ(grabWindowGeometry.topLeft(), QPoint(0, 0));
    EXPECT_EQ(grabCursor, Qt::CrossCursor);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(app->Dialogs().GrabScreenForm->isVisible());
    EXPECT_EQ(Children(form->LogoTree().Root()), std::vector<std::string>{"grabbedimage.jpg"});

    Options().grabbedfileformat = ffPNG;
    Grab(Drag({10, 10}, {25, 30}));
    EXPECT_EQ(Children(form->LogoTree().Root()), (std::vector<std::string>{"grabbedimage.jpg", "grabbedimage2.png"}));
    EXPECT_EQ(form->SelectedNode(), form->LogoTree().Root()->Child(1));
    const TBitmap grabbed = LoadPicture((Logos() / "grabbedimage2.png").string());
    ASSERT_EQ(grabbed.Width(), 16);
    ASSERT_EQ(grabbed.Height(), 21);
    EXPECT_TRUE(grabbed == CopyGrabRect(*screen, {10, 10, 26, 31}));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(GrabTest, RectanglesTooSmallAreRefusedAndEscAddsNothing)
{
    const struct {
        const char* name;
        std::function<void(QWidget*)> script;
        const char* warning;  // nothing: no message at all
    } cases[] = {
        {"a click", [](QWidget* i) { QTest::mouseClick(i, Qt::LeftButton, {}, QPoint(40, 40)); }, kMsgGrabWidthTooSmall},
        {"up and left", Drag({25, 30}, {10, 10}), kMsgGrabWidthTooSmall},
        {"200 x 10", Drag({20, 20}, {219, 29}), kMsgGrabHeightTooSmall},
        {"Esc while dragging",
         [](QWidget* i) {
             QTest::mousePress(i, Qt::LeftButton, {}, QPoint(10, 10));
             QTest::mouseMove(i, QPoint(100, 100));
             QTest::keyClick(i->window(), Qt::Key_Escape);
         },
         nullptr},
    };
    screen = Pattern(320, 200);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.shown.clear();
        Grab(c.script);
        EXPECT_TRUE(grabWindowShown);
        if (c.warning) {
            ASSERT_EQ(prompts.shown.size(), 1u);
            EXPECT_EQ(prompts.shown[0].kind, "warning");
            EXPECT_EQ(prompts.shown[0].text, c.warning);
        } else {
            EXPECT_TRUE(prompts.shown.empty());
        }
        EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);
    }
}

TEST_F(GrabTest, WithoutAScreenPictureTheWindowComesBackAndAScreenThePlatformDeniesIsExplained)
{
    const struct {
        const char* name;
        const char* problem;  // the platform's reason; none: the user refused, or X gave nothing
    } cases[] = {
        {"no picture", ""},
        {"Wayland without a portal", kMsgGrabNoPortal},
        {"a failed portal", kMsgGrabPortalFailed},
    };
    form->show();
    screen.reset();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.shown.clear();
        screenProblem = c.problem;
        Grab([](QWidget*) {});
        EXPECT_FALSE(grabWindowShown);
        EXPECT_TRUE(form->isVisible());
        if (*c.problem) {
            ASSERT_EQ(prompts.shown.size(), 1u);
            EXPECT_EQ(prompts.shown[0].kind, "error");
            EXPECT_EQ(prompts.shown[0].text, c.problem);
        } else {
            EXPECT_TRUE(prompts.shown.empty());
        }
        EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);
    }
}

TEST_F(GrabTest, TheNameQuestionIsTheGrabsOwn)
{
    Options().grabasktargetname = true;
    Options().grabbedfileformat = ffBMP;
    screen = Pattern(100, 100);
    prompts.inputs = {std::string("corner")};
    Grab(Drag({1, 1}, {20, 20}));
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown[0].text,
              std::string(kTitleGrabbedImageName) + "|" + kPromptGrabbedImageName + "|" + kGrabbedImageName);
    EXPECT_EQ(Children(form->LogoTree().Root()), std::vector<std::string>{"corner.bmp"});
    EXPECT_TRUE(LoadPicture((Logos() / "corner.bmp").string()) == CopyGrabRect(*screen, {1, 1, 21, 21}));

    prompts.inputs = {std::nullopt};
    Grab(Drag({1, 1}, {20, 20}));
    EXPECT_EQ(form->LogoTree().Root()->Count(), 1u);
}

} // namespace
