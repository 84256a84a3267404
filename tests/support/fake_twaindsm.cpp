// A TWAIN data source manager with one scripted source, built as a shared library that
// the TWAIN layer loads like the real one. Its source announces transfers and close
// requests by callback from a thread of its own, as sources on Linux do.
//
// Script (FakeTwain_Reset, or the environment variable QUILLON_FAKE_TWAIN_SCRIPT when
// the library was never reset), words separated by spaces:
//   fail=OPENDSM,OPENDS,ENABLEDS,USERSELECT,REGISTER,ENDXFER,DISABLEDS
//                 calls that answer TWRC_FAILURE
//   enable=N      what MSG_ENABLEDS answers (default TWRC_SUCCESS)
//   select=N      what MSG_USERSELECT answers (default TWRC_SUCCESS)
//   xfer:A,B,...  the source says MSG_XFERREADY; its transfers are A, B, ... each "ok"
//                 (a 24-bit picture of (2 + n) x 2 pixels for the n-th ok transfer),
//                 "cancel" or "fail"
//   close         the source asks to be closed (MSG_CLOSEDSREQ)
//   hold          nothing more is sent until FakeTwain_Continue()
// Each event is sent after enabling, and again after the previous event's transfers end.
#include "acquire/twain.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace quillon::twain;

namespace {

struct TFake {
    std::mutex mutex;
    bool reset = false;
    std::set<std::string> failures;
    TW_UINT16 enableRc = TWRC_SUCCESS;
    TW_UINT16 selectRc = TWRC_SUCCESS;
    std::deque<std::vector<std::string>> events;
    std::deque<std::string> transfers;
    int okCount = 0;
    TW_CALLBACK callback{};
    TW_IDENTITY app{};
    TW_IDENTITY source{};
    std::vector<std::string> log;
    std::string logText;
    std::vector<std::thread> deliverers;
};

TFake& Fake()
{
    static TFake fake;
    return fake;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

// Called with the lock held.
void Configure(TFake& f, const std::string& script)
{
    f.failures.clear();
    f.enableRc = f.selectRc = TWRC_SUCCESS;
    f.events.clear();
    f.transfers.clear();
    f.okCount = 0;
    f.callback = {};
    f.app = {};
    f.source = {};
    f.log.clear();
    for (const std::string& word : Split(script, ' ')) {
        if (word.starts_with("fail="))
            for (const std::string& call : Split(word.substr(5), ','))
                f.failures.insert(call);
        else if (word.starts_with("enable="))
            f.enableRc = static_cast<TW_UINT16>(std::stoi(word.substr(7)));
        else if (word.starts_with("select="))
            f.selectRc = static_cast<TW_UINT16>(std::stoi(word.substr(7)));
        else if (word.starts_with("xfer:")) {
            std::vector<std::string> event{"xfer"};
            for (const std::string& t : Split(word.substr(5), ','))
                event.push_back(t);
            f.events.push_back(event);
        } else if (word == "close" || word == "hold")
            f.events.push_back({word});
    }
}

// Every thread of the source is joined before it is switched off: the manager may be
// unloaded right after.
void JoinDeliverers(TFake& f)
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(f.mutex);
        threads.swap(f.deliverers);
    }
    for (std::thread& t : threads)
        t.join();
}

// Called with the lock held: the next event goes out from a thread after the call that
// made it due has returned (or not: the layer must cope with either order).
void ScheduleNext(TFake& f)
{
    if (f.events.empty())
        return;
    std::vector<std::string> event = f.events.front();
    f.events.pop_front();
    if (event[0] == "hold")
        return;
    TW_UINT16 message = event[0] == "xfer" ? MSG_XFERREADY : MSG_CLOSEDSREQ;
    if (event[0] == "xfer")
        f.transfers.assign(event.begin() + 1, event.end());
    f.deliverers.emplace_back([&f, message] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        DSMENTRYPROC callback = nullptr;
        TW_IDENTITY source{}, app{};
        {
            std::lock_guard lock(f.mutex);
            callback = reinterpret_cast<DSMENTRYPROC>(f.callback.CallBackProc);
            source = f.source;
            app = f.app;
            f.log.push_back(callback ? (message == MSG_XFERREADY ? "-> XFERREADY" : "-> CLOSEDSREQ") : "no callback");
        }
        if (callback)
            callback(&source, &app, DG_CONTROL, DAT_NULL, message, nullptr);
    });
}

