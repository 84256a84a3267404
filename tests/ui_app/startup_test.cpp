#include "app/ui/dialogs.h"
#include "app/ui/instancechannel.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QAction>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;

namespace {

const char* const kAppFiles[] = {"appstate.xml", "options.xml", "logodirectory.xml"};

// One application folder with the shipped data files, and a private runtime folder so
// that tests never find a copy of the program started by someone else.
class StartupTest : public ::testing::Test {
protected:
    StartupTest() : platform(runtime.Path().c_str()), instances(runtime.Path().c_str())
    {
        std::filesystem::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/phoneslist.xml", dir.Path() / "phoneslist.xml");
        std::filesystem::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/parameters.xml", dir.Path() / "parameters.xml");
    }

    // The user's files and the shipped ones in dir unless folders says otherwise.
    TAppEnvironment Env(TInstanceChannel* channel = nullptr, std::optional<TAppFolders> folders = {})
    {
        TAppEnvironment env = platform.Environment(folders.value_or(TAppFolders{dir.AppDir(), dir.AppDir()}));
        env.prompts = &prompts;
        env.instances = channel ? channel : &instances;
        env.systemProxy = [] { return std::optional<std::string>(); };
        return env;
    }

    int AppFilesPresent() const
    {
        int n = 0;
        for (const char* f : kAppFiles)
            n += dir.Exists(f) ? 1 : 0;
        return n;
    }
    void RemoveAppFiles() const
    {
        for (const char* f : kAppFiles)
            std::filesystem::remove(dir.Path() / f);
    }
    static void Pump()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }

    TTempDir dir;
    TTempDir runtime;
    TScriptedPrompts prompts;
    TRealPlatform platform;
    TInstanceChannel instances;
};

TEST_F(StartupTest, FirstRunShowsTheRootAndWritesEmptyFilesAtExit)
{
    TQuillonApplication app(Env());
    TMainAppForm& form = app.MainForm();
    EXPECT_EQ(form.windowTitle(), "Quillon");
    EXPECT_EQ(form.size(), QSize(800, 608));
    EXPECT_EQ(form.minimumSize(), QSize(800, 550));
    ASSERT_TRUE(app.Start());
    form.FormActivate();
    EXPECT_TRUE(form.ActivatedOnce());

    auto* view = form.findChild<QTreeView*>("LogoTreeView");
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->model()->rowCount(), 1);
    EXPECT_EQ(view->model()->index(0, 0).data().toString(), "Logo Directory");
    EXPECT_EQ(view->model()->rowCount(view->model()->index(0, 0)), 0);
    EXPECT_FALSE(form.PhoneMakes().makes.empty());
    EXPECT_EQ(AppFilesPresent(), 0);

    form.Exit1Click();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_NE(dir.Read("logodirectory.xml").find("<logodirectory/>"), std::string::npos);
    EXPECT_NE(dir.Read("appstate.xml").find("<appstate/>"), std::string::npos);
    EXPECT_TRUE(dir.Exists("options.xml"));
}

TEST_F(StartupTest, ASystemInstallReadsItsShippedFilesAndWritesOnlyTheUserFolder)
{
    TTempDir user;
    {
        TQuillonApplication app(Env(nullptr, TAppFolders{user.AppDir(), dir.AppDir()}));
        ASSERT_TRUE(app.Start());
        app.MainForm().FormActivate();
        EXPECT_FALSE(app.MainForm().PhoneMakes().makes.empty());
        app.MainForm().Exit1Click();
    }
    EXPECT_TRUE(prompts.shown.empty());
    for (const char* f : kAppFiles)
        EXPECT_TRUE(user.Exists(f)) << f;
    std::vector<std::string> shipped;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        shipped.push_back(entry.path().filename().string());
    std::sort(shipped.begin(), shipped.end());
    EXPECT_EQ(shipped, (std::vector<std::string>{"parameters.xml", "phoneslist.xml"}));
}

TEST_F(StartupTest, ExitAndCloseEachWriteTheFilesExactlyOnce)
{
    for (bool byExit : {true, false}) {
        SCOPED_TRACE(byExit ? "Exit" : "close");
        RemoveAppFiles();
        TQuillonApplication app(Env());
        ASSERT_TRUE(app.Start());
        Pump();
        if (byExit)
            app.MainForm().Exit1Click();
        else
            app.MainForm().close();
        Pump();
        EXPECT_EQ(AppFilesPresent(), 3);

        // Whatever else closes the window now must not write them again.
        RemoveAppFiles();
        app.MainForm().close();
        app.MainForm().Exit1Click();
        Pump();
        EXPECT_EQ(AppFilesPresent(), 0);
    }
}

