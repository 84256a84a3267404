#include "acquire/multitwain.h"

#include "acquire/multitwaindib.h"
#include "common/error.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace quillon {

using namespace twain;

namespace {

// The source's messages arrive by callback, on whatever thread the source likes; the
// callback has no room for a pointer (its reference is 32 bits), so the one layer that
// has a source open is found here.
std::mutex g_callbackMutex;
TMultiTWAIN* g_callbackTarget = nullptr;

void CopyText(TW_STR32& field, const char* text)
{
    std::memset(field, 0, sizeof field);
    std::strncpy(field, text, sizeof field - 1);
}

// Fixed values; the manager fills in Id when the manager is opened.
TW_IDENTITY ApplicationIdentity()
{
    TW_IDENTITY id{};
    id.Id = 0;
    id.Version.MajorNum = 1;
    id.Version.MinorNum = 0;
    id.Version.Language = TWLG_ENGLISH_USA;
    id.Version.Country = TWCY_USA;
    CopyText(id.Version.Info, "<?>");
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 6;
    id.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyText(id.Manufacturer, "<?>");
    CopyText(id.ProductFamily, "<?>");
    CopyText(id.ProductName, "<?>");
    return id;
}

int32_t HeaderField(TTwainImage image, int offset)
{
    if (!image)
        return 0;
    const auto* p = static_cast<const uint8_t*>(image) + offset;
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

struct TMultiTWAINCallback {
    static TW_UINT16 Entry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16 message, TW_MEMREF)
    {
        std::lock_guard lock(g_callbackMutex);
        if (g_callbackTarget)
            g_callbackTarget->Post(message);
        return TWRC_SUCCESS;
    }
};

std::vector<std::string> DefaultTwainManagerPaths()
{
    if (const char* path = std::getenv(kTwainManagerVariable); path && *path)
        return {path};
    return {"libtwaindsm.so.2", "libtwaindsm.so", "/usr/local/lib/libtwaindsm.so.2", "/usr/local/lib/libtwaindsm.so"};
}

TMultiTWAIN::TMultiTWAIN(TTwainHost& host, std::vector<std::string> managerPaths)
    : host_(host), managerPaths_(std::move(managerPaths))
{
}

TMultiTWAIN::~TMultiTWAIN()
{
    CloseManager();
    UnloadManager();
    std::lock_guard lock(g_callbackMutex);
    if (g_callbackTarget == this)
        g_callbackTarget = nullptr;
}

TW_UINT16 TMultiTWAIN::ManagerCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    lastRC_ = entry_ ? entry_(&appId_, nullptr, dg, dat, msg, data) : TWRC_FAILURE;
    return lastRC_;
}

TW_UINT16 TMultiTWAIN::SourceCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    lastRC_ = entry_ ? entry_(&appId_, &sourceId_, dg, dat, msg, data) : TWRC_FAILURE;
    return lastRC_;
}

bool TMultiTWAIN::TWAIN_SourceManagerAvailable()
{
    if (entry_)
        return true;
    if (availability_ == TAvailability::Unknown) {
        bool loaded = LoadManager();
        UnloadManager();
        availability_ = loaded ? TAvailability::Yes : TAvailability::No;
    }
    return availability_ == TAvailability::Yes;
}

bool TMultiTWAIN::LoadManager()
{
    if (state_ >= 2)
        return true;
    for (const std::string& path : managerPaths_) {
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library)
            continue;
        void* entry = dlsym(library, "DSM_Entry");
        if (!entry) {
            dlclose(library);
            continue;
        }
        library_ = library;
        entry_ = reinterpret_cast<DSMENTRYPROC>(entry);
        appId_ = ApplicationIdentity();
        SetState(2);
        availability_ = TAvailability::Yes;
        return true;
    }
    return false;
}

bool TMultiTWAIN::OpenManager()
{
    if (state_ != 2)
        return state_ > 2;
    if (ManagerCall(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_) != TWRC_SUCCESS)
        return false;
    SetState(3);
    return true;
}

