#include "service/proxy.h"
#include "service/ui/workerrunner.h"
#include "service/uploadthread.h"
#include "support/recordingserver.h"
#include "support/tempdir.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace quillon;
using namespace quillon::test;
using namespace std::chrono_literals;

namespace {

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool OnMainThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

class WorkerRunnerTest : public ::testing::Test {
protected:
    WorkerRunnerTest()
    {
        parameters.Set("uploadhost", server.Host());
        file = dir.Write("logo.jpg", "bytes").string();
    }

    // An upload whose main-thread reset is recorded: where it ran, and the proxy it reset.
    std::shared_ptr<TUploadThread> MakeUpload(TWorkerRunner& runner)
    {
        connection.SetProxy({"", 0, true, "marker", ""});  // no server: only shows the reset
        TRunOnMainThread viaRunner = runner.MainThreadCall();
        return std::make_shared<TUploadThread>(
            connection, parameters, memberStatus,
            [this, viaRunner](const std::function<void()>& reset) {
                viaRunner([this, reset] {
                    resetOnMainThread = OnMainThread();
                    reset();
                });
            },
            "ann", "pw", file, nullptr);
    }

    TRecordingServer server;
    TServiceParameters parameters;
    TTempDir dir;
    std::string file;
    THTTPConnection connection;
    int memberStatus = 1;
    std::atomic<bool> resetOnMainThread{false};
};

TEST_F(WorkerRunnerTest, UploadRunsOnItsThreadAndCompletesOnTheMainThread)
{
    server.Answer("/upload.php", "SUCCESS\r\nhttp://u/?id=1");
    TWorkerRunner runner;
    auto upload = MakeUpload(runner);
    std::atomic<bool> bodyOnMainThread{true};
    bool completed = false;
    bool completedOnMainThread = false;
    TWorkerResult result = TWorkerResult::ConnectionFailed;
    ASSERT_TRUE(runner.Start(
        [&, upload] {
            bodyOnMainThread = OnMainThread();
            upload->Execute();
        },
        [&, upload] {
            completed = true;
            completedOnMainThread = OnMainThread();
            result = upload->Result;
        }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return completed; }));
    EXPECT_FALSE(bodyOnMainThread);
    EXPECT_TRUE(completedOnMainThread);
    EXPECT_TRUE(resetOnMainThread);
    EXPECT_EQ(result, TWorkerResult::Success);
    EXPECT_EQ(connection.Proxy(), TProxySettings());
    EXPECT_FALSE(runner.Busy());
}

TEST_F(WorkerRunnerTest, AtMostOneWorkerUntilItsCompletionHasRun)
{
    TWorkerRunner runner;
    std::atomic<bool> release{false};
    int completions = 0;
    ASSERT_TRUE(runner.Start([&] { while (!release) std::this_thread::sleep_for(1ms); }, [&] { ++completions; }));
    EXPECT_FALSE(runner.Start([] {}, [&] { completions += 100; }));
    release = true;
    ASSERT_TRUE(ProcessEventsUntil([&] { return completions > 0; }));
    EXPECT_EQ(completions, 1);
    ASSERT_TRUE(runner.Start([] {}, [&] { ++completions; }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return completions == 2; }));
}

TEST_F(WorkerRunnerTest, ShutdownCancelsAStalledUploadWithoutRunningItsCompletion)
{
    server.Answer("/upload.php", TCannedAnswer{200, "SUCCESS\r\nhttp://u/?id=1", {}, true});
    bool completed = false;
    auto upload = [&] {
        auto runner = std::make_unique<TWorkerRunner>();
        auto worker = MakeUpload(*runner);
        runner->Start([worker] { worker->Execute(); }, [&] { completed = true; }, [worker] { worker->Cancel(); });
        EXPECT_TRUE(server.WaitForStall());
        auto start = std::chrono::steady_clock::now();
        runner.reset();  // as at program exit, with no event loop running
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        return worker;
    }();
    server.Release();
    QCoreApplication::processEvents();
    EXPECT_FALSE(completed);
    EXPECT_EQ(upload->Result, TWorkerResult::Cancelled);
    EXPECT_TRUE(resetOnMainThread) << "the worker's reset still ran on the main thread";
    EXPECT_EQ(connection.Proxy(), TProxySettings());
}

TEST_F(WorkerRunnerTest, ShutdownGivesUpOnABodyThatIgnoresItsCancel)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    {
        TWorkerRunner runner;
        runner.Start(
            [release, ended] {
                while (!*release)
                    std::this_thread::sleep_for(1ms);
                *ended = true;
            },
            [] { ADD_FAILURE() << "completion after shutdown"; });
        auto start = std::chrono::steady_clock::now();
        runner.Shutdown(200ms);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        EXPECT_FALSE(runner.Busy());
    }
    *release = true;
    for (int i = 0; i < 500 && !*ended; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(*ended);
    QCoreApplication::processEvents();
}

} // namespace
