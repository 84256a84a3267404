#pragma once

// The TWAIN layer: one connection to the data source manager at a time, a state that
// follows the seven states of the TWAIN standard, every manager and source call through
// the manager's single entry point, and a message box for its own failures.
#include "acquire/twain.h"
#include "imaging/bitmap.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

inline constexpr const char* kTwainErrorTitle = "TWAIN Error";
inline constexpr const char* kMsgTwainLoadManager = "Unable to load Source Manager (TWAIN_32.DLL)";
inline constexpr const char* kMsgTwainOpenManager = "Unable to open Source Manager (TWAIN_32.DLL)";
inline constexpr const char* kMsgTwainOpenSource = "Unable to open default Data Source.";
inline constexpr const char* kMsgTwainEnableSource = "Failed to enable Data Source.";
inline constexpr const char* kMsgTwainProxyWindow = "Unable to create proxy window";
inline constexpr const char* kMsgTwainSelectProxyWindow = "TWAIN_SelectImageSource: Unable to create proxy window";
inline constexpr const char* kMsgTwainSelectBadWindow = "TWAIN_SelectImageSource: window handle is invalid";

// Where the manager is looked for: the file named by this environment variable alone
// when it is set, else the names the TWAIN data source manager for Linux installs.
inline constexpr const char* kTwainManagerVariable = "QUILLON_TWAIN_DSM";
std::vector<std::string> DefaultTwainManagerPaths();

// What the layer needs from the windowing side. Windows are opaque handles the host
// hands out (the Qt side uses native window ids).
class TTwainHost {
public:
    virtual ~TTwainHost() = default;
    // The layer's error box: ownerless, titled kTwainErrorTitle, warning icon, OK.
    virtual void ErrorBox(const std::string& text) = 0;
    virtual bool IsWindow(twain::TW_HANDLE window) = 0;
    // An ownerless window titled "Acquire Proxy", or nullptr when none can be made.
    virtual twain::TW_HANDLE CreateProxyWindow() = 0;
    virtual void DestroyProxyWindow(twain::TW_HANDLE window) = 0;
    // Whether the window takes input; it takes none while a source is enabled.
    virtual void EnableWindow(twain::TW_HANDLE window, bool enable) = 0;
    // Runs the user interface until Wake() is called (or was called since the last
    // wait); false when the program is asked to quit meanwhile.
    virtual bool WaitForEvents() = 0;
    // Callable from any thread, also from inside the manager.
    virtual void Wake() = 0;
};

// A native-transfer image: the manager's memory block holding a packed bitmap. The layer
// frees it with TWAIN_FreeImage.
using TTwainImage = twain::TW_HANDLE;

class TMultiTWAIN {
public:
    explicit TMultiTWAIN(TTwainHost& host, std::vector<std::string> managerPaths = DefaultTwainManagerPaths());
    ~TMultiTWAIN();
    TMultiTWAIN(const TMultiTWAIN&) = delete;
    TMultiTWAIN& operator=(const TMultiTWAIN&) = delete;

    // Whether the manager can be loaded; decided by the first call, kept for the run.
    bool TWAIN_SourceManagerAvailable();
    // The manager's own selection dialog; true when the user picked a source.
    bool TWAIN_SelectImageSource(twain::TW_HANDLE window);
    // The last image the default source delivered in one enabling, or nullptr.
    // pixelTypes 0 means any type (nothing is negotiated).
    TTwainImage TWAIN_AcquireImage(twain::TW_HANDLE window, unsigned pixelTypes);
    // The header's width and height; 0 for no image or a header this program cannot read.
    int TWAIN_ImageWidth(TTwainImage image) const;
    int TWAIN_ImageHeight(TTwainImage image) const;
    // The image's pixels 1:1; throws QuillonError for a block that is not a readable bitmap.
    TBitmap TWAIN_DrawImage(TTwainImage image) const;
    void TWAIN_FreeImage(TTwainImage image) const;

    int State() const { return state_; }
    // Told of every change of the state, for tests that follow the walk up and down.
    void SetStateObserver(std::function<void(int)> observer) { stateObserver_ = std::move(observer); }
    twain::TW_UINT16 LastReturnCode() const { return lastRC_; }

private:
    friend struct TMultiTWAINCallback;

    twain::TW_UINT16 ManagerCall(twain::TW_UINT32 dg, twain::TW_UINT16 dat, twain::TW_UINT16 msg, twain::TW_MEMREF data);
    twain::TW_UINT16 SourceCall(twain::TW_UINT32 dg, twain::TW_UINT16 dat, twain::TW_UINT16 msg, twain::TW_MEMREF data);
    bool LoadManager();
    bool OpenManager();
    bool OpenDefaultSource();
    bool EnableSource();
    void WaitLoop();
    void HandleSourceMessage(twain::TW_UINT16 message);
    void TransferLoop();
    void DisableSource();
    void CloseSource();
    void CloseManager();
    void UnloadManager();
    void SetImage(TTwainImage image);
    void SetState(int state);
    // Messages the source sent by callback, handled on the layer's own thread.
    void Post(twain::TW_UINT16 message);
    std::optional<twain::TW_UINT16> Take();

    TTwainHost& host_;
    std::vector<std::string> managerPaths_;
    void* library_ = nullptr;
    twain::DSMENTRYPROC entry_ = nullptr;
    enum class TAvailability { Unknown, Yes, No } availability_ = TAvailability::Unknown;
    int state_ = 1;
    twain::TW_HANDLE parent_ = nullptr;
    twain::TW_IDENTITY appId_{};
    twain::TW_IDENTITY sourceId_{};
    twain::TW_USERINTERFACE ui_{};
    twain::TW_UINT16 lastRC_ = twain::TWRC_SUCCESS;
    twain::TW_PENDINGXFERS pending_{};
    TTwainImage image_ = nullptr;
    std::mutex mutex_;
    std::deque<twain::TW_UINT16> messages_;
    std::function<void(int)> stateObserver_;
};

} // namespace quillon
