#include "app/ui/dialogs.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/picturefiles.h"
#include "service/messages.h"

#include "support/recordingserver.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace quillon;
using quillon::test::TCannedAnswer;
using quillon::test::TRecordingServer;
using quillon::test::TScriptedPrompts;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

// The whole upload from the Upload button to the completion, against an HTTP server on
// loopback; the login dialog and the access hint are replaced on purpose.
class UploadWorkflowTest : public ::testing::Test {
protected:
    // uploadHost: where uploads go instead of the recording server.
    explicit UploadWorkflowTest(const std::string& uploadHost = "") : platform(runtime.Path().c_str())
    {
        fs::copy_file(std::string(QUILLON_SOURCE_DIR) + "/data/phoneslist.xml", dir.Path() / "phoneslist.xml");
        dir.Write("parameters.xml", "<parameters><uploadhost value=\"" + (uploadHost.empty() ? server.Host() : uploadHost) +
                                        "\"/><sendmailhost value=\"" + server.Host() +
                                        "\"/><uploadscript value=\"/upload.php\"/><memstatscript "
                                        "value=\"/memberstatus.php\"/></parameters>");
        source.Write("photo.png", EncodePicture(TBitmap(120, 80), pfPNG));
        TAppEnvironment env = platform.Environment(dir.AppDir());
        env.prompts = &prompts;
        env.systemProxy = [] { return std::optional<std::string>(); };
        env.askOpenFile = [this](const std::string&) { return (source.Path() / openName).string(); };
        app = std::make_unique<TQuillonApplication>(env);
        form = &app->MainForm();
        app->Start();
        TOptions& o = app->Dialogs().OptionsForm->Options;
        o.proxysource = psNoProxy;
        o.login = "ann";
        o.password = "secret";
        form->UploadWorkflow()->AskServiceLogin = [this](std::string& l, std::string& p) {
            ++loginShown;
            l = "ann";
            p = "secret";
            return true;
        };
        form->UploadWorkflow()->ShowAccessHint = [this](const std::string& url) { hints.push_back(url); };
        server.Answer("/memberstatus.php", "SUCCESS\r\n1\r\n0\r\n0\r\n");
    }
    ~UploadWorkflowTest() override { form->ShutdownApplication(); }

    TLogoNode* AddLogo()
    {
        form->Open1Click();
        return form->SelectedNode();
    }
    // Presses Upload and lets the event loop run until the upload has ended.
    void UploadAndWait()
    {
        form->UploadButtonClick();
        WaitIdle();
    }
    void WaitIdle()
    {
        PumpWhile([this] { return form->UploadRunning(); });
        ASSERT_FALSE(form->UploadRunning());
    }
    // Runs the event loop while busy() holds, for ten seconds at most.
    static void PumpWhile(const std::function<bool()>& busy)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (busy() && std::chrono::steady_clock::now() < end)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QString Text(const char* name)
    {
        if (auto* l = form->findChild<QLineEdit*>(name))
            return l->text();
        return form->findChild<QPlainTextEdit*>(name)->toPlainText();
    }
    QString Status() { return form->findChild<QLabel*>("StatusBarTextPanel")->text(); }
    size_t Requests(const std::string& path)
    {
        size_t n = 0;
        for (const auto& r : server.Requests())
            n += r.path == path ? 1 : 0;
        return n;
    }
    bool TempEmpty() const { return !fs::exists(dir.Path() / "Temp") || fs::is_empty(dir.Path() / "Temp"); }

    TRecordingServer server;
    TTempDir dir, source, runtime;
    TScriptedPrompts prompts;
    TRealPlatform platform;
    std::unique_ptr<TQuillonApplication> app;
    TMainAppForm* form = nullptr;
    int loginShown = 0;
    std::string openName = "photo.png";
    std::vector<std::string> hints;
};

