#include "app/windowlayout.h"

#include "common/text.h"
#include "common/xml.h"

#include <algorithm>
#include <filesystem>

namespace quillon {

namespace {

std::optional<int> IntAttribute(const XmlElement& e, const char* name)
{
    const std::optional<std::string> text = e.Attribute(name);
    return text ? ParseInt32(*text) : std::nullopt;
}

std::optional<TWindowRect> ReadWindow(const XmlElement& e)
{
    const auto x = IntAttribute(e, "x"), y = IntAttribute(e, "y");
    const auto w = IntAttribute(e, "width"), h = IntAttribute(e, "height");
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0)
        return std::nullopt;
    return TWindowRect{*x, *y, *w, *h};
}

// "185,615": every size a number of at least 0 and at least one above it.
std::optional<std::vector<int>> ReadSizes(const std::string& text)
{
    std::vector<int> sizes;
    for (const std::string& part : SplitString(text, ',')) {
        const std::optional<int> n = ParseInt32(part);
        if (!n || *n < 0)
            return std::nullopt;
        sizes.push_back(*n);
    }
    if (sizes.size() < 2 || std::all_of(sizes.begin(), sizes.end(), [](int n) { return n == 0; }))
        return std::nullopt;
    return sizes;
}

std::optional<bool> ReadFlag(const XmlElement& e)
{
    const std::optional<std::string> v = e.Attribute("value");
    if (v == "1")
        return true;
    if (v == "0")
        return false;
    return std::nullopt;
}

} // namespace

TWindowLayout LoadWindowLayout(const std::string& appDir)
{
    TWindowLayout layout;
    const std::filesystem::path file = appDir + kWindowLayoutFile;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return layout;
    try {
        const XmlDocument doc = XmlDocument::Load(file);
        if (doc.Root().LowerName() != "windowlayout")
            return layout;
        for (const XmlElement& e : doc.Root().ChildElements()) {
            const std::string name = e.LowerName();
            if (name == "window") {
                layout.window = ReadWindow(e);
                layout.maximized = layout.window && e.Attribute("maximized") == "1";
            } else if (name == "splitter") {
                const std::optional<std::string> which = e.Attribute("name");
                if (const auto sizes = ReadSizes(e.Attribute("sizes").value_or("")); which && sizes)
                    layout.splitters[*which] = *sizes;
            } else if (name == "fittopane") {
                layout.fitToPane = ReadFlag(e);
            }
        }
    } catch (const std::exception&) {
        return {};
    }
    return layout;
}

void SaveWindowLayout(const std::string& appDir, const TWindowLayout& layout)
{
    XmlDocument doc = XmlDocument::Create("windowlayout");
    if (layout.window) {
        XmlElement w = doc.Root().AppendChild("window");
        w.SetAttribute("x", std::to_string(layout.window->x));
        w.SetAttribute("y", std::to_string(layout.window->y));
        w.SetAttribute("width", std::to_string(layout.window->width));
        w.SetAttribute("height", std::to_string(layout.window->height));
        w.SetAttribute("maximized", layout.maximized ? "1" : "0");
    }
    for (const auto& [name, sizes] : layout.splitters) {
        std::string text;
        for (int n : sizes)
            text += (text.empty() ? "" : ",") + std::to_string(n);
        XmlElement s = doc.Root().AppendChild("splitter");
        s.SetAttribute("name", name);
        s.SetAttribute("sizes", text);
    }
    if (layout.fitToPane)
        doc.Root().AppendChild("fittopane").SetAttribute("value", *layout.fitToPane ? "1" : "0");
    doc.Save(appDir + kWindowLayoutFile);
}

TWindowSize MinimumOnScreen(TWindowSize minimum, const TWindowRect& screen, const TFrameMargins& frame)
{
    // 64-bit sums: margins and areas come from the window system, not from us.
    auto bound = [](int wanted, int extent, int before, int after) {
        const long long room = static_cast<long long>(extent) - before - after;
        return static_cast<int>(std::max<long long>(1, std::min<long long>(wanted, room)));
    };
    return {bound(minimum.width, screen.width, frame.left, frame.right),
            bound(minimum.height, screen.height, frame.top, frame.bottom)};
}

TWindowRect FitOntoScreen(TWindowRect window, const TWindowRect& screen, int minWidth, int minHeight,
                          const TFrameMargins& frame)
{
    const int frameWidth = frame.left + frame.right, frameHeight = frame.top + frame.bottom;
    window.width = std::max(std::min(window.width, screen.width - frameWidth), minWidth);
    window.height = std::max(std::min(window.height, screen.height - frameHeight), minHeight);
    // 64-bit sums: a damaged file may hold coordinates near the ends of int.
    auto place = [](int pos, long long size, int start, int extent) {
        const long long last = static_cast<long long>(start) + extent - size;
        return static_cast<int>(std::max<long long>(start, std::min<long long>(pos, last)));
    };
    window.x = place(window.x, static_cast<long long>(window.width) + frameWidth, screen.x, screen.width);
    window.y = place(window.y, static_cast<long long>(window.height) + frameHeight, screen.y, screen.height);
    return window;
}

TWindowRect KeepStoredPlace(TWindowSize size, const std::optional<TWindowRect>& stored, const TWindowRect& screen,
                            const TFrameMargins& frame)
{
    if (stored)
        return {stored->x, stored->y, size.width, size.height};
    // 64-bit sums, as in FitOntoScreen; a window wider than the area starts at its edge.
    auto centre = [](int start, int extent, long long outer) {
        return static_cast<int>(start + std::max<long long>(0, (extent - outer) / 2));
    };
    return {centre(screen.x, screen.width, static_cast<long long>(size.width) + frame.left + frame.right),
            centre(screen.y, screen.height, static_cast<long long>(size.height) + frame.top + frame.bottom),
            size.width, size.height};
}

} // namespace quillon
