#pragma once

// Scanners through SANE: the device list, one page scanned from a device, and the
// page's frames turned into a picture.
#include "imaging/bitmap.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

inline constexpr const char* kMsgSaneScanFailed = "The scanner could not scan the page: ";
inline constexpr const char* kMsgSaneUnreadablePage =
    "The scanner delivered the page in a form this program cannot read.";

struct TSaneDevice {
    std::string name; // what sane_open takes
    std::string vendor;
    std::string model;
    // How the device is listed for the user.
    std::string Label() const;
};

// One frame of a page as SANE describes it (SANE_Parameters) with its bytes.
struct TSaneFrame {
    enum class TFormat { Gray, RGB, Red, Green, Blue } format = TFormat::Gray;
    int bytesPerLine = 0;
    int pixelsPerLine = 0;
    int lines = -1; // -1: not known before the end
    int depth = 8;  // 1, 8 or 16 bits per sample
    std::vector<uint8_t> data;
};

// The picture in a page of one gray or RGB frame, or of three separate red, green and
// blue frames; 1-bit samples are lineart (1 is black), 16-bit ones in the machine's byte
// order. Only complete lines count. Throws QuillonError(kMsgSaneUnreadablePage) for any
// other layout.
TBitmap SaneFramesToBitmap(const std::vector<TSaneFrame>& frames);

// SANE's devices. SANE is one library per process and listing its devices can take
// seconds (network backends wait for answers), so the process lists them once, on a
// thread of its own, and keeps the list for the run. The library is never ended: the
// listing may outlive everything else at exit.
class TSaneDeviceList {
public:
    static TSaneDeviceList& Process();

    // Starts the listing (sane_init, sane_get_devices) unless it was started before.
    void Start();
    bool Done() const;
    // Started and not done: the listing thread is inside the backends.
    bool Listing() const;
    // Empty until Done().
    std::vector<TSaneDevice> Devices() const;
    // Starts the listing when needed and blocks until it is done.
    void Wait();
    // Called once, on the listing thread, when the list is done (at once when it is).
    // Unsubscribe before the listener goes away.
    int Subscribe(std::function<void()> listener);
    void Unsubscribe(int id);

private:
    TSaneDeviceList() = default;
    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool started_ = false;
    bool finished_ = false;
    std::vector<TSaneDevice> devices_;
    std::vector<std::pair<int, std::function<void()>>> listeners_;
    int nextId_ = 0;
};

// One page from one device. Run on a worker thread; Cancel from any other.
class TSanePageScan {
public:
    explicit TSanePageScan(std::string deviceName) : deviceName_(std::move(deviceName)) {}

    // The page in colour where the device offers it, at the device's default resolution.
    // progress gets 0..100 as the data comes in. Nothing when cancelled; throws
    // QuillonError with SANE's own text when the device fails.
    std::optional<TBitmap> Run(const std::function<void(int)>& progress);
    void Cancel();

private:
    void SelectColourMode(void* handle);
    std::string deviceName_;
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    void* handle_ = nullptr; // open while Run reads; guarded by mutex_ for Cancel
};

} // namespace quillon
