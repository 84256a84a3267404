#include "app/ui/dialogs.h"
#include "app/ui/instancechannel.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "imaging/ui/pictureview.h"
#include "logodir/messages.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QPushButton>
#include <QSpinBox>
#include <QAccessible>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <functional>
#include <filesystem>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

// A picture with something to see: a gradient, so a wrong crop or scale shows.
TBitmap TestPicture(int w, int h)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = 128;
        }
    }
    return b;
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : platform(runtime.Path().c_str()), instances(runtime.Path().c_str())
    {
        dir.Write("phoneslist.xml", "<phoneslist><make name=\"Big\"><model name=\"Wide\" screenwidth=\"480\" "
                                    "screenheight=\"10\"/><model name=\"Normal\" screenwidth=\"176\" "
                                    "screenheight=\"208\"/></make><make name=\"Empty\"/></phoneslist>");
        dir.Write("parameters.xml", "<parameters/>");
        picture = source.Write("photo.jpg", EncodePicture(TestPicture(300, 200), pfJPEG));
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.instances = &instances;
        env.systemProxy = [] { return std::optional<std::string>(); };
        env.grabScreen = [] { return std::optional<TBitmap>(); };  // the grab ends at once
        env.askOpenFile = [this](const std::string& filter) {
            lastFilter = filter;
            return openAnswer;
        };
        env.launchBrowser = [this](const std::string& url) {
            launched.push_back(url);
            return browserError;
        };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        form->CommandTrace = [this](const char* handler) { trace.push_back(handler); };
        // The dialogs of these workflows are modal: answered here on purpose.
        form->SendToFriendWorkflow()->AskMessage = [](const std::string&, std::string&, std::string&, std::string&) {
            return false;
        };
        form->VersionCheck()->AskDownload = [](const std::string&) { return false; };
        app->Start();
    }
    ~MainWindowTest() override { form->ShutdownApplication(); }

    QAction* Action(const char* name) { return form->findChild<QAction*>(name); }
    template <class T>
    T* Control(const char* name)
    {
        return form->findChild<T*>(name);
    }
    TLogoNode* AddLogo()
    {
        openAnswer = picture.string();
        form->Open1Click();
        return form->SelectedNode();
    }

    TTempDir dir, source, runtime;
    fs::path picture;
    TScriptedPrompts prompts;
    TRealPlatform platform;
    TInstanceChannel instances;
    std::unique_ptr<TQuillonApplication> app;
    TMainAppForm* form = nullptr;
    std::vector<std::string> trace;
    std::string openAnswer;
    std::string lastFilter;
    std::vector<std::string> launched;
    std::string browserError;
};

