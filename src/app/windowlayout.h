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

// What the window manager's frame adds around the window on each side.
struct TFrameMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct TWindowSize {
    int width = 0;
    int height = 0;
    bool operator==(const TWindowSize&) const = default;
};

// The smallest the window may be made on a screen (its available area): its own
// minimum, or what the area leaves inside the frame where that is less, so that the
// whole window fits on a small or strongly scaled screen. Never below one pixel.
TWindowSize MinimumOnScreen(TWindowSize minimum, const TWindowRect& screen, const TFrameMargins& frame = {});

// Where a window goes on the screen it is shown on (the screen's available area); the
// window is given by its frame's position and its inner size. No larger than the area
// leaves inside the frame, though never below the window's minimum size, and moved so
// that as much of its frame as fits lies on the area, its top-left corner (the title
// bar) first.
TWindowRect FitOntoScreen(TWindowRect window, const TWindowRect& screen, int minWidth, int minHeight,
                          const TFrameMargins& frame = {});

// The window to store where the window system neither tells nor takes a window's place
// (Wayland): its size as the user left it, at the place an earlier session stored, or
// centred on the screen's area when none did, so that a later session that can place
// windows puts it back where it was, or where a new user's window goes.
TWindowRect KeepStoredPlace(TWindowSize size, const std::optional<TWindowRect>& stored, const TWindowRect& screen,
                            const TFrameMargins& frame = {});

} // namespace quillon