TEST_F(StartupTest, SelectionIsRestoredAtTheNextStart)
{
    std::filesystem::create_directories(dir.Path() / "Logo Directory/F");
    dir.Write("Logo Directory/F/a.jpg", "x");
    dir.Write("logodirectory.xml", "<logodirectory><logodirnode nodekind=\"folder\" nodename=\"F\">"
                                   "<logodirnode nodekind=\"logo\" nodename=\"a.jpg\"/></logodirnode></logodirectory>");
    {
        TQuillonApplication app(Env());
        ASSERT_TRUE(app.Start());
        TMainAppForm& form = app.MainForm();
        TLogoNode* a = form.LogoTree().Root()->Child(0)->Child(0);
        form.SelectNode(a);
        EXPECT_EQ(form.ActiveNodeObject(), a->Data());
        form.Exit1Click();
    }
    EXPECT_NE(dir.Read("appstate.xml").find("value=\"F/a.jpg\""), std::string::npos);

    TQuillonApplication app(Env());
    ASSERT_TRUE(app.Start());
    TMainAppForm& form = app.MainForm();
    form.FormActivate();
    TLogoNode* folder = form.LogoTree().Root()->Child(0);
    EXPECT_EQ(form.SelectedNode(), folder->Child(0));
    auto* view = form.findChild<QTreeView*>("LogoTreeView");
    EXPECT_TRUE(view->isExpanded(view->model()->index(0, 0, view->model()->index(0, 0))));

    // Only the first activation reads the state again.
    form.SelectNode(folder);
    form.FormActivate();
    EXPECT_EQ(form.SelectedNode(), folder);
    form.Exit1Click();
}