TEST_F(MainWindowTest, EveryCommandItemRunsItsOneHandler)
{
    struct Row {
        const char* handler;
        std::vector<const char*> items;
    };
    const Row rows[] = {
        {"Open1Click", {"Open1", "OpenToolButton", "TVOpen"}},
        {"PasteMenuItemClick", {"PasteMenuItem"}},
        {"SaveMenuItemClick", {"SaveMenuItem", "SaveToolButton", "TVSave"}},
        {"AcquireImageMenuItemClick", {"AcquireImageMenuItem", "TBAcquireImage", "ImportFromTWAINToolButton"}},
        {"SelectSourceMenuItemClick", {"SelectSourceMenuItem", "TBSelectSource"}},
        {"GrabFromScreenToolButtonClick", {"GrabFromScreenMenuItem", "GrabFromScreenToolButton"}},
        {"UploadButtonClick", {"UploadMenuItem", "UploadToolButton", "TVUpload", "SIUpload", "TIUpload"}},
        {"Newfolder1Click", {"Newfolder1", "NewFolderToolButton", "TVNewFolder"}},
        {"RenameMenuItemClick", {"RenameMenuItem", "RenameToolButton", "TVRename"}},
        {"DeleteMenuItemClick", {"DeleteMenuItem", "DeleteToolButton", "TVDelete"}},
        {"ConvertToFileFormatClick", {"MMConvertToBMP", "TBConvertToJPG", "TVConvertToGIF", "SIConvertToPNG"}},
        {"MirrorImageClick", {"MMMirrorHorizontally", "TBMirrorVertically", "TVMirrorHorizontally", "SIMirrorVertically"}},
        {"RotateImageClick", {"MMRotate90", "TBRotate180", "TVRotate270", "SIRotate90"}},
        {"FitimageintopaneClick", {"Fitimageintopane", "FitToPaneToolButton", "SIFitimageintopane"}},
        {"ContentsToolButtonClick", {"Contents1", "ContentsToolButton"}},
        {"FAQMenuItemClick", {"FAQMenuItem"}},
        {"SendToFriendMenuItemClick", {"SendToFriendMenuItem", "SendToFriendToolButton"}},
    };
    openAnswer.clear();                 // Open is cancelled
    prompts.inputs = {std::nullopt, std::nullopt, std::nullopt};
    for (const Row& row : rows) {
        for (const char* item : row.items) {
            SCOPED_TRACE(item);
            QAction* action = Action(item);
            ASSERT_NE(action, nullptr);
            trace.clear();
            action->setEnabled(true);
            action->trigger();
            EXPECT_EQ(trace, std::vector<std::string>{row.handler});
        }
    }
    trace.clear();
    Control<QPushButton>("UploadButton")->setEnabled(true);
    Control<QPushButton>("UploadButton")->click();
    EXPECT_EQ(trace, std::vector<std::string>{"UploadButtonClick"});
}

TEST_F(MainWindowTest, FitImageIntoPaneStaysInStepInItsThreePlaces)
{
    AddLogo();
    Action("FitToPaneToolButton")->trigger();
    for (const char* name : {"Fitimageintopane", "FitToPaneToolButton", "SIFitimageintopane"})
        EXPECT_TRUE(Action(name)->isChecked()) << name;
    Action("SIFitimageintopane")->trigger();
    for (const char* name : {"Fitimageintopane", "FitToPaneToolButton", "SIFitimageintopane"})
        EXPECT_FALSE(Action(name)->isChecked()) << name;
}

TEST_F(MainWindowTest, OpenCopiesThePictureAndSelectsTheNewLogo)
{
    TLogoNode* logo = AddLogo();
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->Text(), "photo.jpg");
    EXPECT_NE(lastFilter.find("All (*.jpg;*.jpeg;*.bmp;*.gif;*.png)|"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir.Path() / "Logo Directory/photo.jpg"));
    auto* view = Control<QTreeView>("LogoTreeView");
    EXPECT_EQ(view->model()->rowCount(view->model()->index(0, 0)), 1);
    EXPECT_EQ(form->ActiveNodeObject(), logo->Data());
    EXPECT_EQ(AddLogo()->Text(), "photo2.jpg");  // into the selected logo's folder
}

TEST_F(MainWindowTest, TheDeleteKeyFollowsTheDeleteCommand)
{
    auto* view = Control<QTreeView>("LogoTreeView");
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::ShiftModifier);
    form->SelectNode(form->LogoTree().Root());
    QApplication::sendEvent(view, &del);
    EXPECT_TRUE(prompts.shown.empty());  // the root is never deleted

    TLogoNode* logo = AddLogo();
    form->SetUploadRunning(true);
    QApplication::sendEvent(view, &del);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgNotDuringUpload});
    form->SetUploadRunning(false);

    prompts.shown.clear();
    QApplication::sendEvent(view, &del);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgConfirmDeleteLogo});
    EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);
    EXPECT_FALSE(fs::exists(dir.Path() / "Logo Directory/photo.jpg"));
    (void)logo;
}

