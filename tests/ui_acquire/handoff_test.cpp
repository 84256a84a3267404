#include "acquire/messages.h"
#include "acquire/quillonpi.h"
#include "acquire/settingsstore.h"
#include "acquire/acquiremessages.h"
#include "acquire/ui/automationserver.h"
#include "app/ui/dialogs.h"
#include "app/ui/instancechannel.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "imaging/picturemessages.h"
#include "options/ui/optionsform.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QUrl>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace quillon;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

// The running program with its download dialog against a picture server on loopback.
// The settings key is a file of the test's own, replaced on purpose.
class HandOffTest : public ::testing::Test {
protected:
    HandOffTest() : platform(runtime.Path().c_str()), settings(keyDir.Path() / "settings.ini")
    {
        png = EncodePicture(TBitmap(120, 80), pfPNG);
        server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex);
                requested.push_back(req.path);
            }
            if (req.path == "/moved.png") {
                res.set_redirect("/b.png");
            } else if (req.path == "/error.png") {
                res.status = 500;
            } else if (req.path == "/stall.png") {
                res.set_content_provider(png.size() * 10, "image/png", [this](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset == 0)
                        return sink.write(png.data(), png.size());
                    while (!stop)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    return false;
                });
            } else {
                res.set_content(png, "image/png");
            }
        });
        server.set_keep_alive_max_count(1);
        port = server.bind_to_any_port("127.0.0.1");
        serverThread = std::thread([this] { server.listen_after_bind(); });

        fs::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/phoneslist.xml", dir.Path() / "phoneslist.xml");
        fs::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/parameters.xml", dir.Path() / "parameters.xml");
        settings.CreateWith(kAppPathValue, dir.Path().string());
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.settings = &settings;
        env.systemProxy = [] { return std::optional<std::string>(); };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        app->Start();
        app->Dialogs().OptionsForm->Options.proxysource = psNoProxy;
    }
    ~HandOffTest() override
    {
        stop = true;
        app.reset();
        server.stop();
        serverThread.join();
    }

    std::string URL(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    void HandOver(const std::string& url)
    {
        settings.Update([&](TSettingsValues& v) { v[kImageURLValue] = url; });
    }
    std::vector<std::string> Requested()
    {
        std::lock_guard lock(mutex);
        return requested;
    }
    std::vector<std::string> Logos() const
    {
        std::vector<std::string> names;
        if (fs::exists(dir.Path() / "Logo Directory"))
            for (const auto& e : fs::directory_iterator(dir.Path() / "Logo Directory"))
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool TempIsEmpty() const { return !fs::exists(dir.Path() / "Temp") || fs::is_empty(dir.Path() / "Temp"); }
    bool KeyHoldsURL() { return settings.Read()->count(kImageURLValue) != 0; }
    static void WaitFor(const std::function<bool()>& condition, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (!condition() && t.elapsed() < ms)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    TTempDir dir;
    TTempDir runtime;
    TTempDir keyDir;
    TRealPlatform platform;
    TSettingsFile settings;
    TScriptedPrompts prompts;
    std::unique_ptr<TQuillonApplication> app;
    TMainAppForm* form = nullptr;

    std::string png;
    httplib::Server server;
    std::thread serverThread;
    int port = 0;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<std::string> requested;
};

TEST_F(HandOffTest, OnlyTheLastOfTwoHandOffsIsDownloadedAndAddedUnderItsName)
{
    HandOver(URL("/a/photo.png"));
    HandOver(URL("/b/photo.PnG"));
    form->FormActivate();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().front();
    EXPECT_EQ(Requested(), std::vector<std::string>{"/b/photo.PnG"});
    EXPECT_EQ(Logos(), std::vector<std::string>{"photo.PnG"});
    EXPECT_FALSE(KeyHoldsURL());
    EXPECT_TRUE(TempIsEmpty());

    // A second picture of the same name gets a name of its own.
    HandOver(URL("/a/photo.PnG"));
    form->FormActivate();
    EXPECT_EQ(Logos(), (std::vector<std::string>{"photo.PnG", "photo2.PnG"}));
}

TEST_F(HandOffTest, RefusedAndFailedDownloadsShowTheirMessageAndAddNothing)
{
    struct TCase {
        std::string url;
        std::string message;  // empty: nothing is shown
        bool fetched;
    };
    const TCase cases[] = {
        {URL("/photo.png?size=2"), std::string(kMsgUnsupportedPictureType) + ".PNG?SIZE=2", false},
        {"http://localhost/photo", kMsgUnsupportedPictureType, false},
        {URL("/moved.png"), kMsgDownloadError, true},
        {URL("/error.png"), kMsgDownloadError, true},
        {"file:///etc/photo.png", kMsgOnlyWebAddresses, false},
        {"ftp://127.0.0.1/photo.png", kMsgOnlyWebAddresses, false},
        {"", "", false},  // an empty value is taken out and nothing happens
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.url);
        prompts.shown.clear();
        const size_t before = Requested().size();
        HandOver(c.url);
        form->FormActivate();
        EXPECT_EQ(prompts.Texts(), c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        EXPECT_EQ(Requested().size(), before + (c.fetched ? 1 : 0));
        EXPECT_FALSE(KeyHoldsURL());
        EXPECT_TRUE(Logos().empty());
        EXPECT_TRUE(TempIsEmpty());
    }
}

// Esc and closing do nothing during the transfer; Cancel ends it without a message and the
// partial file is gone. A hand-off meanwhile waits until the dialog has closed.
TEST_F(HandOffTest, CancelEndsTheDownloadQuietlyAndASecondHandOffWaits)
{
    TPictureDownloadForm& dialog = *app->Dialogs().PictureDownloadForm;
    bool refusedClose = false;
    qint64 cancelTook = -1;
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* bar = dialog.findChild<QProgressBar*>("PictureDownloadProgressBar");
        if (!dialog.Downloading() || bar->value() == 0)
            return;
        driver.stop();
        EXPECT_FALSE(TempIsEmpty());
        dialog.reject();
        dialog.close();
        refusedClose = dialog.isVisible();
        HandOver(URL("/b.png"));
        // The notification during the download opens nothing.
        TInstanceChannel sender(runtime.Path().c_str());
        EXPECT_TRUE(sender.Send("Quillon", "message 1025"));
        WaitFor([] { return false; }, 200);
        EXPECT_TRUE(KeyHoldsURL());
        QElapsedTimer t;
        t.start();
        dialog.findChild<QPushButton*>("CancelButton")->click();
        WaitFor([&] { return !dialog.isVisible(); }, 3000);
        cancelTook = t.elapsed();
    });
    driver.start();
    HandOver(URL("/stall.png"));
    form->FormActivate();
    EXPECT_TRUE(refusedClose);
    EXPECT_GE(cancelTook, 0);
    EXPECT_LT(cancelTook, 1000);
    // The waiting URL is picked up once the dialog has closed.
    WaitFor([&] { return !Logos().empty(); });
    EXPECT_EQ(Logos(), std::vector<std::string>{"b.png"});
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(TempIsEmpty());
    EXPECT_FALSE(KeyHoldsURL());
}

