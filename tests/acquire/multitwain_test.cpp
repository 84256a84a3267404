// The TWAIN layer against the scripted manager of tests/support/fake_twaindsm.cpp,
// loaded with dlopen like the real one; its source calls back from a thread of its own.
#include "acquire/multitwain.h"

#include "support/tempdir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

namespace quillon {
namespace {

using namespace twain;

TW_HANDLE const kWindow = reinterpret_cast<TW_HANDLE>(0x1000);
TW_HANDLE const kProxy = reinterpret_cast<TW_HANDLE>(0x2000);

class TTestHost : public TTwainHost {
public:
    void ErrorBox(const std::string& text) override { errors.push_back(text); }
    bool IsWindow(TW_HANDLE window) override { return window && windows.count(window); }
    TW_HANDLE CreateProxyWindow() override
    {
        calls.push_back("create proxy");
        if (proxyFails)
            return nullptr;
        windows.insert(kProxy);
        return kProxy;
    }
    void DestroyProxyWindow(TW_HANDLE window) override
    {
        calls.push_back("destroy proxy");
        windows.erase(window);
    }
    void EnableWindow(TW_HANDLE window, bool enable) override
    {
        calls.push_back(std::string(enable ? "enable " : "disable ") + (window == kProxy ? "proxy" : "window"));
    }
    bool WaitForEvents() override
    {
        std::unique_lock lock(mutex_);
        // A source that never speaks again would hang the test; quitting ends the wait.
        bool woken = woken_ || wake_.wait_for(lock, waitLimit, [this] { return woken_; });
        woken_ = false;
        return woken;
    }
    void Wake() override
    {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        wake_.notify_all();
    }

    std::vector<std::string> errors;
    std::vector<std::string> calls;
    std::set<TW_HANDLE> windows{kWindow};
    bool proxyFails = false;
    std::chrono::milliseconds waitLimit{5000};

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
};

// Keeps the fake loaded for the whole test, so its script and log outlive the layer's
// own loading and unloading.
class MultiTwainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_ = dlopen(QUILLON_FAKE_TWAINDSM, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(fake_, nullptr) << dlerror();
        reset_ = reinterpret_cast<void (*)(const char*)>(dlsym(fake_, "FakeTwain_Reset"));
        log_ = reinterpret_cast<const char* (*)()>(dlsym(fake_, "FakeTwain_Log"));
        appIdentity_ = reinterpret_cast<void (*)(TW_IDENTITY*)>(dlsym(fake_, "FakeTwain_AppIdentity"));
        ASSERT_TRUE(reset_ && log_ && appIdentity_);
        layer_.SetStateObserver([this](int state) { states_.push_back(state); });
    }
    void TearDown() override
    {
        reset_("");
        dlclose(fake_);
    }

    void Script(const char* script) { reset_(script); }
    std::vector<std::string> Log() const
    {
        std::vector<std::string> lines;
        std::istringstream in(log_());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    TTestHost host_;
    TMultiTWAIN layer_{host_, {QUILLON_FAKE_TWAINDSM}};
    std::vector<int> states_;
    void* fake_ = nullptr;
    void (*reset_)(const char*) = nullptr;
    const char* (*log_)() = nullptr;
    void (*appIdentity_)(TW_IDENTITY*) = nullptr;
};

TEST_F(MultiTwainTest, ThreeImagesInOneEnablingAreAllTransferredAndTheLastIsKept)
{
    Script("xfer:ok,ok,ok");
    TTwainImage image = layer_.TWAIN_AcquireImage(kWindow, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(layer_.TWAIN_ImageWidth(image), 5);
    EXPECT_EQ(layer_.TWAIN_ImageHeight(image), 2);
    TBitmap picture = layer_.TWAIN_DrawImage(image);
    layer_.TWAIN_FreeImage(image);
    ASSERT_EQ(picture.Width(), 5);
    ASSERT_EQ(picture.Height(), 2);
    EXPECT_EQ(picture.Pixel(4, 1)[0], 120);
    EXPECT_EQ(picture.Pixel(4, 1)[1], 100);
    EXPECT_EQ(picture.Pixel(4, 1)[2], 200);

    EXPECT_EQ(states_, (std::vector<int>{2, 3, 4, 5, 6, 7, 6, 7, 6, 7, 5, 4, 3, 2, 1}));
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "PARENT/OPENDSM", "IDENTITY/OPENDS", "CALLBACK/REGISTER ds", "USERINTERFACE/ENABLEDS ds",
                         "-> XFERREADY", "IMAGENATIVEXFER/GET ds ok rc=6", "PENDINGXFERS/ENDXFER ds 2",
                         "IMAGENATIVEXFER/GET ds ok rc=6", "PENDINGXFERS/ENDXFER ds 1",
                         "IMAGENATIVEXFER/GET ds ok rc=6", "PENDINGXFERS/ENDXFER ds 0",
                         "USERINTERFACE/DISABLEDS ds", "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}));
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"disable window", "enable window"}));
    EXPECT_TRUE(host_.errors.empty());
    EXPECT_EQ(layer_.State(), 1);
}