TEST_F(MainWindowTest, EnablingFollowsTheSelection)
{
    struct Row {
        const char* control;
        bool root, folder, logo, logoUploading;
    };
    const Row rows[] = {
        {"SaveMenuItem", false, false, true, true},
        {"TVSave", false, false, true, true},
        {"UploadToolButton", false, false, true, true},
        {"RenameToolButton", false, true, true, true},
        {"DeleteMenuItem", false, true, true, false},
        {"MMConverttoformat", false, false, true, false},
        {"RotateToolButton", false, false, true, false},
        {"Fitimageintopane", false, false, true, true},
        {"GrabFromScreenToolButton", true, true, true, false},
        {"SendToFriendToolButton", true, true, true, true},
        {"ImportFromTWAINMenuItem", false, false, false, false},
    };
    prompts.inputs = {std::string("F")};
    form->Newfolder1Click();
    TLogoNode* folder = form->SelectedNode();
    TLogoNode* logo = AddLogo();
    auto states = [&](TLogoNode* n, bool uploading) {
        form->SelectNode(n);
        form->SetUploadRunning(uploading);
        std::map<std::string, bool> m;
        for (const Row& r : rows)
            m[r.control] = Action(r.control)->isEnabled();
        m["PhoneMake"] = Control<QComboBox>("PhoneMake")->isEnabled();
        m["UploadButton"] = Control<QPushButton>("UploadButton")->isEnabled();
        return m;
    };
    const auto r = states(form->LogoTree().Root(), false), f = states(folder, false), l = states(logo, false),
               lu = states(logo, true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control);
        EXPECT_EQ(r.at(row.control), row.root);
        EXPECT_EQ(f.at(row.control), row.folder);
        EXPECT_EQ(l.at(row.control), row.logo);
        EXPECT_EQ(lu.at(row.control), row.logoUploading);
    }
    EXPECT_FALSE(f.at("PhoneMake"));
    EXPECT_TRUE(l.at("PhoneMake"));
    EXPECT_FALSE(lu.at("PhoneMake"));
    EXPECT_TRUE(lu.at("UploadButton"));
    EXPECT_EQ(Control<QPushButton>("UploadButton")->text(), "Stop upload");
    EXPECT_FALSE(Action("MMConvertToJPG")->isVisible());  // photo.jpg is a JPEG already
    form->SetUploadRunning(false);
    EXPECT_TRUE(Action("MMConvertToPNG")->isVisible());
    EXPECT_EQ(Control<QPushButton>("UploadButton")->text(), "Upload");
}

TEST_F(MainWindowTest, PhoneChoiceGoesIntoTheRecordAndTheTemplate)
{
    TLogoNode* logo = AddLogo();
    auto* make = Control<QComboBox>("PhoneMake");
    auto* model = Control<QComboBox>("PhoneModel");
    make->setCurrentIndex(0);
    emit make->activated(0);
    EXPECT_EQ(model->count(), 2);
    EXPECT_EQ(logo->Data()->phonemakeid, -1);  // a make alone changes nothing
    model->setCurrentIndex(0);
    emit model->activated(0);
    EXPECT_EQ(Control<QSpinBox>("LogoWidth")->value(), 400);
    EXPECT_EQ(Control<QSpinBox>("LogoHeight")->value(), 16);
    EXPECT_EQ(logo->Data()->logowidth, 400);
    EXPECT_EQ(logo->Data()->logoheight, 16);
    EXPECT_EQ(logo->Data()->phonemodelid, 0);
    EXPECT_EQ(form->NewLogoTemplate().logowidth, 400);

    // A folder's settings stay its own.
    prompts.inputs = {std::string("F")};
    form->SelectNode(form->LogoTree().Root());
    form->Newfolder1Click();
    make->setCurrentIndex(0);
    emit make->activated(0);
    model->setCurrentIndex(1);
    emit model->activated(1);
    EXPECT_EQ(form->SelectedNode()->Data()->logowidth, 176);
    EXPECT_EQ(form->NewLogoTemplate().logowidth, 400);

    // Selecting the logo again shows its own settings.
    form->SelectNode(logo);
    EXPECT_EQ(Control<QSpinBox>("LogoWidth")->value(), 400);
    EXPECT_EQ(model->currentIndex(), 0);
}

