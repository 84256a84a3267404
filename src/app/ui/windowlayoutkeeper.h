#pragma once

#include "app/windowlayout.h"

#include <functional>
#include <string>
#include <vector>

class QSplitter;
class QWidget;

namespace quillon {

// Brings the main window's arrangement (size, place, maximised state, splitter panes,
// the fit-to-pane choice) back at the start and stores it at shutdown, in
// windowlayout.xml beside the program's other files.
class TWindowLayoutKeeper {
public:
    TWindowLayoutKeeper(std::string appDir, QWidget& window, std::vector<QSplitter*> splitters,
                        std::function<bool()> fitToPane, std::function<void(bool)> setFitToPane);

    // Before the window is first shown: reads the file and applies the window's size and
    // place, fitted onto the screen it was on (else the primary one), and the fit choice.
    // False when no size was stored: the window takes its default place.
    bool RestoreWindow();
    // Once the window is laid out: the panes, as the user left them.
    void RestoreSplitters();
    // Failures are not reported: the arrangement is a convenience, and the user's own
    // files are written (and their failures shown) by the shutdown itself.
    void Save() const;

private:
    std::string appDir_;
    QWidget& window_;
    std::vector<QSplitter*> splitters_;
    std::function<bool()> fitToPane_;
    std::function<void(bool)> setFitToPane_;
    TWindowLayout stored_;
};

} // namespace quillon