TEST_F(MultiTwainTest, SendsTheFixedApplicationIdentity)
{
    Script("close");
    layer_.TWAIN_AcquireImage(kWindow, 0);
    TW_IDENTITY id{};
    appIdentity_(&id);
    EXPECT_EQ(id.Id, 1u); // assigned by the manager when it was opened
    EXPECT_EQ(id.Version.MajorNum, 1);
    EXPECT_EQ(id.Version.MinorNum, 0);
    EXPECT_EQ(id.Version.Language, 13);
    EXPECT_EQ(id.Version.Country, 1);
    EXPECT_STREQ(id.Version.Info, "<?>");
    EXPECT_EQ(id.ProtocolMajor, 1);
    EXPECT_EQ(id.ProtocolMinor, 6);
    const uint32_t groups = id.SupportedGroups; // packed: read, never bound to a reference
    EXPECT_EQ(groups, 3u);
    EXPECT_STREQ(id.Manufacturer, "<?>");
    EXPECT_STREQ(id.ProductFamily, "<?>");
    EXPECT_STREQ(id.ProductName, "<?>");
}

// The source's transfers and messages, and what each leaves behind.
struct TSourceCase {
    const char* script;
    int width; // of the picture acquired, 0 for none
    std::vector<int> states;
    std::vector<std::string> logAfterEnable;
};

class MultiTwainSourceTest : public MultiTwainTest, public ::testing::WithParamInterface<TSourceCase> {};