TEST_F(MainWindowTest, HelpAndFaq)
{
    dir.Write("quillonhelp.hlp", "<html><body><a name=\"contents\"></a>Help text</body></html>");
    Action("ContentsToolButton")->trigger();
    QWidget* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "HelpForm" && w->isVisible())
            help = w;
    }
    ASSERT_NE(help, nullptr);
    form->ShutdownApplication();
    EXPECT_FALSE(help->isVisible());  // closed at shutdown

    Action("FAQMenuItem")->trigger();
    EXPECT_EQ(launched, std::vector<std::string>{"http://localhost:8080/faq.php"});
    browserError = "execvp: No such file or directory /usr/bin/nothing";
    Action("FAQMenuItem")->trigger();
    EXPECT_EQ(prompts.Texts().back(), browserError);
}

TEST_F(MainWindowTest, AWidthChangeReplacesAHandPlacedFrame)
{
    TLogoNode* logo = AddLogo();  // 300 x 200 with a 128 x 128 logo: work area 300 x 300
    ASSERT_NE(form->ActiveSourceImage(), nullptr);
    TLogoDirObject& r = *logo->Data();
    EXPECT_EQ((std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}),
              (std::vector<int>{0, 0, 300, 300}));
    r.frameleft = 40;
    r.framewidth = 100;
    r.frameheight = 100;
    Control<QSpinBox>("LogoWidth")->setValue(256);
    EXPECT_EQ(r.logowidth, 256);
    EXPECT_EQ((std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}),
              (std::vector<int>{0, 0, 400, 200}));  // the work area is 400 x 200 now
    EXPECT_EQ(form->ImageStatusText(2), "Logo Screen: 256x128");
}

TEST_F(MainWindowTest, MouseDragsMoveAndSizeTheFrame)
{
    // 300 x 200 picture, 128 x 128 logo, fit kind "Smaller Dimension": a 200 x 200 frame at
    // (50, 50) of the 300 x 300 work area, shown 1:1.
    TLogoNode* logo = AddLogo();
    TLogoDirObject& r = *logo->Data();
    form->SelectNode(form->LogoTree().Root());
    r.fitkind = fkSmaller;
    r.DiscardFrame();
    form->SelectNode(logo);
    ASSERT_EQ((std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}),
              (std::vector<int>{50, 50, 200, 200}));
    EXPECT_EQ(form->ImageStatusText(0), "Source Image: 300x200");
    EXPECT_EQ(form->ImageStatusText(1), "Source Selection: (50,0):(200x200)");
    EXPECT_EQ(form->ImageStatusText(3), "Logo Image: 128x128");

    struct Step {
        const char* what;
        std::vector<std::pair<int, int>> path;  // down at the first point, moves, up at the last
        std::vector<int> frame;
        const char* selection;
    };
    const Step steps[] = {
        {"move: the frame already fills its bounds", {{150, 150}, {170, 150}, {400, 150}}, {50, 50, 200, 200},
         "Source Selection: (50,0):(200x200)"},
        {"left edge inward, square kept", {{50, 150}, {90, 150}}, {90, 90, 160, 160},
         "Source Selection: (90,40):(160x160)"},
        {"move left, stopped by the bounds", {{150, 150}, {50, 150}}, {50, 90, 160, 160},
         "Source Selection: (50,40):(160x160)"},
        {"bottom-right corner far inward: the minimum", {{209, 249}, {0, 0}}, {50, 90, 16, 16},
         "Source Selection: (50,40):(16x16)"},
        {"outside: nothing", {{10, 10}, {200, 200}}, {50, 90, 16, 16}, "Source Selection: (50,40):(16x16)"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        form->SourceImageMouseDown(s.path.front().first, s.path.front().second);
        for (const auto& [x, y] : s.path)
            form->SourceImageMouseMove(x, y);
        form->SourceImageMouseUp(s.path.back().first, s.path.back().second);
        EXPECT_EQ((std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}), s.frame);
        EXPECT_EQ(form->ImageStatusText(1).toStdString(), s.selection);
    }
}