TEST_F(UploadWorkflowTest, MemberUploadFillsTheFieldsAndTheSecondAsksNoMemberStatus)
{
    server.Answer("/upload.php", "SUCCESS\r\nhttp://wap.example/p.php?id=42\r\n");
    TLogoNode* logo = AddLogo();
    UploadAndWait();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().front();
    EXPECT_EQ(logo->Data()->uploadurl, "http://wap.example/p.php?id=42");
    EXPECT_EQ(Text("ImageID"), "42");
    EXPECT_EQ(Text("ImageWapShortURL"), "http://wap.example/p.php?id=42");
    EXPECT_EQ(Text("ImageWapURL"), "http://wap.example/p.php?id=42&login=ann&password=secret");
    EXPECT_EQ(form->findChild<QPushButton*>("UploadButton")->text(), "Upload again");
    EXPECT_EQ(Status(), kStatusDone);
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_NE(hints[0].find("/wap/?login=ann&password=secret"), std::string::npos);
    EXPECT_TRUE(TempEmpty());

    UploadAndWait();
    EXPECT_EQ(Requests("/memberstatus.php"), 1u);
    EXPECT_EQ(Requests("/upload.php"), 2u);
    EXPECT_EQ(loginShown, 0);
}

TEST_F(UploadWorkflowTest, AnotherLogoSelectedDuringTheUploadKeepsItsFieldsButShowsTheNewId)
{
    TLogoNode* uploaded = AddLogo();
    TLogoNode* other = AddLogo();
    other->Data()->uploadurl = "http://wap.example/p.php?id=9";
    form->SelectNode(uploaded);
    server.Answer("/upload.php", TCannedAnswer{200, "SUCCESS\r\nhttp://wap.example/p.php?id=42", {}, true});
    form->UploadButtonClick();
    ASSERT_TRUE(server.WaitForStall());
    form->SelectNode(other);
    server.Release();
    WaitIdle();
    EXPECT_EQ(uploaded->Data()->uploadurl, "http://wap.example/p.php?id=42");
    EXPECT_EQ(Text("ImageWapShortURL"), "http://wap.example/p.php?id=9");
    EXPECT_EQ(Text("ImageID"), "42");
    EXPECT_EQ(form->findChild<QPushButton*>("UploadButton")->text(), "Upload again");
}

TEST_F(UploadWorkflowTest, GuestUploadAndWithdrawnURLs)
{
    app->Dialogs().OptionsForm->Options.login = "GUEST";
    TLogoNode* first = AddLogo();
    first->Data()->uploadurl = "http://old.example/1";
    TLogoNode* second = AddLogo();
    second->Data()->uploadurl = "http://old.example/2";
    server.Answer("/upload.php", "SUCCESS\r\nhttp://g.example/guest/p.php?id=7\r\nhttp://OLD.example/1\r\n");
    UploadAndWait();
    EXPECT_EQ(Text("ImageWapURL"), "http://g.example/guest/p.php?id=7");
    EXPECT_EQ(Text("ImageWapShortURL"), "http://g.example/guest/p.php");
    EXPECT_EQ(first->Data()->uploadurl, "");
    EXPECT_EQ(second->Data()->uploadurl, "http://g.example/guest/p.php?id=7");
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_NE(hints[0].find("/guest/"), std::string::npos);
}

// Nothing listens where uploads go: the connection is never made.
class UploadToNoServiceTest : public UploadWorkflowTest {
protected:
    UploadToNoServiceTest() : UploadWorkflowTest("127.0.0.1:1") {}
};

TEST_F(UploadToNoServiceTest, ConnectionNeverMadeKeepsTheProxyMessage)
{
    AddLogo();
    UploadAndWait();
    EXPECT_EQ(Status(), kStatusDone);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgConnectionFailed});
    EXPECT_TRUE(TempEmpty());
}

