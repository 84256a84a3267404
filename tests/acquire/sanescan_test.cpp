// Pages from SANE: frames turned into pictures, and whole scans from SANE's own "test"
// backend (tests/support/sanetestbackend.h).
#include "acquire/sanescan.h"

#include "common/error.h"
#include "common/libraryoutput.h"
#include "support/sanetestbackend.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace quillon {
namespace {

using TFormat = TSaneFrame::TFormat;

TSaneFrame Frame(TFormat format, int pixels, int bytesPerLine, int lines, int depth, std::vector<uint8_t> data)
{
    TSaneFrame f;
    f.format = format;
    f.pixelsPerLine = pixels;
    f.bytesPerLine = bytesPerLine;
    f.lines = lines;
    f.depth = depth;
    f.data = std::move(data);
    return f;
}

std::vector<uint8_t> Native16(std::initializer_list<uint16_t> values)
{
    std::vector<uint8_t> bytes(values.size() * 2);
    std::memcpy(bytes.data(), std::data(values), bytes.size());
    return bytes;
}

std::vector<uint32_t> Pixels(const TBitmap& b)
{
    std::vector<uint32_t> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const uint8_t* p = b.Pixel(x, y);
            out.push_back(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
        }
    return out;
}

struct TFramesCase {
    const char* name;
    std::vector<TSaneFrame> frames;
    int width, height;
    std::vector<uint32_t> pixels; // 0xRRGGBB, rows top first
};

class SaneFramesTest : public ::testing::TestWithParam<TFramesCase> {};

TEST_P(SaneFramesTest, BecomeThePicture)
{
    const TFramesCase& c = GetParam();
    TBitmap b = SaneFramesToBitmap(c.frames);
    EXPECT_EQ(b.Width(), c.width);
    EXPECT_EQ(b.Height(), c.height);
    EXPECT_EQ(Pixels(b), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SaneFramesTest,
    ::testing::Values(
        // Lines may carry padding past their pixels.
        TFramesCase{"Rgb", {Frame(TFormat::RGB, 2, 7, 1, 8, {1, 2, 3, 4, 5, 6, 99})}, 2, 1, {0x010203, 0x040506}},
        TFramesCase{"Gray", {Frame(TFormat::Gray, 2, 2, 2, 8, {0, 10, 20, 255})}, 2, 2,
                    {0x000000, 0x0A0A0A, 0x141414, 0xFFFFFF}},
        // Lineart: a set bit is black.
        TFramesCase{"Lineart", {Frame(TFormat::Gray, 3, 1, 1, 1, {0xA0})}, 3, 1, {0x000000, 0xFFFFFF, 0x000000}},
        TFramesCase{"Gray16", {Frame(TFormat::Gray, 2, 4, 1, 16, Native16({0xFFFF, 0x8000}))}, 2, 1,
                    {0xFFFFFF, 0x808080}},
        // Three passes, in whatever order the device sends them.
        TFramesCase{"ThreeFrames",
                    {Frame(TFormat::Green, 2, 2, 1, 8, {20, 21}), Frame(TFormat::Red, 2, 2, 1, 8, {10, 11}),
                     Frame(TFormat::Blue, 2, 2, 1, 8, {30, 31})},
                    2, 1, {0x0A141E, 0x0B151F}},
        // A hand scanner does not know its lines; a device that stops early or goes on
        // gives its complete lines.
        TFramesCase{"UnknownLines", {Frame(TFormat::Gray, 1, 1, -1, 8, {1, 2, 3})}, 1, 3, {0x010101, 0x020202, 0x030303}},
        TFramesCase{"CutShort", {Frame(TFormat::Gray, 2, 2, 3, 8, {1, 2, 3, 4, 5})}, 2, 2,
                    {0x010101, 0x020202, 0x030303, 0x040404}}),
    [](const ::testing::TestParamInfo<TFramesCase>& info) { return std::string(info.param.name); });

TEST(SaneFrames, LayoutsThisProgramCannotReadAreRefused)
{
    const std::vector<std::vector<TSaneFrame>> cases = {
        {},
        {Frame(TFormat::Gray, 2, 2, 1, 4, {0, 0})},                 // 4 bits per sample
        {Frame(TFormat::RGB, 2, 5, 1, 8, {0, 0, 0, 0, 0})},         // lines shorter than their pixels
        {Frame(TFormat::Red, 1, 1, 1, 8, {0}), Frame(TFormat::Green, 1, 1, 1, 8, {0})}, // no blue
        {Frame(TFormat::Red, 1, 1, 1, 8, {0}), Frame(TFormat::Green, 2, 2, 1, 8, {0, 0}),
         Frame(TFormat::Blue, 1, 1, 1, 8, {0})},                    // planes of different widths
        {Frame(TFormat::Gray, 1, 1, 1, 8, {0}), Frame(TFormat::Gray, 1, 1, 1, 8, {0})},
        {Frame(TFormat::Gray, 2, 2, 1, 8, {0})},                    // not one complete line
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_THROW(SaneFramesToBitmap(cases[i]), QuillonError) << "case " << i;
}

class SaneTestBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::UseSaneTestBackend();
        // SANE's dll backend talks on stderr at every call: chatter to keep off the terminal.
        setenv("SANE_DEBUG_DLL", "255", 1);
        TSaneDeviceList::Process().Wait();
    }
};

TEST_F(SaneTestBackend, ListsTheDevices)
{
    std::vector<TSaneDevice> devices = TSaneDeviceList::Process().Devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].name, "test:0");
    EXPECT_EQ(devices[1].Label(), "Noname frontend-tester (test:1)");
}

