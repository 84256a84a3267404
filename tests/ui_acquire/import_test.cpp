// The import commands from the main window, with a scripted scanner and prompts.
#include "acquire/acquiremessages.h"
#include "acquire/ui/scanner.h"
#include "app/ui/dialogs.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "logodir/messages.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHelpEvent>
#include <QTimer>
#include <QToolTip>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

TBitmap Pattern(int w, int h)
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

    bool available = true;
    std::deque<std::optional<TBitmap>> pictures;
    std::vector<QWidget*> selectParents;
    std::function<void()> duringAcquire;
};

class ImportTest : public ::testing::Test {
protected:
    void Start(TScanner* scannerToUse)
    {
        // An earlier test's shutdown asked the event loop to quit, which makes every modal
        // dialog return at once; a run of the application's loop clears that request.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QApplication::exec();
        dir.Write("phoneslist.xml", "<phoneslist><make name=\"M\"><model name=\"A\" screenwidth=\"64\" "
                                    "screenheight=\"80\"/></make></phoneslist>");
        dir.Write("parameters.xml", "<parameters/>");
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.scanner = scannerToUse;
        env.systemProxy = [] { return std::optional<std::string>(); };
        env.askOpenFile = [this](const std::string&) { return openAnswer; };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        app->Start();
        Options().checknewversion = false;
    }
    void SetUp() override { Start(&scanner); }
    void TearDown() override { form->ShutdownApplication(); }

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
};

TEST_F(ImportTest, TwoAcquisitionsWithTheDefaultNameBecomeImportedimageAndImportedimage2)
{
    Options().importedfileformat = ffBMP;
    const TBitmap first = Pattern(40, 30), second = Pattern(20, 50);
    scanner.pictures = {first, second};
    Action("AcquireImageMenuItem")->trigger();
    Action("ImportFromTWAINToolButton")->trigger();

    TLogoNode* root = form->LogoTree().Root();
    EXPECT_EQ(Children(root), (std::vector<std::string>{"importedimage.bmp", "importedimage2.bmp"}));
    EXPECT_EQ(LoadPicture((Logos() / "importedimage.bmp").string()), first);
    EXPECT_EQ(LoadPicture((Logos() / "importedimage2.bmp").string()), second);
    // The new logo is selected and shown, its record a copy of the template.
    EXPECT_EQ(form->SelectedNode(), root->Child(1));
    EXPECT_EQ(root->Child(1)->Data()->nodename, "importedimage2.bmp");
    EXPECT_EQ(root->Child(1)->ImageIndex(), kLogoImage);
    EXPECT_NE(form->ActiveSourceImage(), nullptr);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(ImportTest, TheTypedNameKeepsItsDotsAndAnEmptyAnswerAsksAgain)
{
    Options().importasktargetname = true;
    Options().importedfileformat = ffPNG;
    const TBitmap picture = Pattern(33, 17);
    scanner.pictures = {picture};
    prompts.inputs = {std::string(), std::string("scan.old")};
    Action("TBAcquireImage")->trigger();

    ASSERT_EQ(prompts.shown.size(), 2u);
    const std::string asked = std::string(kTitleImportedImageName) + "|" + kPromptImportedImageName + "|";
    EXPECT_EQ(prompts.shown[0].text, asked + kImportedImageName);
    EXPECT_EQ(prompts.shown[1].text, asked);  // asked again with the empty text
    EXPECT_EQ(Children(form->LogoTree().Root()), std::vector<std::string>{"scan.old.png"});
    EXPECT_EQ(LoadPicture((Logos() / "scan.old.png").string()), picture);
}

TEST_F(ImportTest, ANameLeadingOutOfTheFolderIsRefusedAndAskedAgain)
{
    Options().importasktargetname = true;
    Options().importedfileformat = ffBMP;
    scanner.pictures = {Pattern(20, 20)};
    prompts.inputs = {std::string("../outside"), std::string("inside")};
    Action("AcquireImageMenuItem")->trigger();
    EXPECT_EQ(prompts.shown.at(1).kind, "warning");
    EXPECT_EQ(prompts.shown.at(1).text, kMsgBadName);
    EXPECT_FALSE(fs::exists(dir.Path() / "outside.bmp"));
    EXPECT_EQ(Children(form->LogoTree().Root()), std::vector<std::string>{"inside.bmp"});
}

TEST_F(ImportTest, TheFormatChoiceDecidesForAskAndCancellingEitherQuestionAddsNothing)
{
    Options().importedfileformat = ffAsk;
    scanner.pictures = {Pattern(20, 20), Pattern(20, 20), Pattern(20, 20)};
    AnswerFormatChoice(std::nullopt);
    Action("AcquireImageMenuItem")->trigger();
    EXPECT_EQ(formatChoiceShown, "FileFormatChoiceForm");
    EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);

    Options().importasktargetname = true;
    prompts.inputs = {std::nullopt};
    Action("AcquireImageMenuItem")->trigger();
    EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);
    EXPECT_FALSE(fs::exists(Logos()) && !fs::is_empty(Logos()));

    AnswerFormatChoice(pfGIF);
    Action("AcquireImageMenuItem")->trigger();
    EXPECT_EQ(Children(form->LogoTree().Root()), std::vector<std::string>{"importedimage.gif"});
    EXPECT_TRUE(fs::exists(Logos() / "importedimage.gif"));
}