TEST_F(UploadWorkflowTest, FailuresAndCancel)
{
    AddLogo();
    // The service was reached and said no: the proxy settings are not to blame.
    server.Answer("/upload.php", "oops", 500);
    UploadAndWait();
    EXPECT_EQ(Status(), kStatusDone);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"The service answered with an error (HTTP 500 Internal "
                                                        "Server Error). Please try again later."});
    EXPECT_TRUE(TempEmpty());

    prompts.shown.clear();
    server.Answer("/upload.php", "MESSAGE\r\nWRONG_LOGIN_OR_PASSWORD\r\n");
    UploadAndWait();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kMsgLoginIncorrect});

    prompts.shown.clear();
    server.Answer("/upload.php", TCannedAnswer{200, "SUCCESS\r\nhttp://u/?id=1", {}, true});
    form->UploadButtonClick();
    ASSERT_TRUE(form->UploadRunning());
    EXPECT_EQ(form->findChild<QPushButton*>("UploadButton")->text(), "Stop upload");
    ASSERT_TRUE(server.WaitForStall());
    const auto start = std::chrono::steady_clock::now();
    form->UploadButtonClick();  // Stop upload
    WaitIdle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    server.Release();
    EXPECT_EQ(Status(), kStatusUploadBroken);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(form->SelectedNode()->Data()->uploadurl, "");
    EXPECT_TRUE(TempEmpty());
}

TEST_F(UploadWorkflowTest, NothingStartsWithoutLoginOrPictureInTheFrame)
{
    TLogoNode* logo = AddLogo();
    app->Dialogs().OptionsForm->Options.password.clear();
    form->UploadWorkflow()->AskServiceLogin = [this](std::string&, std::string&) {
        ++loginShown;
        return false;
    };
    form->UploadButtonClick();
    EXPECT_FALSE(form->UploadRunning());
    EXPECT_EQ(loginShown, 1);

    logo->Data()->frameleft = -5000;  // hand-edited: a frame beside the picture
    logo->Data()->frametop = 0;
    logo->Data()->framewidth = 100;
    logo->Data()->frameheight = 100;
    form->UploadButtonClick();
    EXPECT_EQ(prompts.Texts().back(), kMsgNoPictureInFrame);
    EXPECT_EQ(Requests("/upload.php") + Requests("/memberstatus.php"), 0u);
}

TEST_F(UploadWorkflowTest, JpegAndGifLogosArePreviewedFirstWhenTheOptionsSaySo)
{
    for (const char* name : {"shot.JPEG", "anim.gif", "plain.bmp"})
        source.Write(name, EncodePicture(TBitmap(120, 80), PictureFormatOfName(name)));
    std::vector<std::string> previews;
    TUploadWorkflow& upload = *form->UploadWorkflow();
    upload.PreviewJPEG = [&](const TBitmap&, const std::string& name) {
        previews.push_back("jpeg " + name);
        return false;  // cancelled: nothing is sent
    };
    upload.PreviewGIF = [&](const TBitmap&, const std::string& name) {
        previews.push_back("gif " + name);
        return false;
    };
    for (const char* name : {"shot.JPEG", "anim.gif", "plain.bmp"}) {
        openName = name;
        AddLogo();
        form->UploadButtonClick();
        WaitIdle();
    }
    EXPECT_EQ(previews, (std::vector<std::string>{"jpeg shot.JPEG", "gif anim.gif"}));
    EXPECT_EQ(Requests("/upload.php"), 1u);  // the bitmap only

    previews.clear();
    app->Dialogs().OptionsForm->Options.showjpegdialog = false;
    form->SelectNode(form->LogoTree().Root()->Child(0));
    form->UploadButtonClick();
    WaitIdle();
    EXPECT_TRUE(previews.empty());
    EXPECT_EQ(Requests("/upload.php"), 2u);
}

