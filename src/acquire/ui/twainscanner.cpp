#include "acquire/ui/twainscanner.h"

#include "common/error.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QWidget>

namespace quillon {

using twain::TW_HANDLE;

TQtTwainHost::TQtTwainHost()
{
    errorBox = [](const std::string& text) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kTwainErrorTitle), QString::fromStdString(text),
                        QMessageBox::Ok);
        box.exec();
    };
}

TQtTwainHost::~TQtTwainHost()
{
    for (auto& [handle, widget] : proxies_)
        delete widget;
}

TW_HANDLE TQtTwainHost::Handle(QWidget* window)
{
    return window ? reinterpret_cast<TW_HANDLE>(window->window()->winId()) : nullptr;
}

void TQtTwainHost::ErrorBox(const std::string& text)
{
    errorBox(text);
}

bool TQtTwainHost::IsWindow(TW_HANDLE window)
{
    return window && QWidget::find(reinterpret_cast<WId>(window));
}

TW_HANDLE TQtTwainHost::CreateProxyWindow()
{
    auto* proxy = new QWidget(nullptr, Qt::Window);
    proxy->setWindowTitle(QStringLiteral("Acquire Proxy"));
    proxy->show();
    TW_HANDLE handle = Handle(proxy);
    proxies_[handle] = proxy;
    return handle;
}

void TQtTwainHost::DestroyProxyWindow(TW_HANDLE window)
{
    auto it = proxies_.find(window);
    if (it == proxies_.end())
        return;
    delete it->second;
    proxies_.erase(it);
}

void TQtTwainHost::EnableWindow(TW_HANDLE window, bool enable)
{
    if (QWidget* widget = QWidget::find(reinterpret_cast<WId>(window)))
        widget->setEnabled(enable);
}

bool TQtTwainHost::WaitForEvents()
{
    QEventLoop loop;
    {
        std::lock_guard lock(mutex_);
        if (woken_) {
            woken_ = false;
            return true;
        }
        loop_ = &loop;
    }
    loop.exec();
    std::lock_guard lock(mutex_);
    loop_ = nullptr;
    // Left without a wake-up: the application is quitting.
    bool woken = woken_;
    woken_ = false;
    return woken;
}

void TQtTwainHost::Wake()
{
    std::lock_guard lock(mutex_);
    woken_ = true;
    if (loop_)
        QMetaObject::invokeMethod(loop_, &QEventLoop::quit, Qt::QueuedConnection);
}

TTwainScanner::TTwainScanner(std::vector<std::string> managerPaths) : layer_(host_, std::move(managerPaths)) {}

bool TTwainScanner::Available()
{
    return layer_.TWAIN_SourceManagerAvailable();
}

bool TTwainScanner::SelectSource(QWidget* parent)
{
    return layer_.TWAIN_SelectImageSource(TQtTwainHost::Handle(parent));
}

std::optional<TBitmap> TTwainScanner::Acquire(QWidget* parent)
{
    TTwainImage image = layer_.TWAIN_AcquireImage(TQtTwainHost::Handle(parent), 0);
    if (!image)
        return std::nullopt;
    std::optional<TBitmap> picture;
    try {
        picture = layer_.TWAIN_DrawImage(image);
    } catch (const QuillonError& e) {
        host_.ErrorBox(e.what());
    }
    layer_.TWAIN_FreeImage(image);
    return picture;
}

} // namespace quillon
