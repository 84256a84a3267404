#include "acquire/quillonpi.h"
#include "acquire/settingsstore.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

#include <atomic>
#include <thread>
#include <vector>

namespace quillon {
namespace {

using test::TTempDir;

class SettingsStoreTest : public ::testing::Test {
protected:
    std::filesystem::path File() const { return dir.Path() / "quillon" / "settings.ini"; }
    TTempDir dir;
};

TEST_F(SettingsStoreTest, AMissingKeyIsNeverCreatedByReadersOrWriters)
{
    TSettingsFile store(File());
    EXPECT_FALSE(store.Read());
    EXPECT_FALSE(store.Update([](TSettingsValues& v) { v[kImageURLValue] = "http://x/a.jpg"; }));
    EXPECT_FALSE(TakeValue(store, kImageURLValue));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "quillon"));

    // A file without the key's section is a missing key as well.
    dir.Write("quillon/settings.ini", "[Other]\nImageURL=x\n");
    EXPECT_FALSE(store.Read());
    EXPECT_FALSE(store.Update([](TSettingsValues&) {}));
}

TEST_F(SettingsStoreTest, ValuesRoundTripAndTheFileIsPrivate)
{
    TSettingsFile store(File());
    store.CreateWith(kAppPathValue, "/opt/quillon dir");
    const std::string odd = "http://h/a b\\c\nd=e.jpg";
    ASSERT_TRUE(store.Update([&](TSettingsValues& v) { v[kImageURLValue] = odd; }));
    EXPECT_EQ(dir.Read("quillon/settings.ini"),
              "[\\Software\\Quillon\\Quillon]\nAppPath=/opt/quillon dir\nImageURL=http://h/a b\\\\c\\nd=e.jpg\n");
    const auto values = TSettingsFile(File()).Read();
    ASSERT_TRUE(values);
    EXPECT_EQ(values->at(kImageURLValue), odd);
    EXPECT_EQ(values->at(kAppPathValue), "/opt/quillon dir");
    struct stat st {};
    ASSERT_EQ(stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_EQ(TakeValue(store, kImageURLValue), odd);
    EXPECT_FALSE(TakeValue(store, kImageURLValue));
    EXPECT_EQ(store.Read()->size(), 1u);  // AppPath stays

    store.RemoveKey();
    EXPECT_FALSE(store.Read());
}

// Writers and takers in parallel, each with its own handle as separate programs would
// have: every URL written is taken exactly once or is still there at the end.
TEST_F(SettingsStoreTest, ConcurrentHandOffsAndPickUpsNeitherLoseNorDuplicateAURL)
{
    TSettingsFile(File()).CreateWith(kAppPathValue, "/app");
    constexpr int kWrites = 40;
    std::atomic<int> taken{0};
    std::vector<std::string> seen;
    std::mutex seenMutex;
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        TSettingsFile store(File());
        for (int i = 0; i < kWrites; ++i) {
            // Wait until the previous URL was picked up, so none is overwritten.
            while (store.Read()->count(kImageURLValue))
                std::this_thread::yield();
            ASSERT_TRUE(store.Update([&](TSettingsValues& v) { v[kImageURLValue] = "u" + std::to_string(i); }));
        }
        writing = false;
    });
    std::vector<std::thread> takers;
    for (int t = 0; t < 3; ++t) {
        takers.emplace_back([&] {
            TSettingsFile store(File());
            while (writing || store.Read()->count(kImageURLValue)) {
                if (auto url = TakeValue(store, kImageURLValue)) {
                    std::lock_guard lock(seenMutex);
                    seen.push_back(*url);
                    ++taken;
                }
            }
        });
    }
    writer.join();
    for (auto& t : takers)
        t.join();
    EXPECT_EQ(taken, kWrites);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(TSettingsFile(File()).Read()->at(kAppPathValue), "/app");
}

struct TFakeWindow {
    bool running = false;
    int activations = 0;
    int notifications = 0;
    std::vector<std::string> started;
    bool startWorks = true;
};

TQuillonPI MakePI(TSettingsStore& store, TFakeWindow& w)
{
    return TQuillonPI({&store, [&w] { w.activations += w.running; return w.running; },
                       [&w] { ++w.notifications; },
                       [&w](const std::string& appPath) { w.started.push_back(appPath); return w.startWorks; }});
}

TEST_F(SettingsStoreTest, AddImageURLStoresTheURLThenWakesOrStartsTheProgram)
{
    TSettingsFile store(File());
    TFakeWindow w;
    TQuillonPI pi = MakePI(store, w);
    EXPECT_EQ(pi.AddImageURL("http://h/a.jpg"), kE_FAIL);  // no key: nothing written, nothing started
    EXPECT_EQ(pi.Exec(), kE_FAIL);
    EXPECT_TRUE(w.started.empty());
    EXPECT_FALSE(store.Read());

    store.CreateWith(kAppPathValue, "/opt/q");
    EXPECT_EQ(pi.AddImageURL("http://h/a.jpg"), kS_OK);
    EXPECT_EQ(w.started, std::vector<std::string>{"/opt/q"});
    EXPECT_EQ(w.notifications, 0);
    w.running = true;
    EXPECT_EQ(pi.AddImageURL("http://h/b.jpg"), kS_OK);  // overwrites the first
    EXPECT_EQ(store.Read()->at(kImageURLValue), "http://h/b.jpg");
    EXPECT_EQ(w.activations, 1);
    EXPECT_EQ(w.notifications, 1);
    EXPECT_EQ(pi.Exec(), kS_OK);  // only comes to the front
    EXPECT_EQ(w.activations, 2);
    EXPECT_EQ(w.notifications, 1);

    w.running = false;
    w.startWorks = false;
    EXPECT_EQ(pi.AddImageURL("http://h/c.jpg"), kE_FAIL);
    EXPECT_EQ(pi.Exec(), kE_FAIL);
    std::uint32_t flags = 0;
    EXPECT_EQ(pi.QueryStatus(flags), kS_OK);
    EXPECT_EQ(flags, kOLECMDF_ENABLED);
}

TEST_F(SettingsStoreTest, AddImageURLFailsWhenTheKeyCannotBeWritten)
{
    TSettingsFile store(File());
    store.CreateWith(kAppPathValue, "/opt/q");
    // The key cannot be locked, so it cannot be written (this holds for root as well).
    const std::filesystem::path lock = File().parent_path() / ".settings.ini.lock";
    std::filesystem::remove(lock);
    std::filesystem::create_directory(lock);
    TFakeWindow w;
    w.running = true;
    EXPECT_EQ(MakePI(store, w).AddImageURL("http://h/a.jpg"), kE_FAIL);
    EXPECT_EQ(w.notifications, 0);
    EXPECT_EQ(w.activations, 0);
    EXPECT_EQ(dir.Read("quillon/settings.ini").find("ImageURL"), std::string::npos);
}

} // namespace
} // namespace quillon