TEST_F(ImportTest, AWriteErrorShowsItsTextAndAddsNoNode)
{
    // A file where the directory's folder should be: nothing can be written into it.
    dir.Write("Logo Directory", "not a folder");
    scanner.pictures = {Pattern(20, 20)};
    Action("AcquireImageMenuItem")->trigger();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "error");
    EXPECT_FALSE(prompts.shown[0].text.empty());
    EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);
}

TEST_F(ImportTest, WithALogoSelectedThePictureGoesIntoItsFolder)
{
    auto record = std::make_unique<TLogoDirObject>();
    record->nodekind = nkFolder;
    record->nodename = "Trips";
    TLogoNode* trips = form->LogoTree().AddChild(form->LogoTree().Root(), "Trips", kFolderImage, std::move(record));
    form->SelectNode(trips);
    openAnswer = source.Write("beach.bmp", EncodePicture(Pattern(40, 40), pfBMP)).string();
    form->Open1Click();
    ASSERT_EQ(form->SelectedNode()->Text(), "beach.bmp");

    Options().importedfileformat = ffJPG;
    scanner.pictures = {Pattern(24, 24)};
    Action("AcquireImageMenuItem")->trigger();
    EXPECT_EQ(Children(trips), (std::vector<std::string>{"beach.bmp", "importedimage.jpg"}));
    EXPECT_TRUE(fs::exists(Logos() / "Trips" / "importedimage.jpg"));
    EXPECT_EQ(form->SelectedNode(), trips->Child(1));
}

TEST_F(ImportTest, NothingFromTheScannerEndsSilentlyAndTheHintsAreOffOnlyWhileItRuns)
{
    QWidget* button = form->findChild<QWidget*>("ImportFromTWAINToolButtonWidget");
    ASSERT_NE(button, nullptr);
    auto hintShown = [button] {
        QToolTip::hideText();
        QHelpEvent e(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(button, &e);
        return QToolTip::isVisible();
    };
    form->show();
    std::optional<bool> shownWhileAcquiring;
    scanner.duringAcquire = [&] { shownWhileAcquiring = hintShown(); };
    Action("AcquireImageMenuItem")->trigger();
    EXPECT_EQ(shownWhileAcquiring, std::optional<bool>(false));
    EXPECT_TRUE(hintShown());
    QToolTip::hideText();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);

    Action("SelectSourceMenuItem")->trigger();
    Action("TBSelectSource")->trigger();
    EXPECT_EQ(scanner.selectParents, (std::vector<QWidget*>{form, form}));
}

TEST(ImportCommandStates, TheImportCommandsFollowTheScannersAvailability)
{
    for (bool available : {false, true}) {
        TTempDir dir, runtime;
        dir.Write("phoneslist.xml", "<phoneslist><make name=\"M\"><model name=\"A\" screenwidth=\"64\" "
                                    "screenheight=\"80\"/></make></phoneslist>");
        TScriptedPrompts prompts;
        TScriptedScanner scanner;
        scanner.available = available;
        TRealPlatform platform(runtime.Path().c_str());
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.scanner = &scanner;
        env.systemProxy = [] { return std::optional<std::string>(); };
        TQuillonApplication app(env);
        app.Start();
        app.MainForm().UpdateCommandStates();
        for (const char* name : {"ImportFromTWAINMenuItem", "ImportFromTWAINToolButton", "AcquireImageMenuItem",
                                 "SelectSourceMenuItem", "TBAcquireImage", "TBSelectSource"})
            EXPECT_EQ(app.MainForm().findChild<QAction*>(name)->isEnabled(), available) << name;
        app.MainForm().ShutdownApplication();
    }
}

} // namespace