TEST_F(MainWindowTest, TheLogoFollowsTheFrameOnlyAtButtonUpUnlessAsked)
{
    AddLogo();
    auto logoPixels = [this] { return Control<TPictureView>("TargetImage")->Canvas().copy(); };
    const QImage before = logoPixels();
    form->SourceImageMouseDown(298, 298);  // bottom-right corner of the 300 x 300 frame
    form->SourceImageMouseMove(200, 200);
    EXPECT_EQ(logoPixels(), before);
    form->SourceImageMouseUp(200, 200);
    const QImage after = logoPixels();
    EXPECT_NE(after, before);

    app->Dialogs().OptionsForm->Options.showlogochange = true;
    const TLogoDirObject frameBefore = *form->ActiveNodeObject();
    form->SourceImageMouseDown(201, 201);  // on the corner, in the band around the frame line
    form->SourceImageMouseMove(150, 150);
    EXPECT_NE(form->ActiveNodeObject()->framewidth, frameBefore.framewidth);
    EXPECT_NE(logoPixels(), after);
    form->SourceImageMouseUp(150, 150);
}

TEST_F(MainWindowTest, APictureThatNoLongerDecodesIsReportedAndLeavesTheViewsEmpty)
{
    TLogoNode* logo = AddLogo();
    form->SelectNode(form->LogoTree().Root());
    dir.Write("Logo Directory/photo.jpg", "damaged outside the program");
    form->SelectNode(logo);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "error");
    EXPECT_EQ(form->ActiveSourceImage(), nullptr);
    EXPECT_FALSE(Control<TPictureView>("SourceImage")->HasPicture());
    EXPECT_FALSE(Control<TPictureView>("TargetImage")->HasPicture());
    EXPECT_EQ(form->ImageStatusText(0), "Source Image: ");
    // The rest of the directory keeps working.
    prompts.inputs = {std::string("F")};
    form->SelectNode(form->LogoTree().Root());
    form->Newfolder1Click();
    EXPECT_EQ(form->SelectedNode()->Text(), "F");
}

// The decoded picture is kept while its file is unchanged: a file damaged in place with
// its size and time given back still shows after fit to pane, a pane resize, a settings
// change and selecting it again from another node (nothing decoded it); once the file's
// time changes, the next show decodes it and reports the damage.
TEST_F(MainWindowTest, AnUnchangedPictureIsShownAgainWithoutDecodingIt)
{
    TLogoNode* logo = AddLogo();
    const std::string path = (dir.Path() / "Logo Directory" / "photo.jpg").string();
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    const QImage logoBefore = Control<TPictureView>("TargetImage")->Canvas().copy();
    dir.Write("Logo Directory/photo.jpg", std::string(static_cast<size_t>(before.st_size), 'x'));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    Action("FitToPaneToolButton")->trigger();
    form->resize(form->width() + 40, form->height() + 30);
    QTest::qWait(200); // the pane settles and is shown again
    Control<QSpinBox>("LogoWidth")->setValue(130);
    form->SelectNode(form->LogoTree().Root());
    form->SelectNode(logo);
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_NE(form->ActiveSourceImage(), nullptr);
    EXPECT_EQ(form->ActiveSourceImage()->PictureSize(), (TSize{300, 200}));
    Control<QSpinBox>("LogoWidth")->setValue(128);
    EXPECT_EQ(Control<TPictureView>("TargetImage")->Canvas(), logoBefore);

    const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 5, before.st_mtim.tv_nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    form->SelectNode(form->LogoTree().Root());
    form->SelectNode(logo);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "error");
    EXPECT_EQ(form->ActiveSourceImage(), nullptr);
}

TEST_F(MainWindowTest, PicturesThatFailTheCheckAreNotAdded)
{
    openAnswer = source.Write("tiny.png", EncodePicture(TestPicture(15, 300), pfPNG)).string();
    form->Open1Click();
    openAnswer = source.Write("junk.gif", "GIF89a but nothing else").string();
    form->Open1Click();
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{"Image dimensions must be at least 16x16.",
                                                         "Error loading image. Check if you have enough disk space "
                                                         "and write permissions."}));
    EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);
}

