#pragma once

#include "acquire/multitwain.h"
#include "acquire/ui/scanner.h"

#include <functional>
#include <map>
#include <mutex>

class QEventLoop;

namespace quillon {

// The TWAIN layer's windowing side in Qt: windows are native window ids, the wait runs a
// nested event loop that the source's callback ends from any thread.
class TQtTwainHost : public TTwainHost {
public:
    TQtTwainHost();
    ~TQtTwainHost() override;

    // The error box; the real one by default, a test records instead.
    std::function<void(const std::string&)> errorBox;

    void ErrorBox(const std::string& text) override;
    bool IsWindow(twain::TW_HANDLE window) override;
    twain::TW_HANDLE CreateProxyWindow() override;
    void DestroyProxyWindow(twain::TW_HANDLE window) override;
    void EnableWindow(twain::TW_HANDLE window, bool enable) override;
    bool WaitForEvents() override;
    void Wake() override;

    static twain::TW_HANDLE Handle(QWidget* window);

private:
    std::map<twain::TW_HANDLE, QWidget*> proxies_;
    std::mutex mutex_;
    QEventLoop* loop_ = nullptr;
    bool woken_ = false;
};

// Scanners through the TWAIN data source manager.
class TTwainScanner final : public TScanner {
public:
    explicit TTwainScanner(std::vector<std::string> managerPaths = DefaultTwainManagerPaths());

    bool Available() override;
    bool SelectSource(QWidget* parent) override;
    std::optional<TBitmap> Acquire(QWidget* parent) override;

    TQtTwainHost& Host() { return host_; }

private:
    TQtTwainHost host_;
    TMultiTWAIN layer_;
};

} // namespace quillon
