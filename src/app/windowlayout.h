#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// The arrangement of the main window that comes back at the next start. It is kept in
// a file of its own beside appstate.xml, so that file holds what it always held.
inline constexpr const char* kWindowLayoutFile = "windowlayout.xml";

struct TWindowRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TWindowRect&) const = default;
};

struct TWindowLayout {
    std::optional<TWindowRect> window;  // the window when not maximised: frame position, inner size
    bool maximized = false;
    std::map<std::string, std::vector<int>> splitters;  // pane sizes by splitter name
    std::optional<bool> fitToPane;
    bool operator==(const TWindowLayout&) const = default;
};

// What the file holds; a part that is absent or damaged (a file that is no XML, a
// size that is no positive number) is left out, and the window takes its default
// for it. Never fails: the layout is a convenience, not the user's data.
TWindowLayout LoadWindowLayout(const std::string& appDir);
// Written atomically; throws QuillonError on failure.
void SaveWindowLayout(const std::string& appDir, const TWindowLayout& layout);

// Where a stored window goes on the screen it is shown on (the screen's available
// area): no larger than that area, though never below the window's minimum size, and
// moved so that as much of it as fits lies on the area, its top-left corner first.
TWindowRect FitOntoScreen(TWindowRect window, const TWindowRect& screen, int minWidth, int minHeight);

} // namespace quillon