TEST_F(MainWindowTest, FitToPaneScalesTheDisplay)
{
    openAnswer = source.Write("wide.png", EncodePicture(TestPicture(1000, 500), pfPNG)).string();
    form->Open1Click();
    auto* view = Control<TPictureView>("SourceImage");
    EXPECT_EQ(view->size(), QSize(1000, 1000));
    Action("Fitimageintopane")->trigger();
    const QSize pane = form->findChild<QWidget*>("SourceImageScrollBox")->findChild<QWidget*>("qt_scrollarea_viewport")->size();
    const int side = std::min(pane.width(), pane.height());
    EXPECT_EQ(view->size(), QSize(side, side));
}

TEST_F(MainWindowTest, DroppedFilesAreAddedLikeOpenedOnes)
{
    const fs::path tiny = source.Write("tiny.bmp", EncodePicture(TestPicture(8, 8), pfBMP));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(picture.string())),
                  QUrl::fromLocalFile(QString::fromStdString(tiny.string())), QUrl("ftp://example.com/x.jpg")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form, &drop);
    QApplication::processEvents();  // a drop is taken once the dragging program has its answer
    ASSERT_EQ(form->LogoTree().Root()->Count(), 1u);
    EXPECT_EQ(form->LogoTree().Root()->Child(0)->Text(), "photo.jpg");
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Image dimensions must be at least 16x16."});
    EXPECT_EQ(form->SelectedNode(), form->LogoTree().Root()->Child(0));
}

// Sends what the window system would: a press, moves and a release of real buttons.
void Mouse(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST_F(MainWindowTest, ADragEndsWhenItsButtonGoesUpWhateverTookTheRelease)
{
    // A 200 x 200 frame at (50, 50) of the 300 x 300 work area, shown 1:1.
    TLogoNode* logo = AddLogo();
    TLogoDirObject& r = *logo->Data();
    form->SelectNode(form->LogoTree().Root());
    r.fitkind = fkSmaller;
    r.DiscardFrame();
    form->SelectNode(logo);
    auto* view = Control<TPictureView>("SourceImage");
    auto frame = [&] { return std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}; };
    auto logoPixels = [this] { return Control<TPictureView>("TargetImage")->Canvas().copy(); };

    // Only the left button drags.
    Mouse(view, QEvent::MouseButtonPress, 50, 150, Qt::RightButton, Qt::RightButton);
    Mouse(view, QEvent::MouseMove, 90, 150, Qt::NoButton, Qt::RightButton);
    EXPECT_FALSE(form->FrameDragging());
    EXPECT_EQ(frame(), (std::vector<int>{50, 50, 200, 200}));

    struct Ending {
        const char* what;
        std::function<void()> end;
    };
    const Ending endings[] = {
        {"a pop-up menu took the release", [&] {
             Mouse(view, QEvent::MouseButtonPress, 150, 150, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
             QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(150, 150), QPoint(150, 150));
             QApplication::sendEvent(Control<QWidget>("SourceImageScrollBox"), &menu);
             Control<QMenu>("SourceImagePopupMenu")->hide();
         }},
        {"the release went elsewhere", [] {}},
        {"Esc", [&] {
             QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(view, &esc);
         }},
        {"the window lost activation", [&] {
             QEvent deactivate(QEvent::WindowDeactivate);
             QApplication::sendEvent(form, &deactivate);
         }},
    };
    int left = 50;
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.what);
        form->SelectNode(form->LogoTree().Root());
        r.DiscardFrame();
        form->SelectNode(logo);
        const QImage before = logoPixels();
        Mouse(view, QEvent::MouseButtonPress, left, 150, Qt::LeftButton, Qt::LeftButton);
        Mouse(view, QEvent::MouseMove, left + 40, 150, Qt::NoButton, Qt::LeftButton);
        ASSERT_EQ(frame(), (std::vector<int>{90, 90, 160, 160}));  // the left edge, square kept
        ending.end();
        // The pointer wanders with no button down: the frame stays where the last move put it.
        Mouse(view, QEvent::MouseMove, 130, 150, Qt::NoButton, Qt::NoButton);
        Mouse(view, QEvent::MouseMove, 20, 30, Qt::NoButton, Qt::NoButton);
        EXPECT_FALSE(form->FrameDragging());
        EXPECT_EQ(frame(), (std::vector<int>{90, 90, 160, 160}));
        EXPECT_NE(logoPixels(), before);  // rendered for the frame it ended with
        EXPECT_EQ(form->ImageStatusText(1), "Source Selection: (90,40):(160x160)");
    }

    // A drag never carries over to another logo.
    Mouse(view, QEvent::MouseButtonPress, 90, 150, Qt::LeftButton, Qt::LeftButton);
    TLogoNode* other = AddLogo();
    const TLogoDirObject placed = *other->Data();
    form->SourceImageMouseMove(10, 10);
    EXPECT_FALSE(form->FrameDragging());
    EXPECT_EQ(*other->Data(), placed);
}

