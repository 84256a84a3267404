#include "acquire/messages.h"
#include "acquire/picturedownload.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace quillon {
namespace {

using test::TTempDir;

TEST(PictureURLTest, ExtensionRule)
{
    struct TCase {
        const char* url;
        const char* extension;
        bool accepted;
    };
    const TCase cases[] = {
        {"http://h/photo.JpEg", ".JpEg", true},
        {"http://h/a/photo.jpg", ".jpg", true},
        {"http://h/p.GIF", ".GIF", true},
        {"http://h/p.png", ".png", true},
        {"http://h/p.bmp", ".bmp", true},
        {"http://h/photo.jpg?size=2", ".jpg?size=2", false},
        {"http://www.host.com/pictures/photo", ".com/pictures/photo", false},
        {"http://localhost/photo", "", false},  // the last of the three is the ":" of the scheme
        {"photo", "", false},
        {"http://h/p.tif", ".tif", false},
        {"http://h/dir.jpg\\photo", "", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(PictureURLExtension(c.url), c.extension);
        EXPECT_EQ(IsAcceptedPictureExtension(PictureURLExtension(c.url)), c.accepted);
    }
}

TEST(PictureURLTest, TempNameNeverLeavesTheFolder)
{
    EXPECT_EQ(TempNameFromURL("http://h/a/photo.JpEg"), "photo.JpEg");
    EXPECT_EQ(TempNameFromURL("http://h/my%20photo.jpg"), "my photo.jpg");
    EXPECT_EQ(TempNameFromURL("photo.jpg"), "photo.jpg");
    for (const char* url : {"http://h/", "http://h/..", "http://h/%2e%2e", "http://h/..%2F..%2Fx.jpg",
                            "http://h/a%2fb.jpg", "http://h/a%00.jpg", "http://h/."})
        EXPECT_FALSE(TempNameFromURL(url)) << url;
    EXPECT_TRUE(IsWebURL("HTTPS://h/a.jpg"));
    EXPECT_FALSE(IsWebURL("file:///etc/a.jpg"));
    EXPECT_FALSE(IsWebURL("ftp://h/a.jpg"));
}

// A picture server on loopback: fixed bodies, a redirect, an error, a transfer that stalls
// after its first bytes, and an endless body.
class DownloadTest : public ::testing::Test {
protected:
    DownloadTest()
    {
        picture.assign(300000, '\0');
        for (size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<char>(i * 7);
        server.Get("/photo.jpg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(picture, "image/jpeg");
        });
        server.Get("/nolength.jpg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("image/jpeg", [this](size_t, httplib::DataSink& sink) {
                sink.write(picture.data(), picture.size());
                sink.done();
                return true;
            });
        });
        server.Get("/moved.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/photo.jpg");
        });
        server.Get("/error.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("failed", "text/plain");
        });
        server.Get("/stall.jpg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(picture.size(), "image/jpeg", [this](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset == 0)
                    return sink.write(picture.data(), 1000);
                while (!stop)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                return false;
            });
        });
        server.Get("/endless.jpg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("image/jpeg", [this](size_t, httplib::DataSink& sink) {
                return !stop && sink.write(chunk.data(), chunk.size());
            });
        });
        server.Get("/announced.jpg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(200ull * 1024 * 1024, "image/jpeg", [this](size_t, size_t, httplib::DataSink& sink) {
                return !stop && sink.write(chunk.data(), chunk.size());
            });
        });
        chunk.assign(64 * 1024, 'x');
        // One request per connection, so stopping the server never waits for an idle one.
        server.set_keep_alive_max_count(1);
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~DownloadTest() override
    {
        stop = true;
        server.stop();
        thread.join();
    }
    std::string URL(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    std::string File() const { return (dir.Path() / "photo.jpg").string(); }

    std::string picture;
    std::string chunk;
    std::atomic<bool> stop{false};
    httplib::Server server;
    int port = 0;
    std::thread thread;
    TTempDir dir;
    THTTPConnection connection;
};

TEST_F(DownloadTest, ThePictureStreamsIntoTheFileWithProgress)
{
    for (const char* path : {"/nolength.jpg", "/photo.jpg"}) {
        SCOPED_TRACE(path);
        TPictureDownloadThread worker(connection, URL(path), File());
        std::vector<std::uint64_t> begins;
        std::uint64_t last = 0;
        worker.WorkBegin = [&](std::uint64_t n) { begins.push_back(n); };
        worker.Work = [&](std::uint64_t n) {
            EXPECT_GT(n, last);
            last = n;
        };
        worker.Execute();
        EXPECT_EQ(worker.ResultCode, TDownloadResult::Downloaded) << worker.ErrorText;
        EXPECT_EQ(dir.Read("photo.jpg"), picture);
        EXPECT_EQ(begins, std::vector<std::uint64_t>{std::string(path) == "/photo.jpg" ? picture.size() : 0u});
        EXPECT_EQ(last, picture.size());
    }
}

TEST_F(DownloadTest, FailuresGiveTheirMessages)
{
    struct TCase {
        std::string url;
        std::string file;
        const char* message;
    };
    const TCase cases[] = {
        {URL("/moved.jpg"), File(), kMsgDownloadError},
        {URL("/error.jpg"), File(), kMsgDownloadError},
        {"http://127.0.0.1:1/photo.jpg", File(), kMsgDownloadError},
        {URL("/photo.jpg"), (dir.Path() / "missing" / "photo.jpg").string(), kMsgTempFileWriteError},
        {"file:///etc/passwd.jpg", File(), kMsgOnlyWebAddresses},
        {"ftp://127.0.0.1:" + std::to_string(port) + "/photo.jpg", File(), kMsgOnlyWebAddresses},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.url);
        std::filesystem::remove(File());
        TPictureDownloadThread worker(connection, c.url, c.file);
        worker.Execute();
        EXPECT_EQ(worker.ResultCode, TDownloadResult::Failed);
        EXPECT_EQ(worker.ErrorText, c.message);
        // An error page never becomes the picture.
        EXPECT_EQ(dir.Read("photo.jpg"), "");
    }
}

TEST_F(DownloadTest, CancelEndsAStalledTransferQuicklyAndSilently)
{
    TPictureDownloadThread worker(connection, URL("/stall.jpg"), File());
    std::atomic<bool> begun{false};
    worker.WorkBegin = [&](std::uint64_t) { begun = true; };
    std::thread t([&] { worker.Execute(); });
    while (!begun)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = std::chrono::steady_clock::now();
    worker.Cancel();
    t.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(worker.ResultCode, TDownloadResult::Cancelled);
    EXPECT_EQ(worker.ErrorText, "");
}

long PeakRSSKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// 200 MB, announced or not, stop at the limit; memory stays flat because the body goes
// to the file piece by piece.
TEST_F(DownloadTest, ABodyPastTheLimitIsRefusedWithFlatMemory)
{
    EXPECT_LT(kMaxPictureDownloadBytes, 200ull * 1024 * 1024);
    for (const char* path : {"/endless.jpg", "/announced.jpg"}) {
        SCOPED_TRACE(path);
        const long before = PeakRSSKilobytes();
        TPictureDownloadThread worker(connection, URL(path), File());
        worker.Execute();
        EXPECT_EQ(worker.ResultCode, TDownloadResult::Failed);
        EXPECT_EQ(worker.ErrorText, kMsgDownloadTooLarge);
        EXPECT_LE(std::filesystem::file_size(File()), kMaxPictureDownloadBytes);
        EXPECT_LT(PeakRSSKilobytes() - before, 20 * 1024);
    }
}

} // namespace
} // namespace quillon