// A bus of the test's own and the real client tool: AddImageURL stores the URL and wakes
// the running window, which downloads the picture; without the key it answers E_FAIL.
TEST_F(HandOffTest, AddImageURLOverTheSessionBus)
{
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(bus.waitForStarted());
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    {
        QDBusConnection connection = QDBusConnection::connectToBus(address, "handoff-test");
        ASSERT_TRUE(connection.isConnected());
        TAutomationServer server(settings, platform.Instances());
        ASSERT_TRUE(server.Register(connection));

        auto invoke = [&](const QString& method, const QStringList& arguments) {
            QProcess gdbus;
            gdbus.start("gdbus", QStringList{"call", "--address", address, "--dest", kAutomationService,
                                             "--object-path", kAutomationPath, "--method", method} +
                                     arguments);
            // The call is served by this thread's event loop.
            WaitFor([&] { return gdbus.state() == QProcess::NotRunning; });
            return gdbus.readAllStandardOutput().trimmed().toStdString();
        };
        auto call = [&](const std::string& url) {
            return invoke(QString(kPluginInterface) + ".AddImageURL", {QString::fromStdString(url)});
        };
        EXPECT_EQ(invoke(QString(kCommandInterface) + ".QueryStatus", {}), "(uint32 0, uint32 2)");
        EXPECT_EQ(invoke(QString(kCommandInterface) + ".Exec", {}), "(uint32 0,)");
        EXPECT_EQ(call(URL("/c/photo.png")), "(uint32 0,)");
        WaitFor([&] { return !Logos().empty(); });
        EXPECT_EQ(Logos(), std::vector<std::string>{"photo.png"});
        EXPECT_FALSE(KeyHoldsURL());

        settings.RemoveKey();
        EXPECT_EQ(call(URL("/d/photo.png")), "(uint32 2147500037,)");
        EXPECT_EQ(invoke(QString(kCommandInterface) + ".Exec", {}), "(uint32 2147500037,)");
        EXPECT_FALSE(settings.Read());
    }
    QDBusConnection::disconnectFromBus("handoff-test");
    bus.kill();
    bus.waitForFinished();
}

