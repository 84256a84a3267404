// The scanners of the Qt layer: TWAIN through the scripted manager library, SANE through
// its "test" backend, and the program's choice between them.
#include "acquire/ui/platformscanner.h"
#include "acquire/ui/sanescanner.h"
#include "acquire/ui/twainscanner.h"

#include "support/sanetestbackend.h"
#include "support/scriptedprompts.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>

namespace quillon {
namespace {

// SANE reads its configuration once per process: the test backend is set up before
// anything in this program can start SANE.
const bool kSaneTestBackend = (test::UseSaneTestBackend(), true);

// Runs check every 10 ms while a modal dialog is up, until it returns true.
void WhileModal(std::function<bool(QWidget*)> check)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, check] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && check(modal))
            timer->deleteLater();
    });
    timer->start();
}

class FakeManager {
public:
    FakeManager()
    {
        handle_ = dlopen(QUILLON_FAKE_TWAINDSM, RTLD_NOW | RTLD_LOCAL);
        reset_ = reinterpret_cast<void (*)(const char*)>(dlsym(handle_, "FakeTwain_Reset"));
        continue_ = reinterpret_cast<void (*)()>(dlsym(handle_, "FakeTwain_Continue"));
    }
    ~FakeManager()
    {
        reset_("");
        dlclose(handle_);
    }
    void Script(const char* script) { reset_(script); }
    void Continue() { continue_(); }

private:
    void* handle_ = nullptr;
    void (*reset_)(const char*) = nullptr;
    void (*continue_)() = nullptr;
};

TEST(TwainScanner, AcquiresWhileTheWindowTakesNoInputAndTheUserInterfaceRuns)
{
    FakeManager fake;
    fake.Script("hold xfer:ok,ok,ok");
    TTwainScanner scanner({QUILLON_FAKE_TWAINDSM});
    QWidget window;
    window.show();
    bool ran = false, enabledMeanwhile = true;
    // The source holds back until this timer, which only fires if events are handled.
    QTimer::singleShot(50, &window, [&] {
        ran = true;
        enabledMeanwhile = window.isEnabled();
        fake.Continue();
    });
    std::optional<TBitmap> picture = scanner.Acquire(&window);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width(), 5); // the third of three
    EXPECT_EQ(picture->Height(), 2);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_TRUE(window.isEnabled());
}

TEST(TwainScanner, WithoutAWindowAProxyWindowIsMadeAndRemoved)
{
    FakeManager fake;
    fake.Script("xfer:ok");
    TTwainScanner scanner({QUILLON_FAKE_TWAINDSM});
    EXPECT_TRUE(scanner.Acquire(nullptr));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_NE(w->windowTitle(), QStringLiteral("Acquire Proxy"));
}

TEST(TwainScanner, FailuresAppearInTheTwainErrorBox)
{
    FakeManager fake;
    fake.Script("fail=ENABLEDS");
    TTwainScanner scanner({QUILLON_FAKE_TWAINDSM});
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhileModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return false;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
        return true;
    });
    QWidget window;
    EXPECT_FALSE(scanner.Acquire(&window));
    EXPECT_EQ(title, QStringLiteral("TWAIN Error"));
    EXPECT_EQ(text, QStringLiteral("Failed to enable Data Source."));
    EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST(TwainScanner, SelectingASourceUsesTheManager)
{
    FakeManager fake;
    TTwainScanner scanner({QUILLON_FAKE_TWAINDSM});
    QWidget window;
    fake.Script("");
    EXPECT_TRUE(scanner.SelectSource(&window));
    fake.Script("select=3");
    EXPECT_FALSE(scanner.SelectSource(&window));
}

class SaneScannerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSignalSpy known(&scanner_, &TSaneScanner::AvailabilityKnown);
        scanner_.Available();
        ASSERT_TRUE(known.count() > 0 || known.wait(10000));
        ASSERT_TRUE(scanner_.Available());
    }

    test::TScriptedPrompts prompts_;
    TSaneScanner scanner_{prompts_};
    QWidget window_;
};

TEST_F(SaneScannerTest, AcquiresAPageBehindAProgressDialog)
{
    int highest = -1;
    WhileModal([&](QWidget* modal) {
        if (auto* progress = qobject_cast<QProgressDialog*>(modal))
            highest = std::max(highest, progress->value());
        return false;
    });
    std::optional<TBitmap> page = scanner_.Acquire(&window_);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Width(), test::kSaneTestWidth);
    EXPECT_EQ(page->Height(), test::kSaneTestHeight);
    EXPECT_GT(highest, 0);
    EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(SaneScannerTest, CancelReturnsNothingAndLeavesTheDeviceFree)
{
    WhileModal([](QWidget* modal) {
        auto* progress = qobject_cast<QProgressDialog*>(modal);
        if (!progress || progress->value() <= 0)
            return false;
        progress->findChild<QPushButton*>()->click(); // what the user does: Cancel
        return true;
    });
    EXPECT_FALSE(scanner_.Acquire(&window_));
    EXPECT_TRUE(prompts_.shown.empty());
    EXPECT_TRUE(scanner_.Acquire(&window_));
}

TEST_F(SaneScannerTest, SelectSourceListsTheDevicesAndKeepsTheChoice)
{
    QStringList listed;
    auto choose = [&](int row, bool accept) {
        WhileModal([&listed, row, accept](QWidget* modal) {
            auto* list = modal->findChild<QListWidget*>(QStringLiteral("SourceListBox"));
            if (!list)
                return false;
            listed.clear();
            for (int i = 0; i < list->count(); ++i)
                listed << list->item(i)->text();
            listed << QString::number(list->currentRow());
            list->setCurrentRow(row);
            accept ? static_cast<QDialog*>(modal)->accept() : static_cast<QDialog*>(modal)->reject();
            return true;
        });
    };
    choose(1, true);
    EXPECT_TRUE(scanner_.SelectSource(&window_));
    EXPECT_EQ(listed, (QStringList{"Noname frontend-tester (test:0)", "Noname frontend-tester (test:1)", "0"}));
    choose(0, false);
    EXPECT_FALSE(scanner_.SelectSource(&window_));
    EXPECT_EQ(listed.last(), QStringLiteral("1")); // the choice made before
}

TEST(PlatformScanner, TakesTwainWhenItsManagerIsThereElseSane)
{
    FakeManager fake;
    test::TScriptedPrompts prompts;
    qputenv(kTwainManagerVariable, QUILLON_FAKE_TWAINDSM);
    {
        TPlatformScanner scanner(prompts);
        EXPECT_TRUE(scanner.Available());
        fake.Script("xfer:ok");
        std::optional<TBitmap> picture = scanner.Acquire(nullptr);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->Width(), 3);
    }
    qputenv(kTwainManagerVariable, "/nonexistent/libtwaindsm.so.2");
    {
        TPlatformScanner scanner(prompts);
        QSignalSpy known(&scanner, &TPlatformScanner::AvailabilityKnown);
        scanner.Available();
        ASSERT_TRUE(known.count() > 0 || known.wait(10000));
        ASSERT_TRUE(scanner.Available());
        QWidget window;
        std::optional<TBitmap> page = scanner.Acquire(&window);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->Width(), test::kSaneTestWidth);
    }
    qunsetenv(kTwainManagerVariable);
}

} // namespace
} // namespace quillon
