// The import commands from the main window, with a scripted scanner and prompts.
#include "acquire/acquiremessages.h"
#include "logodir/messages.h"
#include "ui_acquire/acquiretest.h"

#include <QHelpEvent>
#include <QToolTip>

namespace {

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

using ImportTest = AcquireTest;

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

// The real program's adapters with a scripted scanner, for the command states alone.
struct TCommandStateRig {
    TTempDir dir, runtime;
    TScriptedPrompts prompts;
    TScriptedScanner scanner;
    TRealPlatform platform{runtime.Path().c_str()};

    TAppEnvironment Environment()
    {
        dir.Write("phoneslist.xml", "<phoneslist><make name=\"M\"><model name=\"A\" screenwidth=\"64\" "
                                    "screenheight=\"80\"/></make></phoneslist>");
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.scanner = &scanner;
        env.systemProxy = [] { return std::optional<std::string>(); };
        return env;
    }
};

TEST(ImportCommandStates, TheImportCommandsFollowTheScannersAvailability)
{
    for (bool available : {false, true}) {
        TCommandStateRig rig;
        rig.scanner.available = available;
        TQuillonApplication app(rig.Environment());
        app.Start();
        app.MainForm().UpdateCommandStates();
        for (const char* name : {"ImportFromTWAINMenuItem", "ImportFromTWAINToolButton", "AcquireImageMenuItem",
                                 "SelectSourceMenuItem", "TBAcquireImage", "TBSelectSource"})
            EXPECT_EQ(app.MainForm().findChild<QAction*>(name)->isEnabled(), available) << name;
        app.MainForm().ShutdownApplication();
        AcquireTest::ClearQuitRequest();
    }
}

TEST(ImportCommandStates, AScannerFoundAfterTheWindowIsUpEnablesTheCommandsThen)
{
    TCommandStateRig rig;
    TScriptedScanner& scanner = rig.scanner;
    scanner.available = false;
    {
        TQuillonApplication app(rig.Environment());
        app.Start();
        app.MainForm().UpdateCommandStates();
        QAction* acquire = app.MainForm().findChild<QAction*>("AcquireImageMenuItem");
        EXPECT_FALSE(acquire->isEnabled());
        ASSERT_TRUE(scanner.listener);
        scanner.available = true;
        scanner.listener();
        EXPECT_TRUE(acquire->isEnabled());
        app.MainForm().ShutdownApplication();
        AcquireTest::ClearQuitRequest();
    }
    // The window is gone: a late list must not call into it.
    EXPECT_FALSE(scanner.listener);
}

} // namespace