// Pasted and dropped URLs take the hand-off's way; pasted pictures are named as grabbed ones.
TEST_F(HandOffTest, PastedAndDroppedPicturesAndURLsArriveAsLogos)
{
    form->FormActivate();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QString::fromStdString(URL("/web/cat.png")));
    form->PasteMenuItemClick();
    QImage red(40, 30, QImage::Format_RGB32);
    red.fill(Qt::red);
    clipboard->setImage(red);
    form->PasteMenuItemClick();
    // In the grab's format: PNG here, so the pixels can be compared exactly; transparent
    // parts come out white.
    app->Dialogs().OptionsForm->Options.grabbedfileformat = 3;
    QImage clear(40, 30, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    clipboard->setImage(clear);
    form->PasteMenuItemClick();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().front();
    EXPECT_EQ(Logos(), (std::vector<std::string>{"cat.png", "pastedimage.jpg", "pastedimage2.png"}));
    const TBitmap pasted = LoadPicture((dir.Path() / "Logo Directory" / "pastedimage2.png").string());
    EXPECT_EQ(pasted.Width(), 40);
    EXPECT_EQ(std::vector<uint8_t>(pasted.Pixel(5, 5), pasted.Pixel(5, 5) + 3), (std::vector<uint8_t>{255, 255, 255}));

    // A browser's drop: its two picture URLs one after the other, the rest passed over.
    QMimeData mime;
    mime.setUrls({QUrl(QString::fromStdString(URL("/d/one.png"))), QUrl("javascript:alert(1)"),
                  QUrl(QString::fromStdString(URL("/d/two.png")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form, &drop);
    WaitFor([&] { return Logos().size() == 5; });
    EXPECT_EQ(Logos(), (std::vector<std::string>{"cat.png", "one.png", "pastedimage.jpg", "pastedimage2.png",
                                                 "two.png"}));
    EXPECT_EQ(Requested(), (std::vector<std::string>{"/web/cat.png", "/d/one.png", "/d/two.png"}));

    // A picture too small for a logo is refused as an opened one is.
    clipboard->setImage(QImage(8, 40, QImage::Format_RGB32));
    form->PasteMenuItemClick();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgImageTooSmall});
    EXPECT_EQ(Logos().size(), 5u);
    EXPECT_TRUE(TempIsEmpty());
}

} // namespace