bool TMultiTWAIN::TWAIN_SelectImageSource(TW_HANDLE window)
{
    TW_HANDLE proxy = nullptr;
    if (!host_.IsWindow(window)) {
        if (window) {
            host_.ErrorBox(kMsgTwainSelectBadWindow);
            return false;
        }
        proxy = host_.CreateProxyWindow();
        if (!proxy) {
            host_.ErrorBox(kMsgTwainSelectProxyWindow);
            return false;
        }
        window = proxy;
    }
    parent_ = window;
    bool result = false;
    if (!LoadManager()) {
        host_.ErrorBox(kMsgTwainLoadManager);
    } else if (!OpenManager()) {
        host_.ErrorBox(kMsgTwainOpenManager);
    } else {
        TW_IDENTITY chosen{};
        result = ManagerCall(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen) == TWRC_SUCCESS;
        CloseManager();
    }
    UnloadManager();
    if (proxy)
        host_.DestroyProxyWindow(proxy);
    return result;
}

TTwainImage TMultiTWAIN::TWAIN_AcquireImage(TW_HANDLE window, unsigned /*pixelTypes: any*/)
{
    image_ = nullptr;
    TW_HANDLE proxy = nullptr;
    if (!host_.IsWindow(window)) {
        proxy = host_.CreateProxyWindow();
        window = proxy;
    }
    parent_ = window;
    if (!host_.IsWindow(window)) {
        host_.ErrorBox(kMsgTwainProxyWindow);
    } else if (!LoadManager()) {
        host_.ErrorBox(kMsgTwainLoadManager);
    } else if (!OpenManager()) {
        host_.ErrorBox(kMsgTwainOpenManager);
    } else if (!OpenDefaultSource()) {
        host_.ErrorBox(kMsgTwainOpenSource);
    } else if (!EnableSource()) {
        host_.ErrorBox(kMsgTwainEnableSource);
    } else {
        host_.EnableWindow(window, false);
        WaitLoop();
        host_.EnableWindow(window, true);
    }
    // A source that would not end its transfers still has to be walked down: the next
    // command starts in state 1.
    if (state_ == 7) {
        pending_ = {};
        if (SourceCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending_) == TWRC_SUCCESS)
            SetState(pending_.Count != 0 ? 6 : 5);
    }
    if (state_ == 6) {
        pending_ = {};
        if (SourceCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending_) == TWRC_SUCCESS)
            SetState(5);
    }
    DisableSource();
    // A source that will not end its transfers or be disabled is closed all the same:
    // the manager unloads it, and the next command starts in state 1.
    if (state_ > 4)
        SetState(4);
    CloseSource();
    CloseManager();
    UnloadManager();
    if (proxy)
        host_.DestroyProxyWindow(proxy);
    TTwainImage image = image_;
    image_ = nullptr;
    return image;
}

bool TMultiTWAIN::OpenDefaultSource()
{
    if (state_ != 3)
        return false;
    sourceId_.Id = 0;
    std::memset(sourceId_.ProductName, 0, sizeof sourceId_.ProductName);
    if (ManagerCall(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &sourceId_) != TWRC_SUCCESS)
        return false;
    SetState(4);
    std::lock_guard lock(g_callbackMutex);
    g_callbackTarget = this;
    std::lock_guard own(mutex_);
    messages_.clear();
    return true;
}

bool TMultiTWAIN::EnableSource()
{
    if (state_ != 4)
        return false;
    // The manager on Linux hands the source's messages to a callback; without one no
    // transfer could ever be announced.
    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&TMultiTWAINCallback::Entry);
    if (SourceCall(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback) != TWRC_SUCCESS)
        return false;
    ui_ = {};
    ui_.ShowUI = 1;
    ui_.ModalUI = 0;
    ui_.hParent = parent_;
    if (SourceCall(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui_) == TWRC_FAILURE)
        return false;
    SetState(5);
    return true;
}

