// Nothing the user confirmed is lost: deleted pictures go to the desktop's trash, and the
// user's files are written a moment after each change, not only at shutdown.
#include "app/ui/autosaver.h"
#include "app/ui/mainappform.h"
#include "app/ui/platformadapters.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "logodir/messages.h"

#include "support/scriptedprompts.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TScopedEnv;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

// Lets the pending save run, the way the event loop would once its time is up.
void RunDueSave(TAutoSaver& saver)
{
    ASSERT_TRUE(saver.Timer()->isActive()) << "no save pending";
    saver.Timer()->start(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !saver.Timer()->isActive(); }));
}

TEST(AutoSaver, WritesWhatChangedOnceItSettlesAndRetriesWhatFailed)
{
    std::string a = "a1", b = "b1";
    std::vector<std::string> writes;
    bool failA = false;
    TScriptedPrompts prompts;
    TAutoSaver saver({{[&] { return a; },
                       [&](TPrompts& p) {
                           writes.push_back(a);
                           if (failA)
                               p.Error("cannot write " + a);
                           return !failA;
                       }},
                      {[&] { return b; }, [&](TPrompts&) { writes.push_back(b); return true; }}},
                     prompts);
    saver.Changed();
    EXPECT_FALSE(saver.Timer()->isActive()) << "nothing is written before the files are loaded";

    saver.Start();
    saver.SaveChanges();
    EXPECT_TRUE(writes.empty()) << "what was loaded is not written again";

    a = "a2";
    saver.Changed();
    EXPECT_EQ(saver.Timer()->interval(), TAutoSaver::kDelayMs);
    RunDueSave(saver);
    EXPECT_EQ(writes, std::vector<std::string>{"a2"});

    // A failed write is tried again with the next change, the other file only once; the
    // failure is shown once, not at every retry, and again after a write has succeeded.
    failA = true;
    a = "a3", b = "b2";
    saver.Changed();
    RunDueSave(saver);
    saver.Changed();
    RunDueSave(saver);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"cannot write a3"});
    failA = false;
    saver.Changed();
    RunDueSave(saver);
    EXPECT_EQ(writes, (std::vector<std::string>{"a2", "a3", "b2", "a3", "a3"}));
    failA = true;
    a = "a4";
    saver.Changed();
    RunDueSave(saver);
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{"cannot write a3", "cannot write a4"}));
    writes.clear();
    failA = false;

    writes.clear();
    saver.Stop();
    a = "a5";
    saver.Changed();
    saver.SaveChanges();
    EXPECT_TRUE(writes.empty()) << "stopped for the shutdown";
}

TEST(AutoSaver, TheUsersInputCountsAsAChange)
{
    TScriptedPrompts prompts;
    TAutoSaver saver({{[] { return std::string(); }, [](TPrompts&) { return true; }}}, prompts);
    QWidget widget;
    saver.Start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    EXPECT_FALSE(saver.Timer()->isActive()) << "an edit is complete when the key is let go";
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
    EXPECT_TRUE(saver.Timer()->isActive());
}

class NothingLostTest : public ::testing::Test {
protected:
    NothingLostTest() : platform(runtime.Path().c_str()), dataHome("XDG_DATA_HOME", (home.Path() / "share").string())
    {
        for (const char* file : {"phoneslist.xml", "parameters.xml"})
            fs::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/" + file, dir.Path() / file);
        picture = source.Write("photo.bmp", EncodePicture(TBitmap(40, 30), pfBMP));
    }
    // The program starts here, so a test may lay out the application folder first.
    void SetUp() override
    {
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.systemProxy = [] { return std::optional<std::string>(); };
        env.askOpenFile = [this](const std::string&) { return picture.string(); };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        app->Start();
        form->FormActivate();
    }
    void TearDown() override { form->ShutdownApplication(); }

