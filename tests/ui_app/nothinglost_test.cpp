// Nothing the user confirmed is lost: deleted pictures go to the desktop's trash, and the
// user's files are written a moment after each change, not only at shutdown.
#include "app/ui/autosaver.h"
#include "app/ui/mainappform.h"
#include "app/ui/platformadapters.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "logodir/logodirfile.h"
#include "logodir/messages.h"

#include "support/scriptedprompts.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <future>
#include <mutex>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TScopedEnv;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

// Lets the pending save run, the way the event loop would once its time is up, and waits
// for its writes.
void RunDueSave(TAutoSaver& saver)
{
    ASSERT_TRUE(saver.Timer()->isActive()) << "no save pending";
    saver.Timer()->start(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !saver.Timer()->isActive(); }));
    saver.WaitForWrites();
}

// A file as the saver sees it: a revision the test raises, and writes that land in a list
// (on the saver's threads) and fail on demand.
struct TFakeFile {
    uint64_t revision = 0;
    std::string text;
    bool fail = false;
    std::vector<std::string> writes;
    std::mutex lock;
    std::function<void()> duringWrite = [] {};

    void Set(const std::string& t)
    {
        text = t;
        ++revision;
    }
    std::vector<std::string> Writes()
    {
        std::lock_guard guard(lock);
        return writes;
    }
    TAutoSaver::TFile File()
    {
        return {[this] { return revision; },
                [this]() -> std::function<void()> {
                    return [this, text = text, fail = fail] {
                        duringWrite();
                        std::lock_guard guard(lock);
                        writes.push_back(text);
                        if (fail)
                            throw std::runtime_error("disk full");
                    };
                },
                [this](bool ok, TPrompts& p) {
                    if (!ok)
                        p.Error("cannot write " + text);
                }};
    }
};

TEST(AutoSaver, WritesWhatChangedOnceItSettlesAndRetriesWhatFailed)
{
    TFakeFile a, b;
    a.Set("a1");
    b.Set("b1");
    TScriptedPrompts prompts;
    TAutoSaver saver({a.File(), b.File()}, prompts);
    saver.Changed();
    EXPECT_FALSE(saver.Timer()->isActive()) << "nothing is written before the files are loaded";

    saver.Start();
    saver.SaveChanges();
    saver.WaitForWrites();
    EXPECT_TRUE(a.Writes().empty() && b.Writes().empty()) << "what was loaded is not written again";

    a.Set("a2");
    saver.Changed();
    EXPECT_EQ(saver.Timer()->interval(), TAutoSaver::kDelayMs);
    RunDueSave(saver);
    EXPECT_EQ(a.Writes(), std::vector<std::string>{"a2"});
    saver.Changed();
    RunDueSave(saver);
    EXPECT_EQ(a.Writes(), std::vector<std::string>{"a2"}) << "an input that changed nothing writes nothing";

    // A failed write is tried again with the next change, the other file only once; the
    // failure is shown once, not at every retry, and again after a write has succeeded.
    a.fail = true;
    a.Set("a3");
    b.Set("b2");
    saver.Changed();
    RunDueSave(saver);
    saver.Changed();
    RunDueSave(saver);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"cannot write a3"});
    a.fail = false;
    saver.Changed();
    RunDueSave(saver);
    EXPECT_EQ(a.Writes(), (std::vector<std::string>{"a2", "a3", "a3", "a3"}));
    EXPECT_EQ(b.Writes(), std::vector<std::string>{"b2"});
    a.fail = true;
    a.Set("a4");
    saver.Changed();
    RunDueSave(saver);
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{"cannot write a3", "cannot write a4"}));

    a.fail = false;
    saver.Stop();
    a.Set("a5");
    saver.Changed();
    saver.SaveChanges();
    saver.WaitForWrites();
    EXPECT_EQ(a.Writes().back(), "a4") << "stopped for the shutdown";
}