TEST_P(MultiTwainSourceTest, EndsAsTheSourceLeadsIt)
{
    const TSourceCase& c = GetParam();
    Script(c.script);
    TTwainImage image = layer_.TWAIN_AcquireImage(kWindow, 0);
    EXPECT_EQ(layer_.TWAIN_ImageWidth(image), c.width);
    layer_.TWAIN_FreeImage(image);
    EXPECT_EQ(states_, c.states);
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.end()), c.logAfterEnable);
    EXPECT_TRUE(host_.errors.empty());
    EXPECT_EQ(layer_.State(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MultiTwainSourceTest,
    ::testing::Values(
        // A failed transfer resets the pending ones; the source stays enabled until the
        // user closes it, and nothing is imported.
        TSourceCase{"xfer:fail close", 0, {2, 3, 4, 5, 6, 5, 4, 3, 2, 1},
                    {"-> XFERREADY", "IMAGENATIVEXFER/GET ds fail rc=1", "PENDINGXFERS/RESET ds", "-> CLOSEDSREQ",
                     "USERINTERFACE/DISABLEDS ds", "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}},
        // ... and after a scan again, the picture of that scan is imported.
        TSourceCase{"xfer:fail xfer:ok", 3, {2, 3, 4, 5, 6, 5, 6, 7, 5, 4, 3, 2, 1},
                    {"-> XFERREADY", "IMAGENATIVEXFER/GET ds fail rc=1", "PENDINGXFERS/RESET ds", "-> XFERREADY",
                     "IMAGENATIVEXFER/GET ds ok rc=6", "PENDINGXFERS/ENDXFER ds 0", "USERINTERFACE/DISABLEDS ds",
                     "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}},
        // A failure after a good transfer of the same loop keeps the earlier picture.
        TSourceCase{"xfer:ok,fail", 3, {2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1},
                    {"-> XFERREADY", "IMAGENATIVEXFER/GET ds ok rc=6", "PENDINGXFERS/ENDXFER ds 1",
                     "IMAGENATIVEXFER/GET ds fail rc=1", "PENDINGXFERS/RESET ds", "USERINTERFACE/DISABLEDS ds",
                     "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}},
        // The user cancels the transfer, then closes the source.
        TSourceCase{"xfer:cancel close", 0, {2, 3, 4, 5, 6, 7, 5, 4, 3, 2, 1},
                    {"-> XFERREADY", "IMAGENATIVEXFER/GET ds cancel rc=3", "PENDINGXFERS/ENDXFER ds 0",
                     "-> CLOSEDSREQ", "USERINTERFACE/DISABLEDS ds", "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}},
        // The user closes the scanner's window without scanning.
        TSourceCase{"close", 0, {2, 3, 4, 5, 4, 3, 2, 1},
                    {"-> CLOSEDSREQ", "USERINTERFACE/DISABLEDS ds", "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}},
        // A source that will not end its transfer is closed all the same, so the next
        // command starts in state 1 again.
        TSourceCase{"fail=ENDXFER xfer:ok", 3, {2, 3, 4, 5, 6, 7, 4, 3, 2, 1},
                    {"-> XFERREADY", "IMAGENATIVEXFER/GET ds ok rc=6", "PENDINGXFERS/ENDXFER ds rc=1",
                     "PENDINGXFERS/ENDXFER ds rc=1", "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}},
        // Enabling answered with anything but a failure counts as enabled.
        TSourceCase{"enable=2 xfer:ok", 3, {2, 3, 4, 5, 6, 7, 5, 4, 3, 2, 1},
                    {"-> XFERREADY", "IMAGENATIVEXFER/GET ds ok rc=6", "PENDINGXFERS/ENDXFER ds 0",
                     "USERINTERFACE/DISABLEDS ds", "IDENTITY/CLOSEDS", "PARENT/CLOSEDSM"}}));

struct TFailureCase {
    const char* script;
    const char* message;
    std::vector<int> states;
};

class MultiTwainFailureTest : public MultiTwainTest, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(MultiTwainFailureTest, ShowsItsMessageAndWalksBackDown)
{
    const TFailureCase& c = GetParam();
    Script(c.script);
    EXPECT_EQ(layer_.TWAIN_AcquireImage(kWindow, 0), nullptr);
    EXPECT_EQ(host_.errors, std::vector<std::string>{c.message});
    EXPECT_EQ(states_, c.states);
    EXPECT_TRUE(host_.calls.empty()); // the window never stopped taking input
    EXPECT_EQ(layer_.State(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MultiTwainFailureTest,
    ::testing::Values(TFailureCase{"fail=OPENDSM", "Unable to open Source Manager (TWAIN_32.DLL)", {2, 1}},
                      TFailureCase{"fail=OPENDS", "Unable to open default Data Source.", {2, 3, 2, 1}},
                      TFailureCase{"fail=ENABLEDS", "Failed to enable Data Source.", {2, 3, 4, 3, 2, 1}},
                      // Without the callback no transfer could ever be announced.
                      TFailureCase{"fail=REGISTER", "Failed to enable Data Source.", {2, 3, 4, 3, 2, 1}}));

TEST_F(MultiTwainTest, AManagerThatCannotBeLoadedIsReported)
{
    test::TTempDir dir;
    dir.Write("notalibrary.so", "text");
    for (const std::string& path : {(dir.Path() / "missing.so").string(), (dir.Path() / "notalibrary.so").string(),
                                    std::string("libm.so.6") /* a library without DSM_Entry */}) {
        TTestHost host;
        TMultiTWAIN layer(host, {path});
        EXPECT_FALSE(layer.TWAIN_SourceManagerAvailable()) << path;
        EXPECT_EQ(layer.TWAIN_AcquireImage(kWindow, 0), nullptr);
        EXPECT_FALSE(layer.TWAIN_SelectImageSource(kWindow));
        EXPECT_EQ(host.errors, (std::vector<std::string>{"Unable to load Source Manager (TWAIN_32.DLL)",
                                                         "Unable to load Source Manager (TWAIN_32.DLL)"}))
            << path;
        EXPECT_EQ(layer.State(), 1);
    }
}

TEST_F(MultiTwainTest, AvailabilityIsDecidedOnceForTheRun)
{
    test::TTempDir dir;
    std::filesystem::path copy = dir.Path() / "libtwaindsm.so.2";
    TTestHost host;
    TMultiTWAIN absent(host, {copy.string()});
    EXPECT_FALSE(absent.TWAIN_SourceManagerAvailable());
    std::filesystem::copy_file(QUILLON_FAKE_TWAINDSM, copy);
    EXPECT_FALSE(absent.TWAIN_SourceManagerAvailable()); // installed meanwhile: still not

    TMultiTWAIN present(host, {copy.string()});
    EXPECT_TRUE(present.TWAIN_SourceManagerAvailable());
    EXPECT_EQ(present.State(), 1); // loaded and unloaded again at once
    std::filesystem::remove(copy);
    EXPECT_TRUE(present.TWAIN_SourceManagerAvailable()); // removed meanwhile: still there
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(MultiTwainTest, WithoutAUsableWindowAProxyWindowIsTheParent)
{
    Script("xfer:ok");
    TTwainImage image = layer_.TWAIN_AcquireImage(reinterpret_cast<TW_HANDLE>(0x3000), 0);
    EXPECT_NE(image, nullptr);
    layer_.TWAIN_FreeImage(image);
    EXPECT_EQ(host_.calls,
              (std::vector<std::string>{"create proxy", "disable proxy", "enable proxy", "destroy proxy"}));

    host_.proxyFails = true;
    host_.calls.clear();
    states_.clear();
    EXPECT_EQ(layer_.TWAIN_AcquireImage(nullptr, 0), nullptr);
    EXPECT_EQ(host_.errors, std::vector<std::string>{"Unable to create proxy window"});
    EXPECT_TRUE(states_.empty()); // the manager was never loaded
}

TEST_F(MultiTwainTest, SelectingASourceOpensAndClosesTheManager)
{
    Script("");
    EXPECT_TRUE(layer_.TWAIN_SelectImageSource(kWindow));
    EXPECT_EQ(Log(), (std::vector<std::string>{"PARENT/OPENDSM", "IDENTITY/USERSELECT", "PARENT/CLOSEDSM"}));
    EXPECT_EQ(states_, (std::vector<int>{2, 3, 2, 1}));

    Script("select=3"); // the user cancelled the manager's dialog
    EXPECT_FALSE(layer_.TWAIN_SelectImageSource(kWindow));
    EXPECT_EQ(layer_.State(), 1);

    Script("fail=OPENDSM");
    EXPECT_FALSE(layer_.TWAIN_SelectImageSource(kWindow));
    EXPECT_EQ(host_.errors, std::vector<std::string>{"Unable to open Source Manager (TWAIN_32.DLL)"});
    EXPECT_EQ(layer_.State(), 1);
}

TEST_F(MultiTwainTest, SelectingWithABadWindowOrNoProxyShowsItsMessage)
{
    Script("");
    EXPECT_FALSE(layer_.TWAIN_SelectImageSource(reinterpret_cast<TW_HANDLE>(0x3000)));
    EXPECT_TRUE(host_.calls.empty()); // an invalid window is not replaced by a proxy here

    EXPECT_TRUE(layer_.TWAIN_SelectImageSource(nullptr));
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"create proxy", "destroy proxy"}));

    host_.proxyFails = true;
    EXPECT_FALSE(layer_.TWAIN_SelectImageSource(nullptr));
    EXPECT_EQ(host_.errors, (std::vector<std::string>{"TWAIN_SelectImageSource: window handle is invalid",
                                                      "TWAIN_SelectImageSource: Unable to create proxy window"}));
    EXPECT_EQ(Log(), (std::vector<std::string>{"PARENT/OPENDSM", "IDENTITY/USERSELECT", "PARENT/CLOSEDSM"}));
}

TEST_F(MultiTwainTest, QuittingWhileTheSourceIsUpWalksDown)
{
    Script(""); // a source that never says anything; the host gives up waiting
    host_.waitLimit = std::chrono::milliseconds(100);
    EXPECT_EQ(layer_.TWAIN_AcquireImage(kWindow, 0), nullptr);
    EXPECT_EQ(states_, (std::vector<int>{2, 3, 4, 5, 4, 3, 2, 1}));
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"disable window", "enable window"}));
}

} // namespace
} // namespace quillon