TEST_F(SaneTestBackend, ScansOnePageInColour)
{
    TSanePageScan scan("test:0");
    std::vector<int> progress;
    std::optional<TBitmap> page = scan.Run([&](int percent) { progress.push_back(percent); });
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Width(), test::kSaneTestWidth);
    EXPECT_EQ(page->Height(), test::kSaneTestHeight);
    int coloured = 0; // the device starts in gray; its colour pattern has colour in colour mode
    for (int y = 0; y < page->Height(); ++y)
        for (int x = 0; x < page->Width(); ++x)
            coloured += page->Pixel(x, y)[0] != page->Pixel(x, y)[1];
    EXPECT_GT(coloured, page->Width() * page->Height() / 10);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(SaneTestBackend, CancelStopsTheScanAndLeavesTheDeviceFree)
{
    TSanePageScan scan("test:1");
    std::atomic<int> progress{-1};
    std::optional<TBitmap> page;
    std::thread worker([&] { page = scan.Run([&](int percent) { progress = percent; }); });
    while (progress < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    scan.Cancel();
    worker.join();
    EXPECT_FALSE(page);
    EXPECT_LT(progress, 100); // the device stopped before the end of the page
    // The device was stopped and closed: it scans again.
    TSanePageScan again("test:1");
    EXPECT_TRUE(again.Run({}));
}

TEST_F(SaneTestBackend, AMissingDeviceIsReportedWithSanesText)
{
    TSanePageScan scan("test:9");
    try {
        scan.Run({});
        FAIL() << "no error";
    } catch (const QuillonError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with(kMsgSaneScanFailed)) << e.what();
    }
}

// Descriptor 2 goes into a file while this lives, as a terminal would take it.
class TCapturedStderr {
public:
    TCapturedStderr() : saved_(dup(2))
    {
        const int file = open(dir_.Write("stderr.txt", "").c_str(), O_WRONLY | O_APPEND);
        dup2(file, 2);
        close(file);
    }
    ~TCapturedStderr() { Release(); }
    std::string Release()
    {
        if (saved_ >= 0) {
            dup2(saved_, 2);
            close(saved_);
            saved_ = -1;
        }
        return dir_.Read("stderr.txt");
    }

private:
    test::TTempDir dir_;
    int saved_;
};

TEST_F(SaneTestBackend, TheBackendsChatterStaysOffTheTerminalUnlessDiagnosticsAreAsked)
{
    for (const char* debug : {"", "0", "1"}) {
        SCOPED_TRACE(std::string(kDiagnosticsVariable) + "=" + debug);
        setenv(kDiagnosticsVariable, debug, 1);
        TCapturedStderr terminal;
        std::atomic<bool> scanning{true};
        // The program's own message while the scan keeps the backend's output off.
        std::thread program([&] {
            while (scanning) {
                TQuietLibraryOutput alsoQuiet;  // overlapping scopes, as listing and scanning may be
                std::this_thread::yield();
            }
        });
        TSanePageScan scan("test:0");
        bool said = false;
        EXPECT_TRUE(scan.Run([&](int) {
            if (!std::exchange(said, true))
                WriteProgramMessage("quillon: the program's own words\n");
        }));
        scanning = false;
        program.join();
        const std::string text = terminal.Release();
        EXPECT_NE(text.find("quillon: the program's own words\n"), std::string::npos) << text;
        EXPECT_EQ(text.find("[dll]") != std::string::npos, std::string(debug) == "1") << text;
    }
    unsetenv(kDiagnosticsVariable);
}

} // namespace
} // namespace quillon