// Changes made while a file is being written are written after it, never beside it, and
// the last one is what the file ends up saying; Stop waits for the write under way.
TEST(AutoSaver, OneWriterAtATimeAndTheLastChangeWins)
{
    TFakeFile a;
    std::atomic<int> writers{0}, mostWriters{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    a.duringWrite = [&] {
        mostWriters = std::max(mostWriters.load(), ++writers);
        released.wait();
        --writers;
    };
    TScriptedPrompts prompts;
    TAutoSaver saver({a.File()}, prompts);
    saver.Start();
    a.Set("first");
    saver.SaveChanges();  // now being written, held up
    for (const char* text : {"second", "third", "last"}) {
        a.Set(text);
        saver.SaveChanges();
    }
    release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.Writes().size() == 2; }));
    saver.Stop();
    EXPECT_EQ(a.Writes(), (std::vector<std::string>{"first", "last"}));
    EXPECT_EQ(mostWriters.load(), 1);
}

TEST(AutoSaver, TheUsersInputCountsAsAChange)
{
    TScriptedPrompts prompts;
    TFakeFile file;
    TAutoSaver saver({file.File()}, prompts);
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

// Each step as the user takes it, followed by the input that ends it; the directory file is
// replaced (a new file) exactly when the step changed what it says.
TEST_F(NothingLostTest, TheDirectoryFileIsWrittenWhenAndOnlyWhenTheCollectionChanged)
{
    TAutoSaver& saver = *form->AutoSaver();
    TLogoTree& tree = form->LogoTree();
    const fs::path file = dir.Path() / "logodirectory.xml";
    auto identity = [&] {
        struct stat s{};
        return ::stat(file.c_str(), &s) == 0 ? s.st_ino : 0;
    };
    form->Open1Click();
    saver.Changed();
    RunDueSave(saver);
    TLogoNode* logo = tree.Root()->Child(0);
    QTreeView* view = form->findChild<QTreeView*>("LogoTreeView");

    struct TStep {
        const char* what;
        std::function<void()> act;
        const char* present;  // null: the file must not have been written
        const char* absent = nullptr;
    };
    const TStep steps[] = {
        {"a click on the selected logo",
         [&] {
             QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->currentIndex()).center());
         },
         nullptr},
        {"another node selected and the logo again", [&] { form->SelectNode(tree.Root()); form->SelectNode(logo); },
         nullptr},
        {"a new folder", [&] { prompts.inputs.push_back("Holiday"); form->Newfolder1Click(); }, "nodename=\"Holiday\""},
        {"a rename", [&] { prompts.inputs.push_back("Summer"); form->RenameMenuItemClick(); }, "nodename=\"Summer\"",
         "Holiday"},
        {"a logo setting",
         [&] {
             form->SelectNode(logo);
             form->findChild<QSpinBox*>("LogoWidth")->setValue(200);
         },
         "logowidth=\"200\""},
        {"the same setting again", [&] { form->findChild<QSpinBox*>("LogoWidth")->setValue(200); }, nullptr},
        {"an added picture", [&] { form->Open1Click(); }, "nodename=\"photo2.bmp\""},
        {"a deleted logo", [&] { form->DeleteMenuItemClick(); }, "nodename=\"photo.bmp\"", "photo2.bmp"},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.what);
        const auto before = identity();
        step.act();
        saver.Changed();  // the input that ended the step
        RunDueSave(saver);
        const std::string written = dir.Read("logodirectory.xml");
        EXPECT_EQ(identity() != before, step.present != nullptr) << written;
        if (step.present) {
            EXPECT_NE(written.find(step.present), std::string::npos) << written;
        }
        if (step.absent) {
            EXPECT_EQ(written.find(step.absent), std::string::npos) << written;
        }
        EXPECT_EQ(written, LogoDirectoryXml(tree));
    }
}

// Exit comes while a write is under way and another change waits for its turn: the write
// ends first, and the file says what the tree said last.
TEST_F(NothingLostTest, ExitWritesWhatIsStillPending)
{
    TAutoSaver& saver = *form->AutoSaver();
    form->Open1Click();
    saver.SaveChanges();  // under way now
    prompts.inputs.push_back("Holiday");
    form->Newfolder1Click();
    saver.Changed();  // due in a second, which exit does not wait for
    form->ShutdownApplication();
    const std::string written = dir.Read("logodirectory.xml");
    EXPECT_NE(written.find("nodename=\"Holiday\""), std::string::npos) << written;
    EXPECT_EQ(written, LogoDirectoryXml(form->LogoTree()));
    for (const fs::directory_entry& e : fs::directory_iterator(dir.Path()))
        EXPECT_NE(e.path().filename().string().front(), '.') << "a temporary file left: " << e.path();
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
