#include "app/ui/dialogs.h"
#include "app/ui/instancechannel.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "imaging/pictureshow.h"
#include "imaging/ui/pictureview.h"
#include "imaging/ui/qtbitmap.h"
#include "logodir/ui/logotreemodel.h"
#include "options/ui/optionsform.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QScrollArea>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

// Large enough for the quick first look (over two megapixels), small enough to encode
// quickly; the two sizes tell the pictures apart.
TBitmap Photo(int w, int h, int tint)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>(tint + ((x / 64 + y / 64) % 2) * 60);
        }
    return b;
}

class QuickShowTest : public ::testing::Test {
protected:
    QuickShowTest() : platform(runtime.Path().c_str()), instances(runtime.Path().c_str())
    {
        dir.Write("phoneslist.xml", "<phoneslist><make name=\"M\"><model name=\"A\" screenwidth=\"176\" "
                                    "screenheight=\"208\"/></make></phoneslist>");
        dir.Write("parameters.xml", "<parameters/>");
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.instances = &instances;
        env.systemProxy = [] { return std::optional<std::string>(); };
        env.askOpenFile = [this](const std::string&) { return openAnswer; };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        app->Start();
        form->resize(900, 700);
        form->show();
    }
    ~QuickShowTest() override { form->ShutdownApplication(); }

    TLogoNode* AddLogo(const std::string& name, const TBitmap& picture)
    {
        openAnswer = source.Write(name, EncodePicture(picture, pfJPEG)).string();
        form->Open1Click();
        return form->SelectedNode();
    }
    void Select(TLogoNode* node)
    {
        auto* tree = form->findChild<QTreeView*>("LogoTreeView");
        tree->setCurrentIndex(static_cast<TLogoTreeModel*>(tree->model())->IndexOf(node));
    }
    // Until the full picture has come in through the event loop.
    bool WaitForPicture()
    {
        return QTest::qWaitFor([this] { return !form->PictureComing(); }, 20000);
    }
    fs::path LogoFile(TLogoNode* node) const { return dir.Path() / "Logo Directory" / node->Text(); }
    // The logo as the window made it before a quick look existed: on the window's thread,
    // for a copy of the record.
    QImage LogoShownBefore(TLogoNode* node)
    {
        TLogoDirObject record = *node->Data();
        const QSize pane = form->findChild<QScrollArea*>("SourceImageScrollBox")->viewport()->size();
        const TOptions& o = app->Dialogs().OptionsForm->Options;
        TBitmap logo;
        ShowPicture(LogoFile(node).string(), record,
                    {{pane.width(), pane.height()}, form->FitToPane(),
                     {o.fillemptyarea, static_cast<uint32_t>(o.emptyareacolor)}},
                    logo);
        return ImageFromBitmap(logo).convertToFormat(QImage::Format_RGB32);
    }
    TPictureView* View(const char* name) { return form->findChild<TPictureView*>(name); }

    TTempDir dir, source, runtime;
    TScriptedPrompts prompts;
    TRealPlatform platform;
    TInstanceChannel instances;
    std::unique_ptr<TQuillonApplication> app;
    TMainAppForm* form = nullptr;
    std::string openAnswer;
};

TEST_F(QuickShowTest, ALargePhotoShowsAQuickLookThenTheFullPictureAndTheSameLogo)
{
    // Upright, so at its own size its left edge is on screen beside the work area's band.
    TLogoNode* photo = AddLogo("photo.jpg", Photo(1300, 2000, 40));
    for (bool fit : {false, true}) {
        if (fit) {
            // Touched, so it is decoded again rather than taken from memory.
            fs::last_write_time(LogoFile(photo), fs::file_time_type::clock::now());
            form->findChild<QAction*>("Fitimageintopane")->trigger();
        }
        const char* what = fit ? "fitted" : "1:1";
        ASSERT_TRUE(form->PictureComing()) << what;
        ASSERT_NE(form->QuickView(), nullptr) << what;
        EXPECT_EQ(form->QuickView()->Quick().full, (TSize{1300, 2000})) << what;
        EXPECT_FALSE(form->QuickView()->Quick().picture.Empty()) << what;
        // The frame is placed at once, in the full picture's pixels.
        EXPECT_TRUE(photo->Data()->HasFrame()) << what;
        const TLogoDirObject placed = *photo->Data();

        // The pane may settle meanwhile (scroll bars come or go) and show it again: what
        // counts is the last quick look before the full picture.
        QSize quickSize, logoSize;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                if (form->QuickView()) {
                    quickSize = View("SourceImage")->size();
                    logoSize = View("TargetImage")->size();
                }
                return !form->PictureComing();
            },
            20000))
            << what;
        EXPECT_EQ(form->QuickView(), nullptr) << what;
        ASSERT_NE(form->ActiveSourceImage(), nullptr) << what;
        EXPECT_EQ(form->ActiveSourceImage()->PictureSize(), (TSize{1300, 2000})) << what;
        EXPECT_EQ(*photo->Data(), placed) << what;
        // Nothing on screen moves when the full picture replaces the quick one.
        EXPECT_EQ(View("SourceImage")->size(), quickSize) << what;
        EXPECT_EQ(View("TargetImage")->size(), logoSize) << what;
        EXPECT_EQ(View("TargetImage")->Canvas(), LogoShownBefore(photo)) << what;
        EXPECT_TRUE(prompts.shown.empty()) << what;
    }
}

