// A data folder that cannot take a picture (read-only, full) is told to the desktop
// program in the answer's own words, not as a bare HTTP failure.
#include "servicefixture.h"

#include "service/uploadthread.h"

#include <sys/mount.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

using namespace quillon;
using namespace quillon::server;
using namespace quillon::server::test;

namespace {

constexpr const char* kCannotStore = "The service cannot store pictures now. Please try again later.";

// A tmpfs mounted over a folder for the test's lifetime. Mounting needs root: where it is
// refused, reason says why.
class TTmpfs {
public:
    TTmpfs(const std::filesystem::path& at, const std::string& options, unsigned long flags = 0) : at_(at)
    {
        std::filesystem::create_directories(at);
        if (mount("tmpfs", at.c_str(), "tmpfs", flags, options.c_str()) == 0)
            mounted_ = true;
        else
            reason = std::string("cannot mount a tmpfs (needs root): ") + std::strerror(errno);
    }
    ~TTmpfs()
    {
        if (mounted_)
            umount2(at_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    std::string reason;

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

// Writes until the file system says it is full.
void FillUp(const std::filesystem::path& file)
{
    std::ofstream out(file, std::ios::binary);
    const std::string block(4096, 'x');
    while (out.write(block.data(), block.size()) && out.flush()) {
    }
}

TEST(StorageFailure, UploadIsAnsweredWithTheServicesErrorSentence)
{
    struct Case {
        const char* name;
        // Mounts before the service opens the data folder; fills up after.
        std::function<std::unique_ptr<TTmpfs>(const std::filesystem::path& data)> mount;
        std::function<void(const std::filesystem::path& data)> afterStart;
    } cases[] = {
        {"read-only pictures folder",
         [](const auto& data) { return std::make_unique<TTmpfs>(data / "pictures", "size=1m", MS_RDONLY); },
         [](const auto&) {}},
        {"full disk", [](const auto& data) { return std::make_unique<TTmpfs>(data, "size=512k"); },
         [](const auto& data) { FillUp(data / "filler"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TTmpfs> tmpfs;
        TRunningService service({}, [&](const auto& data) { tmpfs = c.mount(data); });
        // Unmounted before the service's folder is removed.
        const std::unique_ptr<TTmpfs> mounted = std::move(tmpfs);
        if (!mounted->Mounted())
            GTEST_SKIP() << mounted->reason;
        c.afterStart(service.DataDir());

        // Through the desktop's own worker: what the user will read.
        quillon::test::TTempDir files;
        TServiceParameters parameters;
        parameters.Set("uploadhost", service.Host());
        THTTPConnection connection;
        int memberStatus = -1;
        TUploadThread upload(connection, parameters, memberStatus, [](const std::function<void()>& f) { f(); },
                             "guest", "x", files.Write("logo.jpg", FakeJpeg("big" + std::string(600000, 'p'))).string(),
                             nullptr);
        upload.Execute();
        EXPECT_EQ(upload.Result, TWorkerResult::ServiceError);
        EXPECT_EQ(upload.AnswerText, kCannotStore);

        // On the wire: a success status with the error answer, for clients that stop at
        // a failing status.
        auto res = service.Client().Post("/upload.php", httplib::MultipartFormDataItems{
                                                            {"login", "guest", "", ""},
                                                            {"password", "x", "", ""},
                                                            {"logofile", FakeJpeg("small"), "l.jpg", "image/unknown"}});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->body, std::string("ERROR\r\n") + kCannotStore + "\r\n");
        EXPECT_TRUE(service.Store().ListPictures(service.Store().FindAccount("guest")->id, 10).empty());
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(service.DataDir() / "pictures", ec))
            ADD_FAILURE() << "left behind: " << e.path();
        EXPECT_TRUE(service.WaitForLog("failed on /upload.php"));
        // Still serving.
        EXPECT_EQ(service.Client().Get("/curversion.php")->body, "1.1.2");
    }
}

} // namespace