TEST_F(StartupTest, ASecondCopyActivatesTheFirstAndWritesNothing)
{
    TQuillonApplication first(Env());
    ASSERT_TRUE(first.Start());
    int activations = 0;
    QObject::connect(&instances, &TInstanceChannel::ActivateRequested, [&] { ++activations; });

    TInstanceChannel secondChannel(runtime.Path().c_str());
    {
        TQuillonApplication second(Env(&secondChannel));
        EXPECT_TRUE(second.TerminateRequested());
        EXPECT_FALSE(second.Start());
        EXPECT_EQ(second.MainForm().windowTitle(), "Quillon");
    }
    for (int i = 0; i < 50 && activations == 0; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(AppFilesPresent(), 0);
    EXPECT_FALSE(first.TerminateRequested());
    first.MainForm().Exit1Click();
    EXPECT_EQ(AppFilesPresent(), 3);
}

TEST_F(StartupTest, ASecondCopyHandsThePicturesOnItsCommandLineToTheFirst)
{
    TTempDir source;
    // A name that percent-encoding could get wrong, and a picture that fails Open's check.
    const std::string odd = source.Write("beach 100%25 \xc3\xa9t\xc3\xa9.png", EncodePicture(TBitmap(40, 30), pfPNG));
    const std::string tiny = source.Write("tiny.png", EncodePicture(TBitmap(8, 8), pfPNG));
    TQuillonApplication first(Env());
    ASSERT_TRUE(first.Start());
    first.MainForm().FormActivate();
    TLogoNode* root = first.MainForm().LogoTree().Root();

    TInstanceChannel secondChannel(runtime.Path().c_str());
    {
        TAppEnvironment env = Env(&secondChannel);
        env.openFiles = {odd, tiny};
        TQuillonApplication second(env);
        EXPECT_TRUE(second.TerminateRequested());
        EXPECT_FALSE(second.Start());
    }
    for (int i = 0; i < 50 && prompts.shown.empty(); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(root->Count(), 1u);
    EXPECT_EQ(root->Child(0)->Text(), "beach 100%25 \xc3\xa9t\xc3\xa9.png");
    EXPECT_EQ(dir.Read("Logo Directory/beach 100%25 \xc3\xa9t\xc3\xa9.png"), source.Read("beach 100%25 \xc3\xa9t\xc3\xa9.png"));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Image dimensions must be at least 16x16."});
    EXPECT_EQ(AppFilesPresent(), 0);  // the second copy wrote nothing
    first.MainForm().Exit1Click();
}

TEST_F(StartupTest, OpenRequestsCarryAnyAbsolutePathAndNothingElse)
{
    TInstanceChannel receiver(runtime.Path().c_str());
    ASSERT_TRUE(receiver.Claim("Test"));
    QStringList opened;
    int activations = 0;
    QObject::connect(&receiver, &TInstanceChannel::OpenRequested, [&](const QString& p) { opened << p; });
    QObject::connect(&receiver, &TInstanceChannel::ActivateRequested, [&] { ++activations; });
    const QString odd = QString::fromUtf8("/tmp/two\nlines 100% \xc3\xa9.png");
    TInstanceChannel sender(runtime.Path().c_str());
    // A relative path means nothing in another copy's working folder.
    ASSERT_TRUE(sender.Send("Test", {"activate", TInstanceChannel::OpenRequest(odd), "open relative.png",
                                     TInstanceChannel::OpenRequest("/b.jpg")}));
    for (int i = 0; i < 50 && opened.size() < 2; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    Pump();
    EXPECT_EQ(opened, (QStringList{odd, "/b.jpg"}));
    EXPECT_EQ(activations, 1);
}

TEST_F(StartupTest, PicturesNamedAtTheStartJoinTheFolderSelectedLastTime)
{
    TTempDir source;
    const std::string a = source.Write("a.png", EncodePicture(TBitmap(40, 30), pfPNG));
    const std::string b = source.Write("b.png", EncodePicture(TBitmap(30, 40), pfPNG));
    std::filesystem::create_directories(dir.Path() / "Logo Directory/F");
    dir.Write("logodirectory.xml", "<logodirectory><logodirnode nodekind=\"folder\" nodename=\"F\"/></logodirectory>");
    dir.Write("appstate.xml", "<appstate><activenodepath value=\"F\"/></appstate>");

    TAppEnvironment env = Env();
    env.openFiles = {a, b};
    TQuillonApplication app(env);
    ASSERT_TRUE(app.Start());
    TMainAppForm& form = app.MainForm();
    form.FormActivate();
    Pump();
    TLogoNode* folder = form.LogoTree().Root()->Child(0);
    ASSERT_EQ(folder->Count(), 2u);
    EXPECT_EQ(folder->Child(0)->Text(), "a.png");
    EXPECT_EQ(folder->Child(1)->Text(), "b.png");
    EXPECT_EQ(form.SelectedNode(), folder->Child(1));
    EXPECT_TRUE(prompts.shown.empty());
    // A later activation adds nothing more.
    form.FormActivate();
    Pump();
    EXPECT_EQ(folder->Count(), 2u);
    form.Exit1Click();
}

TEST_F(StartupTest, TheWindowsArrangementComesBackAtTheNextStart)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QSize size;
    {
        TQuillonApplication app(Env());
        ASSERT_TRUE(app.Start());
        Pump();
        TMainAppForm& form = app.MainForm();
        // The screen's room less the frame bounds the width; the height differs from the default.
        size = QSize(std::min(form.minimumWidth() + 20, area.width() - (form.frameGeometry().width() - form.width())), 570);
        form.resize(size);
        form.move(area.topLeft() + QPoint(0, 10));
        Pump();
        auto* vertical = form.findChild<QSplitter*>("VerticalSplitter");
        auto* horizontal = form.findChild<QSplitter*>("HorizontalSplitter");
        vertical->setSizes({260, vertical->width() - 260 - vertical->handleWidth()});
        horizontal->setSizes({150, horizontal->height() - 150 - horizontal->handleWidth()});
        form.FitimageintopaneClick(true);
        form.Exit1Click();
    }
    const std::string appState = dir.Read("appstate.xml");
    ASSERT_TRUE(dir.Exists("windowlayout.xml"));

    TQuillonApplication app(Env());
    ASSERT_TRUE(app.Start());
    Pump();
    TMainAppForm& form = app.MainForm();
    EXPECT_EQ(form.size(), size);
    EXPECT_EQ(form.pos(), area.topLeft() + QPoint(0, 10));
    EXPECT_EQ(form.findChild<QSplitter*>("VerticalSplitter")->sizes()[0], 260);
    EXPECT_EQ(form.findChild<QSplitter*>("HorizontalSplitter")->sizes()[0], 150);
    EXPECT_TRUE(form.FitToPane());
    EXPECT_TRUE(form.findChild<QAction*>("SIFitimageintopane")->isChecked());
    form.Exit1Click();
    EXPECT_EQ(dir.Read("appstate.xml"), appState);  // appstate.xml holds what it always held
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(StartupTest, AMaximisedWindowComesBackMaximisedAndKeepsItsNormalSize)
{
    QSize normal;
    {
        TQuillonApplication app(Env());
        ASSERT_TRUE(app.Start());
        Pump();
        // The narrowest the 800-wide offscreen screen leaves beside the frame.
        normal = QSize(app.MainForm().minimumWidth(), 560);
        app.MainForm().resize(normal);
        Pump();
        app.MainForm().showMaximized();
        Pump();
        app.MainForm().Exit1Click();
    }
    const std::string stored =
        "width=\"" + std::to_string(normal.width()) + "\" height=\"560\" maximized=\"1\"";
    EXPECT_NE(dir.Read("windowlayout.xml").find(stored), std::string::npos) << dir.Read("windowlayout.xml");
    TQuillonApplication app(Env());
    ASSERT_TRUE(app.Start());
    Pump();
    EXPECT_TRUE(app.MainForm().isMaximized());
    app.MainForm().showNormal();
    Pump();
    EXPECT_EQ(app.MainForm().size(), normal);
    app.MainForm().Exit1Click();
}

TEST_F(StartupTest, AStoredWindowIsFittedOntoTheScreenAndADamagedOneIgnored)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    dir.Write("windowlayout.xml", "<windowlayout><window x=\"-4000\" y=\"9000\" width=\"5000\" height=\"4000\" "
                                  "maximized=\"0\"/></windowlayout>");
    {
        TQuillonApplication app(Env());
        ASSERT_TRUE(app.Start());
        Pump();
        const QRect placed(app.MainForm().pos(), app.MainForm().size());
        EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                           << placed.height();
        app.MainForm().Exit1Click();
    }
    for (const char* damaged : {"<windowlayout><window x=\"1\"", "<windowlayout><window width=\"-1\"/></windowlayout>"}) {
        dir.Write("windowlayout.xml", damaged);
        TQuillonApplication app(Env());
        ASSERT_TRUE(app.Start());
        Pump();
        // The default size, as far as the screen holds it with the frame.
        const QSize frame = app.MainForm().frameGeometry().size() - app.MainForm().size();
        EXPECT_EQ(app.MainForm().size(), QSize(800, 608).boundedTo(area.size() - frame));
        EXPECT_FALSE(app.MainForm().FitToPane());
        app.MainForm().Exit1Click();
    }
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(StartupTest, ASocketLeftByACrashedCopyDoesNotBlockTheNextStart)
{
    runtime.Write("Quillon", "");  // an ordinary file where the socket would be
    TQuillonApplication app(Env());
    EXPECT_FALSE(app.TerminateRequested());
    TInstanceChannel probe(runtime.Path().c_str());
    EXPECT_TRUE(probe.Exists("Quillon"));
    app.MainForm().Exit1Click();
}

TEST_F(StartupTest, AMissingPhoneListEndsTheProgramWithoutWritingFiles)
{
    std::filesystem::remove(dir.Path() / "phoneslist.xml");
    {
        TQuillonApplication app(Env());
        EXPECT_TRUE(app.TerminateRequested());
        EXPECT_FALSE(app.Start());
    }
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Unexpected error occurred during application initialization."});
    EXPECT_EQ(AppFilesPresent(), 0);
}

TEST_F(StartupTest, DamagedFilesAreReportedAndStartUpGoesOn)
{
    std::filesystem::create_directories(dir.Path() / "Logo Directory");
    dir.Write("Logo Directory/a.jpg", "x");
    dir.Write("parameters.xml", "<parameters>");
    dir.Write("logodirectory.xml", "<logodirectory><logodirnode nodekind=\"logo\" nodename=\"a.jpg\"/>");
    dir.Write("options.xml", "<nonsense/>");
    dir.Write("appstate.xml", "<wrong/>");
    TQuillonApplication app(Env());
    ASSERT_TRUE(app.Start());
    app.MainForm().FormActivate();
    const std::vector<std::string> texts = prompts.Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_FALSE(texts[0].empty());  // the XML library's text for parameters.xml
    EXPECT_EQ(texts[1], "Error loading mobile logo directory.\n\nThe file was kept unchanged as \"" +
                            (dir.Path() / "logodirectory.xml.bad").string() + "\".");
    EXPECT_EQ(texts[2], "Options file is corrupt.");
    EXPECT_EQ(texts[3], "Application state file is corrupt.");
    EXPECT_EQ(app.MainForm().ServiceParameters().GetParameter("uploadhost"), "localhost:8080");

    app.MainForm().Exit1Click();
    // The unreadable directory file is kept once, and what could be read of it is written back.
    EXPECT_EQ(dir.Read("logodirectory.xml.bad"), "<logodirectory><logodirnode nodekind=\"logo\" nodename=\"a.jpg\"/>");
    EXPECT_FALSE(dir.Exists("logodirectory.xml.bad2"));
    EXPECT_NE(dir.Read("logodirectory.xml").find("nodename=\"a.jpg\""), std::string::npos);
}

TEST_F(StartupTest, DialogsExistWithTheirTitles)
{
    TQuillonApplication app(Env());
    TDialogs& d = app.Dialogs();
    EXPECT_EQ(d.OptionsForm->windowTitle(), "Quillon Options");
    EXPECT_EQ(d.AccessURLHintForm->windowTitle(), "Access URL Hint");
    EXPECT_EQ(d.AboutBox->windowTitle(), "About");
    EXPECT_EQ(d.FileFormatChoiceForm->windowTitle(), "Graphic file format choice");
    auto* menu = app.MainForm().menuBar();
    ASSERT_FALSE(menu->actions().isEmpty());
    EXPECT_EQ(menu->actions()[0]->text(), "&File");
}


TEST_F(StartupTest, AMissingAdapterIsAStartUpErrorNotACommandThatDoesNothing)
{
    const std::pair<const char*, std::function<void(TAppEnvironment&)>> cases[] = {
        {"askOpenFile", [](TAppEnvironment& e) { e.askOpenFile = nullptr; }},
        {"askSaveFile", [](TAppEnvironment& e) { e.askSaveFile = nullptr; }},
        {"pickColor", [](TAppEnvironment& e) { e.pickColor = nullptr; }},
        {"launchBrowser", [](TAppEnvironment& e) { e.launchBrowser = nullptr; }},
        {"grabScreen", [](TAppEnvironment& e) { e.grabScreen = nullptr; }},
        {"removeFile", [](TAppEnvironment& e) { e.removeFile = nullptr; }},
        {"prompts", [](TAppEnvironment& e) { e.prompts = nullptr; }},
        {"systemProxy", [](TAppEnvironment& e) { e.systemProxy = nullptr; }},
    };
    for (const auto& [name, unwire] : cases) {
        SCOPED_TRACE(name);
        TAppEnvironment env = Env();
        unwire(env);
        try {
            TQuillonApplication app(env);
            ADD_FAILURE() << "started without " << name;
        } catch (const std::logic_error& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(AppFilesPresent(), 0);
}

TEST_F(StartupTest, FaqShowsTheSystemsReasonWhenTheBrowserCannotStart)
{
    // The real browser launch, pointed at a program that does not exist.
    const QByteArray saved = qgetenv("BROWSER");
    qputenv("BROWSER", "/nonexistent/quillon-test-browser");
    TQuillonApplication app(Env());
    ASSERT_TRUE(app.Start());
    app.MainForm().FAQMenuItemClick();
    qputenv("BROWSER", saved);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "error");
    EXPECT_NE(prompts.shown[0].text.find("/nonexistent/quillon-test-browser"), std::string::npos);
    app.MainForm().ShutdownApplication();
}

TEST_F(StartupTest, HandEditedLogoSizesAreKeptInRangeAndTheFrameIsPlacedAnew)
{
    dir.Write("Logo Directory/big.bmp", EncodePicture(TBitmap(300, 200), pfBMP));
    dir.Write("logodirectory.xml",
              "<logodirectory><logodirnode nodekind=\"logo\" nodename=\"big.bmp\" logowidth=\"5000\" "
              "logoheight=\"2147483647\" frameleft=\"2147483600\" frametop=\"0\" framewidth=\"2147483647\" "
              "frameheight=\"5000\" fitkind=\"bigger\" keepproportions=\"yes\"/></logodirectory>");
    TQuillonApplication app(Env());
    ASSERT_TRUE(app.Start());
    TMainAppForm& form = app.MainForm();
    TLogoNode* logo = form.LogoTree().Root()->Child(0);
    form.SelectNode(logo);
    ASSERT_NE(form.ActiveSourceImage(), nullptr);
    const TLogoDirObject& r = *logo->Data();
    EXPECT_EQ(r.logowidth, 400);
    EXPECT_EQ(r.logoheight, 400);
    // A 300 x 200 picture in a square work area: 300 x 300, the frame over all of it.
    EXPECT_EQ((std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}),
              (std::vector<int>{0, 0, 300, 300}));
    EXPECT_EQ(form.ImageStatusText(2), "Logo Screen: 400x400");
    EXPECT_TRUE(prompts.shown.empty());
    form.ShutdownApplication();
}

} // namespace
