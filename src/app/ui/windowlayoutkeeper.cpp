#include "app/ui/windowlayoutkeeper.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QWidget>
#include <exception>
#include <utility>

namespace quillon {

TWindowLayoutKeeper::TWindowLayoutKeeper(std::string appDir, QWidget& window, std::vector<QSplitter*> splitters,
                                         std::function<bool()> fitToPane, std::function<void(bool)> setFitToPane)
    : appDir_(std::move(appDir)), window_(window), splitters_(std::move(splitters)), fitToPane_(std::move(fitToPane)),
      setFitToPane_(std::move(setFitToPane))
{
}

bool TWindowLayoutKeeper::RestoreWindow()
{
    stored_ = LoadWindowLayout(appDir_);
    if (stored_.fitToPane)
        setFitToPane_(*stored_.fitToPane);
    if (!stored_.window)
        return false;
    const TWindowRect& w = *stored_.window;
    const QRect wanted(w.x, w.y, w.width, w.height);
    QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    TWindowRect placed = w;
    if (screen) {
        const QRect area = screen->availableGeometry();
        placed = FitOntoScreen(w, {area.x(), area.y(), area.width(), area.height()}, window_.minimumWidth(),
                               window_.minimumHeight());
    }
    window_.resize(placed.width, placed.height);
    window_.move(placed.x, placed.y);
    if (stored_.maximized)
        window_.setWindowState(window_.windowState() | Qt::WindowMaximized);
    return true;
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
    if (normal.isValid())
        layout.window = TWindowRect{normal.x(), normal.y(), normal.width(), normal.height()};
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