void* MakePicture(int n)
{
    const int width = 2 + n, height = 2;
    const int stride = (width * 3 + 3) / 4 * 4;
    const size_t size = 40 + static_cast<size_t>(stride) * height;
    auto* p = static_cast<uint8_t*>(std::calloc(size, 1));
    auto put32 = [p](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(width));
    put32(8, static_cast<uint32_t>(height));
    p[12] = 1;
    p[14] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p + 40 + y * stride + x * 3;
            px[0] = 200; // B
            px[1] = 100; // G
            px[2] = static_cast<uint8_t>(40 * n); // R
        }
    return p;
}

std::string Name(TW_UINT16 dat, TW_UINT16 msg)
{
    auto datName = [dat]() -> std::string {
        switch (dat) {
        case DAT_PARENT: return "PARENT";
        case DAT_IDENTITY: return "IDENTITY";
        case DAT_USERINTERFACE: return "USERINTERFACE";
        case DAT_CALLBACK: return "CALLBACK";
        case DAT_IMAGENATIVEXFER: return "IMAGENATIVEXFER";
        case DAT_PENDINGXFERS: return "PENDINGXFERS";
        case DAT_EVENT: return "EVENT";
        default: return "DAT" + std::to_string(dat);
        }
    };
    auto msgName = [msg]() -> std::string {
        switch (msg) {
        case MSG_OPENDSM: return "OPENDSM";
        case MSG_CLOSEDSM: return "CLOSEDSM";
        case MSG_OPENDS: return "OPENDS";
        case MSG_CLOSEDS: return "CLOSEDS";
        case MSG_USERSELECT: return "USERSELECT";
        case MSG_ENABLEDS: return "ENABLEDS";
        case MSG_DISABLEDS: return "DISABLEDS";
        case MSG_REGISTER_CALLBACK: return "REGISTER";
        case MSG_GET: return "GET";
        case MSG_ENDXFER: return "ENDXFER";
        case MSG_RESET: return "RESET";
        default: return "MSG" + std::to_string(msg);
        }
    };
    return datName() + "/" + msgName();
}

} // namespace

extern "C" __attribute__((visibility("default"))) void FakeTwain_Reset(const char* script)
{
    TFake& f = Fake();
    JoinDeliverers(f);
    std::lock_guard lock(f.mutex);
    f.reset = true;
    Configure(f, script ? script : "");
}

extern "C" __attribute__((visibility("default"))) void FakeTwain_Continue()
{
    TFake& f = Fake();
    std::lock_guard lock(f.mutex);
    ScheduleNext(f);
}

// Every call so far, one per line: "DAT/MSG", with " ds" when it was addressed to the
// source, and what the source sent.
extern "C" __attribute__((visibility("default"))) const char* FakeTwain_Log()
{
    TFake& f = Fake();
    std::lock_guard lock(f.mutex);
    f.logText.clear();
    for (const std::string& line : f.log)
        f.logText += line + "\n";
    return f.logText.c_str();
}