TEST_F(MainWindowTest, DeleteAndF2ActOnTheTreeOnly)
{
    TLogoNode* logo = AddLogo();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    prompts.answers = {false};
    prompts.inputs = {std::nullopt};
    for (QWidget* w : {static_cast<QWidget*>(Control<QComboBox>("PhoneMake")), Control<QWidget>("LogoWidth"),
                       Control<QWidget>("ImageWapShortURL"), Control<QWidget>("SourceImage")}) {
        SCOPED_TRACE(w->objectName().toStdString());
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Delete);
        QTest::keyClick(w, Qt::Key_F2);
        EXPECT_TRUE(prompts.shown.empty());
    }
    auto* tree = Control<QTreeView>("LogoTreeView");
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F2);
    QTest::keyClick(tree, Qt::Key_Delete);
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].kind, "input");
    EXPECT_EQ(prompts.shown[1].text, kMsgConfirmDeleteLogo);
    // The menu items work from everywhere.
    Control<QComboBox>("PhoneMake")->setFocus();
    prompts.answers = {true};
    Action("DeleteMenuItem")->trigger();
    EXPECT_EQ(form->LogoTree().Root()->Count(), 0u);
    (void)logo;
}

TEST_F(MainWindowTest, AFitKindChosenWithoutAClickPlacesTheFrameLikeAClick)
{
    TLogoNode* logo = AddLogo();  // 300 x 200, "Bigger Dimension": the frame covers the 300 x 300 work area
    TLogoDirObject& r = *logo->Data();
    auto* smaller = Control<QRadioButton>("FitInto2");
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(smaller);
    ASSERT_NE(acc, nullptr);
    ASSERT_NE(acc->actionInterface(), nullptr);
    const QStringList actions = acc->actionInterface()->actionNames();
    acc->actionInterface()->doAction(actions.contains(QAccessibleActionInterface::toggleAction())
                                         ? QAccessibleActionInterface::toggleAction()
                                         : QAccessibleActionInterface::pressAction());
    QTest::qWait(300);  // an accessible press is an animated click
    EXPECT_EQ(r.fitkind, fkSmaller);
    EXPECT_EQ((std::vector<int>{r.frameleft, r.frametop, r.framewidth, r.frameheight}),
              (std::vector<int>{50, 50, 200, 200}));
    // The keyboard too.
    Control<QRadioButton>("FitInto1")->setFocus();
    Control<QRadioButton>("FitInto1")->setChecked(true);
    EXPECT_EQ(r.fitkind, fkHeight);
}

TEST_F(MainWindowTest, TheRootOrAFolderLeavesBothViewsEmptyInTheirCorner)
{
    AddLogo();
    form->SelectNode(form->LogoTree().Root());
    for (const char* name : {"SourceImage", "TargetImage"}) {
        auto* view = Control<TPictureView>(name);
        EXPECT_EQ(view->geometry(), QRect(0, 0, 10, 10)) << name;
        EXPECT_FALSE(view->HasPicture()) << name;
    }
}

} // namespace