TEST_F(QuickShowTest, AQuickReselectionNeverShowsThePictureLeftBehind)
{
    TLogoNode* first = AddLogo("first.jpg", Photo(2000, 1200, 40));
    TLogoNode* second = AddLogo("second.jpg", Photo(1200, 2000, 200));
    TLogoNode* small = AddLogo("small.jpg", Photo(300, 200, 100));
    ASSERT_TRUE(WaitForPicture());

    // Away to another large picture while the first is still coming.
    fs::last_write_time(LogoFile(first), fs::file_time_type::clock::now());
    Select(first);
    ASSERT_TRUE(form->PictureComing());
    Select(second);
    ASSERT_TRUE(WaitForPicture());
    ASSERT_NE(form->ActiveSourceImage(), nullptr);
    EXPECT_EQ(form->ActiveSourceImage()->PictureSize(), (TSize{1200, 2000}));

    // Away to a small picture, and to the root: the large one never turns up after them.
    for (TLogoNode* next : {small, form->LogoTree().Root()}) {
        fs::last_write_time(LogoFile(first), fs::file_time_type::clock::now());
        Select(first);
        ASSERT_TRUE(form->PictureComing());
        Select(next);
        EXPECT_FALSE(form->PictureComing());
        QApplication::processEvents(); // whatever the left-behind decode posted is handled
        if (next == small) {
            ASSERT_NE(form->ActiveSourceImage(), nullptr);
            EXPECT_EQ(form->ActiveSourceImage()->PictureSize(), (TSize{300, 200}));
        } else {
            EXPECT_EQ(form->ActiveSourceImage(), nullptr);
            EXPECT_EQ(View("SourceImage")->size(), QSize(TPictureView::kEmptySize, TPictureView::kEmptySize));
        }
    }
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(QuickShowTest, ACommandThatNeedsThePictureWaitsForIt)
{
    TLogoNode* photo = AddLogo("photo.jpg", Photo(2000, 1200, 40));
    ASSERT_TRUE(form->PictureComing());
    // What save, upload and the transforms ask for.
    const TSourceImage* shown = form->ShownLogo();
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(form->PictureComing());
    EXPECT_TRUE(shown->FrameCoversPicture());
    EXPECT_EQ(View("TargetImage")->Canvas(), LogoShownBefore(photo));
    QApplication::processEvents();
    EXPECT_EQ(form->ShownLogo(), shown);
}

TEST_F(QuickShowTest, APhotoDamagedPastItsFirstRowsIsReportedWhenTheDecodeEnds)
{
    TLogoNode* photo = AddLogo("photo.jpg", Photo(2000, 1200, 40));
    ASSERT_TRUE(WaitForPicture());
    Select(form->LogoTree().Root());
    const std::string data = EncodePicture(Photo(2000, 1200, 40), pfJPEG);
    std::ofstream(LogoFile(photo), std::ios::binary | std::ios::trunc) << data.substr(0, data.size() / 2);

    Select(photo);
    ASSERT_TRUE(form->PictureComing());
    ASSERT_TRUE(WaitForPicture());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "error");
    EXPECT_EQ(form->ActiveSourceImage(), nullptr);
    EXPECT_FALSE(View("SourceImage")->HasPicture());
    EXPECT_FALSE(View("TargetImage")->HasPicture());
    // The file on disk is left as it is.
    EXPECT_EQ(fs::file_size(LogoFile(photo)), data.size() / 2);
}

} // namespace
