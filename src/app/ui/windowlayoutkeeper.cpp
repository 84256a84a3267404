#include "app/ui/windowlayoutkeeper.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <exception>
#include <utility>

namespace quillon {

namespace {

TWindowRect RectOf(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

} // namespace

TWindowLayoutKeeper::TWindowLayoutKeeper(std::string appDir, QWidget& window, QSize minimum,
                                         std::vector<QSplitter*> splitters, std::function<bool()> fitToPane,
                                         std::function<void(bool)> setFitToPane, bool placeWindows)
    : appDir_(std::move(appDir)), window_(window), minimum_(minimum), splitters_(std::move(splitters)),
      fitToPane_(std::move(fitToPane)), setFitToPane_(std::move(setFitToPane)), placeWindows_(placeWindows)
{
    window_.setMinimumSize(minimum_);
    window_.installEventFilter(this);
}

bool TWindowLayoutKeeper::RestoreWindow()
{
    stored_ = LoadWindowLayout(appDir_);
    if (stored_.fitToPane)
        setFitToPane_(*stored_.fitToPane);
    if (!stored_.window) {
        const QRect frame = window_.frameGeometry();
        Place(QGuiApplication::primaryScreen(), {frame.x(), frame.y(), window_.width(), window_.height()}, true);
        return false;
    }
    const TWindowRect& w = *stored_.window;
    // A screen that is gone, or a place off every screen: the primary screen takes it.
    QScreen* screen =
        placeWindows_ ? QGuiApplication::screenAt(QRect(w.x, w.y, w.width, w.height).center()) : nullptr;
    Place(screen ? screen : QGuiApplication::primaryScreen(), w, false);
    if (stored_.maximized)
        window_.setWindowState(window_.windowState() | Qt::WindowMaximized);
    return true;
}

TWindowSize TWindowLayoutKeeper::BoundMinimum(const QScreen& screen)
{
    const TWindowSize minimum =
        MinimumOnScreen({minimum_.width(), minimum_.height()}, RectOf(screen.availableGeometry()), Frame());
    window_.setMinimumSize(minimum.width, minimum.height);
    return minimum;
}

void TWindowLayoutKeeper::Place(QScreen* screen, TWindowRect wanted, bool centre)
{
    if (screen) {
        const TWindowRect area = RectOf(screen->availableGeometry());
        const TFrameMargins frame = Frame();
        const TWindowSize minimum = BoundMinimum(*screen);
        wanted = FitOntoScreen(wanted, area, minimum.width, minimum.height, frame);
        if (centre) {
            wanted.x = area.x + (area.width - wanted.width - frame.left - frame.right) / 2;
            wanted.y = area.y + (area.height - wanted.height - frame.top - frame.bottom) / 2;
            wanted = FitOntoScreen(wanted, area, minimum.width, minimum.height, frame);
        }
    }
    if (window_.size() != QSize(wanted.width, wanted.height))
        window_.resize(wanted.width, wanted.height);
    // The compositor places the window; a program's wish is not even heard.
    if (placeWindows_ && window_.frameGeometry().topLeft() != QPoint(wanted.x, wanted.y))
        window_.move(wanted.x, wanted.y);
}

void TWindowLayoutKeeper::KeepOnScreen()
{
    QScreen* screen = window_.screen();
    if (!screen)
        return;
    // Maximised and full-screen windows are the window manager's to place.
    if (window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) {
        BoundMinimum(*screen);
        return;
    }
    const QRect frame = window_.frameGeometry();
    Place(screen, {frame.x(), frame.y(), window_.width(), window_.height()}, false);
}

void TWindowLayoutKeeper::FollowScreen(QScreen* screen)
{
    QObject::disconnect(areaChanged_);
    if (screen)
        areaChanged_ = connect(screen, &QScreen::availableGeometryChanged, this, [this] { KeepOnScreen(); });
}

TFrameMargins TWindowLayoutKeeper::Frame() const
{
    const QRect frame = window_.frameGeometry(), inner = window_.geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

bool TWindowLayoutKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_)
        return false;
    // From the event loop: while the window is being shown its place is still moving
    // from where it was asked for (frame included) to where the platform put it.
    auto keepOnScreenSoon = [this] { QTimer::singleShot(0, this, [this] { KeepOnScreen(); }); };
    const QEvent::Type type = event->type();
    if (type == QEvent::Show && !following_ && window_.windowHandle()) {
        following_ = true;
        FollowScreen(window_.screen());
        // A window dragged onto another screen is not moved about: it may only be made
        // as small as that screen needs.
        connect(window_.windowHandle(), &QWindow::screenChanged, this, [this](QScreen* screen) {
            FollowScreen(screen);
            if (screen)
                BoundMinimum(*screen);
        });
        keepOnScreenSoon();
    } else if (type == QEvent::WindowStateChange &&
               !(window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) {
        // Back from maximised: its normal size was set before the frame was known. The
        // platform may hand the size back in a later resize.
        normalPending_ = true;
        keepOnScreenSoon();
    } else if (type == QEvent::Resize && normalPending_) {
        normalPending_ = false;
        keepOnScreenSoon();
    }
    // The window manager's frame is known only some time after the window is shown (a
    // title bar of its own size): the window is fitted again with it, once.
    if ((type == QEvent::Move || type == QEvent::Resize) && following_ && !frameSeen_ && window_.isVisible() &&
        window_.frameGeometry() != window_.geometry()) {
        frameSeen_ = true;
        keepOnScreenSoon();
    }
    return false;
}

void TWindowLayoutKeeper::RestoreSplitters()
{
    for (QSplitter* splitter : splitters_) {
        const auto found = stored_.splitters.find(splitter->objectName().toStdString());
        if (found == stored_.splitters.end() || static_cast<int>(found->second.size()) != splitter->count())
            continue;
        splitter->setSizes(QList<int>(found->second.begin(), found->second.end()));
    }
}

void TWindowLayoutKeeper::Save() const
{
    TWindowLayout layout;
    layout.maximized = window_.isMaximized();
    QRect normal(window_.pos(), window_.size());
    if (window_.isMaximized() || window_.isMinimized()) {
        // The size it comes back to, placed as its frame was (the frame's offset from the
        // inside is the window manager's decoration).
        const QPoint decoration = window_.geometry().topLeft() - window_.frameGeometry().topLeft();
        normal = QRect(window_.normalGeometry().topLeft() - decoration, window_.normalGeometry().size());
    }
    if (normal.isValid()) {
        layout.window = TWindowRect{normal.x(), normal.y(), normal.width(), normal.height()};
        // The place read here is no place at all: the one stored before stays.
        if (!placeWindows_) {
            const QScreen* screen = QGuiApplication::primaryScreen();
            layout.window = KeepStoredPlace({normal.width(), normal.height()}, stored_.window,
                                            screen ? RectOf(screen->availableGeometry()) : TWindowRect{}, Frame());
        }
    }
    for (const QSplitter* splitter : splitters_) {
        const QList<int> sizes = splitter->sizes();
        layout.splitters[splitter->objectName().toStdString()] = std::vector<int>(sizes.begin(), sizes.end());
    }
    layout.fitToPane = fitToPane_();
    try {
        SaveWindowLayout(appDir_, layout);
    } catch (const std::exception&) {
        // Only the window's place is lost: it opens where a new user's would. The files
        // that hold the user's work are written next and report their own failures.
    }
}

} // namespace quillon