    TTempDir dir, source, runtime, home;
    fs::path picture;
    TScriptedPrompts prompts;
    TRealPlatform platform;
    TScopedEnv dataHome;
    std::unique_ptr<TQuillonApplication> app;
    TMainAppForm* form = nullptr;
};

TEST_F(NothingLostTest, ChangesReachTheDiskBeforeShutdown)
{
    TAutoSaver& saver = *form->AutoSaver();
    form->Open1Click();
    prompts.inputs.push_back("Holiday");
    form->Newfolder1Click();
    prompts.inputs.push_back("Summer");
    form->RenameMenuItemClick();
    RunDueSave(saver);
    const std::string written = dir.Read("logodirectory.xml");
    EXPECT_NE(written.find("nodename=\"photo.bmp\""), std::string::npos) << written;
    EXPECT_NE(written.find("nodename=\"Summer\""), std::string::npos) << written;
    EXPECT_EQ(written.find("Holiday"), std::string::npos) << written;
    EXPECT_NE(dir.Read("appstate.xml").find("value=\"Summer\""), std::string::npos);
    EXPECT_FALSE(dir.Exists("options.xml")) << "unchanged since the start: not written";
}

TEST_F(NothingLostTest, DeletedPicturesGoToTheTrash)
{
    TLogoTree& tree = form->LogoTree();
    form->Open1Click();
    form->SelectNode(tree.Root());
    prompts.inputs.push_back("Holiday");
    form->Newfolder1Click();
    form->Open1Click();  // into the selected folder
    ASSERT_EQ(tree.Root()->Count(), 2u);

    prompts.shown.clear();
    form->SelectNode(tree.Root()->Child(0));  // the folder, with its logo
    form->DeleteMenuItemClick();
    form->SelectNode(tree.Root()->Child(0));  // the logo at the top
    form->DeleteMenuItemClick();
    EXPECT_EQ(tree.Root()->Count(), 0u);
    EXPECT_TRUE(fs::is_empty(dir.Path() / "Logo Directory"));

    // The trash knows where each picture came from, so it can be put back.
    const fs::path trash = home.Path() / "share" / "Trash";
    std::set<std::string> origins;
    for (const fs::directory_entry& info : fs::directory_iterator(trash / "info")) {
        std::ifstream in(info.path());
        for (std::string line; std::getline(in, line);)
            if (line.rfind("Path=", 0) == 0)
                origins.insert(QUrl::fromPercentEncoding(QByteArray::fromStdString(line.substr(5))).toStdString());
    }
    const std::string logoDir = (fs::canonical(dir.Path()) / "Logo Directory").string();
    EXPECT_EQ(origins, (std::set<std::string>{logoDir + "/Holiday/photo.bmp", logoDir + "/photo.bmp"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(trash / "files"), fs::directory_iterator()), 2);
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{kMsgConfirmDeleteTree, kMsgConfirmDeleteLogo}));
}

// An unreadable directory file is copied aside before it is first replaced, once: by
// the first write after a change, not again at shutdown.
class DamagedDirectoryTest : public NothingLostTest {
protected:
    void SetUp() override
    {
        dir.Write("logodirectory.xml", "<logodirectory><unclosed");
        NothingLostTest::SetUp();
    }
};

TEST_F(DamagedDirectoryTest, IsCopiedAsideOnceByTheFirstWrite)
{
    form->Open1Click();
    RunDueSave(*form->AutoSaver());
    EXPECT_EQ(dir.Read("logodirectory.xml.bad"), "<logodirectory><unclosed");
    EXPECT_NE(dir.Read("logodirectory.xml").find("photo.bmp"), std::string::npos);
    form->ShutdownApplication();
    EXPECT_FALSE(dir.Exists("logodirectory.xml.bad2"));
    EXPECT_EQ(dir.Read("logodirectory.xml.bad"), "<logodirectory><unclosed");
    EXPECT_NE(dir.Read("logodirectory.xml").find("photo.bmp"), std::string::npos);
}

} // namespace
