#pragma once

#include "app/windowlayout.h"

#include <QMetaObject>
#include <QObject>
#include <QSize>
#include <functional>
#include <string>
#include <vector>

class QScreen;
class QSplitter;
class QWidget;

namespace quillon {

// Brings the main window's arrangement (size, place, maximised state, splitter panes,
// the fit-to-pane choice) back at the start and stores it at shutdown, in
// windowlayout.xml beside the program's other files. It also keeps the window on its
// screen: no larger than the screen's available area, its title bar on the screen.
// Where the window system neither tells nor takes a window's place (Wayland), only the
// size and the panes come back and the window is never moved; the place an earlier
// session stored is kept in the file for the next session that can use it.
class TWindowLayoutKeeper : public QObject {
public:
    // minimum: the window's smallest size where the screen has room for it. placeWindows:
    // the window system lets a program place its windows.
    TWindowLayoutKeeper(std::string appDir, QWidget& window, QSize minimum, std::vector<QSplitter*> splitters,
                        std::function<bool()> fitToPane, std::function<void(bool)> setFitToPane,
                        bool placeWindows);

    // Before the window is first shown: reads the file and applies the window's size and
    // place, fitted onto the screen it was on (else the primary one), and the fit choice.
    // Without a stored size the window keeps its size, as far as the primary screen
    // holds it, and is centred there; then the answer is false.
    bool RestoreWindow();
    // Once the window is laid out: the panes, as the user left them.
    void RestoreSplitters();
    // Fits the window's minimum size, size and place to the screen it is on, now that
    // the window manager's frame may be known. Called by itself when the window is
    // shown, changes screens, gets its frame, or its screen's area changes.
    void KeepOnScreen();
    // Failures are not reported: the arrangement is a convenience, and the user's own
    // files are written (and their failures shown) by the shutdown itself.
    void Save() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Sizes and places the window within the screen's available area, centred there or
    // as near to wanted as fits; without a screen, as wanted.
    void Place(QScreen* screen, TWindowRect wanted, bool centre);
    // Sets the window's minimum size for the screen; returns it.
    TWindowSize BoundMinimum(const QScreen& screen);
    void FollowScreen(QScreen* screen);
    TFrameMargins Frame() const;

    std::string appDir_;
    QWidget& window_;
    QSize minimum_;
    std::vector<QSplitter*> splitters_;
    std::function<bool()> fitToPane_;
    std::function<void(bool)> setFitToPane_;
    bool placeWindows_;
    TWindowLayout stored_;
    bool following_ = false;
    bool frameSeen_ = false;
    bool normalPending_ = false;
    QMetaObject::Connection areaChanged_;
};

} // namespace quillon
