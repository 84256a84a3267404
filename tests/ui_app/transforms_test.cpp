// The convert, mirror, rotate and Save commands run from the main window, with scripted
// prompts and a scripted save dialog.
#include "app/ui/dialogs.h"
#include "app/ui/instancechannel.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "imaging/picturemessages.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QAction>
#include <filesystem>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

TBitmap Gradient(int w, int h)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = x < w / 3 ? 30 : 220;
        }
    return b;
}

class TransformCommandsTest : public ::testing::Test {
protected:
    TransformCommandsTest() : platform(runtime.Path().c_str()), instances(runtime.Path().c_str())
    {
        dir.Write("phoneslist.xml", "<phoneslist><make name=\"M\"><model name=\"A\" screenwidth=\"64\" "
                                    "screenheight=\"80\"/></make></phoneslist>");
        dir.Write("parameters.xml", "<parameters/>");
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.instances = &instances;
        env.systemProxy = [] { return std::optional<std::string>(); };
        env.askOpenFile = [this](const std::string&) { return openAnswer; };
        env.askSaveFile = [this](const std::string& name, const std::string& folder, const std::string& filter,
                                 const std::string& ext) {
            saveAsked.push_back(name + "|" + folder + "|" + filter + "|" + ext);
            return saveAnswer;
        };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        app->Start();
    }
    ~TransformCommandsTest() override { form->ShutdownApplication(); }

    TLogoNode* AddLogo(const std::string& name, TPictureFormat format, int w = 300, int h = 200)
    {
        openAnswer = source.Write(name, EncodePicture(Gradient(w, h), format)).string();
        form->Open1Click();
        return form->SelectedNode();
    }
    fs::path Logos() const { return dir.Path() / "Logo Directory"; }
    QAction* Action(const char* name) { return form->findChild<QAction*>(name); }
    TOptions& Options() { return app->Dialogs().OptionsForm->Options; }

    TTempDir dir, source, runtime, out;
    TScriptedPrompts prompts;
    TRealPlatform platform;
    TInstanceChannel instances;
    std::unique_ptr<TQuillonApplication> app;
    TMainAppForm* form = nullptr;
    std::string openAnswer, saveAnswer;
    std::vector<std::string> saveAsked;
};

TEST_F(TransformCommandsTest, ConvertingRenamesTheShownLogoAndTheMenusFollowItsFormat)
{
    TLogoNode* photo = AddLogo("photo.jpg", pfJPEG);
    EXPECT_FALSE(Action("MMConvertToJPG")->isVisible());
    Action("TBConvertToPNG")->trigger();
    EXPECT_EQ(form->SelectedNode(), photo);
    EXPECT_EQ(photo->Text(), "photo.png");
    EXPECT_TRUE(fs::exists(Logos() / "photo.png"));
    EXPECT_FALSE(fs::exists(Logos() / "photo.jpg"));
    // Shown anew: a new initial frame was placed and the logo rendered from the new file.
    EXPECT_TRUE(photo->Data()->HasFrame());
    ASSERT_NE(form->ActiveSourceImage(), nullptr);
    EXPECT_FALSE(Action("MMConvertToPNG")->isVisible());
    EXPECT_TRUE(Action("MMConvertToJPG")->isVisible());
}

TEST_F(TransformCommandsTest, KeepingSelectsTheNewLogoAfterTheOld)
{
    TLogoNode* photo = AddLogo("photo.jpg", pfJPEG);
    Options().convertretainsource = rsAsk;
    Options().rotateretainsource = rsRetain;
    prompts.choices = {TAnswer::Yes};
    Action("MMConvertToGIF")->trigger();
    EXPECT_EQ(prompts.shown.at(0).text, kMsgKeepAfterConvert);
    TLogoNode* gif = form->SelectedNode();
    ASSERT_NE(gif, photo);
    EXPECT_EQ(gif->Text(), "photo2.gif");
    EXPECT_EQ(gif->Index(), photo->Index() + 1);

    form->SelectNode(photo);
    Action("SIRotate90")->trigger();
    EXPECT_EQ(form->SelectedNode()->Text(), "photo3.jpg");
    ASSERT_NE(form->ActiveSourceImage(), nullptr);
    EXPECT_EQ(form->ActiveSourceImage()->PictureSize().width, 200);
    EXPECT_EQ(form->ActiveSourceImage()->PictureSize().height, 300);
}

TEST_F(TransformCommandsTest, AJPEGTurnedFourTimesFromTheMenuIsTheSameFileAndShownTurnedEachTime)
{
    TLogoNode* photo = AddLogo("photo.jpg", pfJPEG, 320, 240);
    const std::string original = dir.Read("Logo Directory/photo.jpg");
    for (int turn = 1; turn <= 4; ++turn) {
        Action("SIRotate90")->trigger();
        ASSERT_EQ(form->SelectedNode(), photo);
        ASSERT_NE(form->ActiveSourceImage(), nullptr);
        // The picture shown is the new file's, not the one decoded before the turn.
        EXPECT_EQ(form->ActiveSourceImage()->PictureSize().width, turn % 2 ? 240 : 320) << turn;
    }
    EXPECT_EQ(dir.Read("Logo Directory/photo.jpg"), original);
}

TEST_F(TransformCommandsTest, SaveWritesTheFormatOfTheLogosOwnNameAndRemembersTheFolderOnlyOnSuccess)
{
    TLogoNode* beach = AddLogo("beach.png", pfPNG);
    saveAnswer = (out.Path() / "beach.jpg").string();
    Action("SaveToolButton")->trigger();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(out.Read("beach.jpg").substr(1, 3), "PNG");

    // The file exists now: No leaves it as it is.
    out.Write("beach.jpg", "KEEP");
    prompts.answers = {false};
    Action("SaveMenuItem")->trigger();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, std::string(kMsgOverwritePrefix) + saveAnswer + kMsgOverwriteSuffix);
    EXPECT_EQ(out.Read("beach.jpg"), "KEEP");

    // A folder that cannot be written: the error, and the dialog still opens where the
    // last save went.
    saveAnswer = (out.Path() / "missing" / "x.png").string();
    Action("TVSave")->trigger();
    EXPECT_EQ(prompts.shown.back().text, kMsgSaveError);
    Action("TVSave")->trigger();
    const std::string openedIn = "beach.png|" + out.Path().string() + "|";
    ASSERT_EQ(saveAsked.size(), 4u);
    EXPECT_EQ(saveAsked[0], std::string("beach.png||") + kSaveFilter + "|jpg");
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(saveAsked[i].substr(0, openedIn.size()), openedIn);

    // A frame beside the picture: the warning and no dialog.
    beach->Data()->frameleft = 5000;
    prompts.shown.clear();
    Action("SaveMenuItem")->trigger();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, kMsgNoPictureInSelection);
    EXPECT_EQ(saveAsked.size(), 4u);
}

} // namespace