TEST_F(UploadWorkflowTest, TheAddressesAPhoneReachesComeFromTheService)
{
    TServiceAddressLookup& lookup = *form->AddressLookup();
    PumpWhile([&] { return lookup.Running(); });
    EXPECT_EQ(lookup.Addresses().guestGalleryBase, "http://" + server.Host() + "/guest/");  // nothing named: derived
    server.Answer("/addresses.txt", "wap=http://phone.example:8080/wap/\r\nguest=http://phone.example:8080/guest/\r\n"
                                    "site=ftp://not.a.web.address/\r\n");
    lookup.Start(app->Dialogs().OptionsForm->Options);
    PumpWhile([&] { return lookup.Running(); });
    EXPECT_EQ(lookup.Addresses().productSite, "http://" + server.Host() + "/");

    app->Dialogs().OptionsForm->Options.login = "guest";
    server.Answer("/upload.php", "SUCCESS\r\nhttp://phone.example:8080/guest/?id=5\r\n");
    TLogoNode* logo = AddLogo();
    UploadAndWait();
    ASSERT_EQ(hints.size(), 1u);
    EXPECT_EQ(hints[0], "http://phone.example:8080/guest/");
    form->SelectNode(form->LogoTree().Root());
    form->SelectNode(logo);
    EXPECT_EQ(Text("ImageWapShortURL"), "http://phone.example:8080/guest/");  // a guest's URL, by its address
}

TEST_F(UploadWorkflowTest, TheVersionCheckOffersOnlyAnotherVersion)
{
    std::vector<std::string> offered;
    TVersionCheckWorkflow& check = *form->VersionCheck();
    check.AskDownload = [&](const std::string& v) {
        offered.push_back(v);
        return false;
    };
    auto run = [&] {
        PumpWhile([&] { return check.Running(); });
        check.Start(app->Dialogs().OptionsForm->Options);
        PumpWhile([&] { return check.Running(); });
        ASSERT_FALSE(check.Running());
    };
    server.Answer("/curversion.php", "1.1.2");
    run();
    server.Answer("/curversion.php", "1.1.2", 404);
    run();
    server.Answer("/curversion.php", "1.1.3");
    run();
    server.Answer("/curversion.php", "1.1.2\r\n");
    run();
    EXPECT_EQ(offered, (std::vector<std::string>{"1.1.3", "1.1.2\r\n"}));
}

TEST_F(UploadWorkflowTest, SendToFriendOutcomes)
{
    TSendToFriendWorkflow& send = *form->SendToFriendWorkflow();
    send.AskMessage = [](const std::string&, std::string& address, std::string& comments, std::string& name) {
        address = "friend@example.org";
        comments = "look\r\nat this";
        name.clear();
        return true;
    };
    auto sendAndWait = [&] {
        send.SendToFriendMenuItemClick();
        EXPECT_FALSE(form->findChild<QAction*>("SendToFriendMenuItem")->isEnabled());
        PumpWhile([&] { return send.Running(); });
        ASSERT_FALSE(send.Running());
        EXPECT_TRUE(form->findChild<QAction*>("SendToFriendMenuItem")->isEnabled());
    };
    const struct {
        const char* answer;
        int status;
        const char* statusText;
        std::vector<std::string> messages;
    } cases[] = {
        {"SUCCESS", 200, kStatusSent, {}},
        {"MESSAGE\r\nCOULD_NOT_SEND_MAIL", 200, kStatusSendFailed, {kMsgCouldNotSendMail}},
        {"MESSAGE\r\nWRONG_LOGIN_OR_PASSWORD", 200, kStatusSendFailed, {kMsgSendLoginIncorrect}},
        {"ERROR\r\nThe service is closed today", 200, kStatusSendFailed, {"The service is closed today"}},
        {"", 500, kStatusSendFailed,
         {"The service answered with an error (HTTP 500 Internal Server Error). Please try again later."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        prompts.shown.clear();
        server.Answer("/sendtofriend.php", c.answer, c.status);
        sendAndWait();
        EXPECT_EQ(Status(), c.statusText);
        EXPECT_EQ(prompts.Texts(), c.messages);
    }
    const auto requests = server.Requests();
    const auto& last = requests.back();
    EXPECT_EQ(last.path, "/sendtofriend.php");
    EXPECT_EQ(last.PartNames(), (std::vector<std::string>{"login", "password", "address", "comments", "sendername"}));
}

} // namespace