// The application identity as it came with MSG_OPENDSM.
extern "C" __attribute__((visibility("default"))) void FakeTwain_AppIdentity(TW_IDENTITY* out)
{
    TFake& f = Fake();
    std::lock_guard lock(f.mutex);
    *out = f.app;
}

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_IDENTITY* origin, TW_IDENTITY* dest,
                                                                      TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                                                      TW_MEMREF data)
{
    TFake& f = Fake();
    if (msg == MSG_DISABLEDS || msg == MSG_CLOSEDS || msg == MSG_CLOSEDSM)
        JoinDeliverers(f);
    std::lock_guard lock(f.mutex);
    if (!f.reset && msg == MSG_OPENDSM) {
        const char* script = std::getenv("QUILLON_FAKE_TWAIN_SCRIPT");
        Configure(f, script ? script : "");
    }
    std::string line = Name(dat, msg);
    if (dest)
        line += dest->Id == f.source.Id && f.source.Id != 0 ? " ds" : " wrong-ds";
    if (!origin || (msg != MSG_OPENDSM && origin->Id != f.app.Id))
        line += " wrong-app";
    auto fails = [&](const char* call) { return f.failures.count(call) != 0; };
    TW_UINT16 rc = TWRC_SUCCESS;

    switch (msg) {
    case MSG_OPENDSM:
        if (fails("OPENDSM")) {
            rc = TWRC_FAILURE;
            break;
        }
        origin->Id = 1;
        f.app = *origin;
        break;
    case MSG_USERSELECT: {
        auto* id = static_cast<TW_IDENTITY*>(data);
        rc = fails("USERSELECT") ? TWRC_FAILURE : f.selectRc;
        if (rc == TWRC_SUCCESS)
            std::strcpy(id->ProductName, "Fake Scanner");
        break;
    }
    case MSG_OPENDS: {
        auto* id = static_cast<TW_IDENTITY*>(data);
        if (id->Id != 0 || id->ProductName[0] != 0)
            line += " not-cleared";
        if (fails("OPENDS")) {
            rc = TWRC_FAILURE;
            break;
        }
        id->Id = 7;
        std::strcpy(id->ProductName, "Fake Scanner");
        f.source = *id;
        break;
    }
    case MSG_REGISTER_CALLBACK:
        if (fails("REGISTER")) {
            rc = TWRC_FAILURE;
            break;
        }
        f.callback = *static_cast<TW_CALLBACK*>(data);
        break;
    case MSG_DISABLEDS:
        if (fails("DISABLEDS"))
            rc = TWRC_FAILURE;
        break;
    case MSG_ENABLEDS: {
        auto* ui = static_cast<TW_USERINTERFACE*>(data);
        if (ui->ShowUI != 1 || ui->ModalUI != 0)
            line += " bad-ui";
        rc = fails("ENABLEDS") ? TWRC_FAILURE : f.enableRc;
        if (rc != TWRC_FAILURE)
            ScheduleNext(f);
        break;
    }
    case MSG_GET:
        if (dat == DAT_IMAGENATIVEXFER) {
            std::string t = f.transfers.empty() ? "fail" : f.transfers.front();
            if (!f.transfers.empty())
                f.transfers.pop_front();
            line += " " + t;
            if (t == "ok") {
                *static_cast<TW_HANDLE*>(data) = MakePicture(++f.okCount);
                rc = TWRC_XFERDONE;
            } else {
                rc = t == "cancel" ? TWRC_CANCEL : TWRC_FAILURE;
            }
        }
        break;
    case MSG_ENDXFER: {
        if (fails("ENDXFER")) {
            rc = TWRC_FAILURE;
            break;
        }
        auto* pending = static_cast<TW_PENDINGXFERS*>(data);
        pending->Count = static_cast<TW_UINT16>(f.transfers.size());
        line += " " + std::to_string(pending->Count);
        if (pending->Count == 0)
            ScheduleNext(f);
        break;
    }
    case MSG_RESET:
        f.transfers.clear();
        static_cast<TW_PENDINGXFERS*>(data)->Count = 0;
        ScheduleNext(f);
        break;
    default:
        break;
    }
    (void)dg;
    f.log.push_back(line + (rc == TWRC_SUCCESS ? "" : " rc=" + std::to_string(rc)));
    return rc;
}
