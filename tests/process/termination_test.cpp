// Starts the built program in a fresh application directory of its own and ends it the
// way a desktop session or a shell does, then checks what it left on disk.
#include "common/xml.h"
#include "imaging/bitmap.h"
#include "imaging/codecs.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using quillon::XmlDocument;
using quillon::test::TTempDir;

namespace {

// The program runs as a copy: its application directory is the folder of its executable.
class TProgram {
public:
    TProgram()
    {
        fs::create_directories(dir_.Path() / "app");
        fs::copy_file(QUILLON_EXECUTABLE, dir_.Path() / "app/quillon");
        for (const char* data : {"phoneslist.xml", "parameters.xml"})
            fs::copy_file(fs::path(QUILLON_SOURCE_DIR) / "data" / data, dir_.Path() / "app" / data);
        fs::create_directories(dir_.Path() / "runtime");
        fs::permissions(dir_.Path() / "runtime", fs::perms::owner_all);
    }
    ~TProgram()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    const TTempDir& Dir() const { return dir_; }
    fs::path App() const { return dir_.Path() / "app"; }

    void Start()
    {
        std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + (dir_.Path() / "runtime").string(),
                                        "HOME=" + dir_.Path().string()};
        for (char** e = environ; *e; ++e) {
            std::string var = *e;
            if (var.rfind("PATH=", 0) == 0 || var.rfind("LD_LIBRARY_PATH=", 0) == 0 || var.rfind("ASAN_", 0) == 0 ||
                var.rfind("UBSAN_", 0) == 0)
                env.push_back(var);
        }
        std::vector<char*> envp;
        for (std::string& v : env)
            envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string exe = (App() / "quillon").string();
        char* argv[] = {exe.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    }

    // The program listens on its instance socket once its window exists.
    bool WaitUntilRunning()
    {
        const fs::path socket = dir_.Path() / "runtime" / "Quillon";
        for (auto until = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < until;) {
            if (fs::exists(socket))
                return true;
            if (Ended())
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    // Sends up to count signals, fewer if the program is gone before. Spaced a little,
    // so they are not merged into one pending signal but each reaches the handler.
    int Signal(int sig, int count)
    {
        int sent = 0;
        while (sent < count && kill(pid_, sig) == 0) {
            ++sent;
            if (count > 1)
                std::this_thread::sleep_for(100us);
        }
        return sent;
    }

    // A logo with a picture large enough to keep the window's thread busy for a while,
    // selected at the last shutdown, so it is decoded when the window first shows.
    void SelectLargeLogo()
    {
        quillon::TBitmap picture(6000, 4000);
        for (int y = 0; y < picture.Height(); ++y) {
            uint8_t* row = picture.Row(y);
            for (int x = 0; x < picture.Width() * 3; ++x)
                row[x] = static_cast<uint8_t>(x ^ y);
        }
        dir_.Write("app/Logo Directory/large.bmp", quillon::EncodeBMP(picture));
        dir_.Write("app/logodirectory.xml",
                   "<logodirectory><logodirnode nodekind=\"logo\" nodename=\"large.bmp\"/></logodirectory>");
        dir_.Write("app/appstate.xml", "<appstate><activenodepath value=\"large.bmp\"/></appstate>");
    }

    // The wait status, or nothing if the program is still running after the timeout.
    std::optional<int> Wait(std::chrono::seconds timeout)
    {
        for (auto until = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < until;) {
            if (Ended())
                return status_;
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

private:
    bool Ended()
    {
        if (pid_ <= 0)
            return true;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        return false;
    }

    TTempDir dir_;
    pid_t pid_ = -1;
    int status_ = 0;
};

std::string RootOf(const fs::path& file)
{
    try {
        return XmlDocument::Load(file).Root().LowerName();
    } catch (const std::exception& e) {
        return std::string("unreadable: ") + e.what();
    }
}

// One signal or a flood of them: the same clean shutdown, every file written.
TEST(ProcessTest, TerminationSignalsEndInACleanShutdown)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        for (int count : {1, 2000}) {
            SCOPED_TRACE(testing::Message() << "signal " << sig << " x " << count);
            TProgram program;
            program.SelectLargeLogo();
            program.Start();
            ASSERT_TRUE(program.WaitUntilRunning());
            EXPECT_GE(program.Signal(sig, count), 1);
            const std::optional<int> status = program.Wait(30s);
            ASSERT_TRUE(status.has_value()) << "the program hangs";
            EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << (WIFSIGNALED(*status) ? WTERMSIG(*status) : 0);
            EXPECT_EQ(WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, 0);
            EXPECT_EQ(RootOf(program.App() / "appstate.xml"), "appstate");
            EXPECT_EQ(RootOf(program.App() / "options.xml"), "options");
            EXPECT_EQ(RootOf(program.App() / "logodirectory.xml"), "logodirectory");
        }
}

TEST(ProcessTest, TemporaryFilesOfACrashedSaveAreRemovedAtTheNextStart)
{
    TProgram program;
    const char* stale[] = {".logodirectory.xml.k3Jd9Q", ".options.xml.000abc", ".appstate.xml.ZZZZZZ"};
    for (const char* name : stale)
        program.Dir().Write(std::string("app/") + name, std::string(4096, 'x'));
    program.Dir().Write("app/.options.xml.mine", "kept");
    program.Start();
    ASSERT_TRUE(program.WaitUntilRunning());
    program.Signal(SIGTERM, 1);
    ASSERT_TRUE(program.Wait(30s).has_value());
    for (const char* name : stale)
        EXPECT_FALSE(fs::exists(program.App() / name)) << name;
    EXPECT_TRUE(fs::exists(program.App() / ".options.xml.mine"));
    EXPECT_EQ(RootOf(program.App() / "logodirectory.xml"), "logodirectory");
}

} // namespace