void TMultiTWAIN::WaitLoop()
{
    while (state_ >= 5 && !image_) {
        if (std::optional<TW_UINT16> message = Take()) {
            HandleSourceMessage(*message);
            continue;
        }
        if (!host_.WaitForEvents())
            break;
    }
}

void TMultiTWAIN::HandleSourceMessage(TW_UINT16 message)
{
    if (state_ < 5)
        return;
    switch (message) {
    case MSG_XFERREADY:
        SetState(6);
        TransferLoop();
        break;
    case MSG_CLOSEDSREQ:
    case MSG_CLOSEDSOK:
        DisableSource();
        break;
    default:
        break;
    }
}

void TMultiTWAIN::TransferLoop()
{
    while (state_ == 6) {
        TW_HANDLE handle = nullptr;
        TW_UINT16 rc = SourceCall(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
        if (rc == TWRC_XFERDONE) {
            SetImage(handle);
            SetState(7);
        } else if (rc == TWRC_CANCEL) {
            SetState(7);
        } else {
            pending_ = {};
            if (SourceCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending_) == TWRC_SUCCESS)
                SetState(5);
            return;
        }
        pending_ = {};
        if (SourceCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending_) == TWRC_SUCCESS)
            SetState(pending_.Count != 0 ? 6 : 5);
    }
}

void TMultiTWAIN::SetImage(TTwainImage image)
{
    if (image_ && image_ != image)
        TWAIN_FreeImage(image_);
    image_ = image;
}

void TMultiTWAIN::DisableSource()
{
    if (state_ != 5)
        return;
    if (SourceCall(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui_) == TWRC_SUCCESS)
        SetState(4);
}

void TMultiTWAIN::CloseSource()
{
    DisableSource();
    if (state_ != 4)
        return;
    if (ManagerCall(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &sourceId_) != TWRC_SUCCESS)
        return;
    SetState(3);
    std::lock_guard lock(g_callbackMutex);
    if (g_callbackTarget == this)
        g_callbackTarget = nullptr;
}

void TMultiTWAIN::CloseManager()
{
    CloseSource();
    if (state_ != 3)
        return;
    if (ManagerCall(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent_) == TWRC_SUCCESS)
        SetState(2);
}

void TMultiTWAIN::SetState(int state)
{
    state_ = state;
    if (stateObserver_)
        stateObserver_(state);
}

void TMultiTWAIN::UnloadManager()
{
    if (state_ != 2)
        return;
    dlclose(library_);
    library_ = nullptr;
    entry_ = nullptr;
    SetState(1);
}

void TMultiTWAIN::Post(TW_UINT16 message)
{
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    host_.Wake();
}

std::optional<TW_UINT16> TMultiTWAIN::Take()
{
    std::lock_guard lock(mutex_);
    if (messages_.empty())
        return std::nullopt;
    TW_UINT16 message = messages_.front();
    messages_.pop_front();
    return message;
}

int TMultiTWAIN::TWAIN_ImageWidth(TTwainImage image) const
{
    return HeaderField(image, 4);
}

int TMultiTWAIN::TWAIN_ImageHeight(TTwainImage image) const
{
    int32_t height = HeaderField(image, 8);
    return height == INT32_MIN ? 0 : (height < 0 ? -height : height);
}

TBitmap TMultiTWAIN::TWAIN_DrawImage(TTwainImage image) const
{
    if (!image)
        throw QuillonError("There is no scanned picture.");
    // A manager's block does not tell its size; the header does, and the header is
    // checked before anything past it is read.
    const auto* dib = static_cast<const uint8_t*>(image);
    return DecodePackedDIB(dib, PackedDIBSize(dib));
}

void TMultiTWAIN::TWAIN_FreeImage(TTwainImage image) const
{
    // The manager for Linux allocates transfer blocks with the C heap.
    std::free(image);
}

} // namespace quillon
