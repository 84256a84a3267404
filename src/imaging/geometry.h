#pragma once

#include <cstdint>

namespace quillon {

// Integer rectangle, left/top inclusive, right/bottom exclusive.
struct TRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const TRect&) const = default;
};

struct TSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const TSize&) const = default;
};

// The common part of two rectangles (empty when they do not meet).
TRect Intersect(const TRect& a, const TRect& b);

// Rounds to the nearest integer, halves to the even neighbour.
int32_t RoundHalfEven(double value);

// a * b / c in 64 bits, truncating toward zero; the work area can be tall enough
// for the 32-bit product to overflow.
int32_t MulDiv(int64_t a, int64_t b, int64_t c);

// The picture extended on two opposite sides to the logo's proportions.
TSize WorkAreaSize(TSize picture, TSize logo);

// Top-left corner of the picture inside the work area.
TSize PictureOffset(TSize picture, TSize work);

// The largest frame the fit kind allows, centred in the work area.
TRect FitBounds(TSize picture, TSize work, uint8_t fitkind);

// True when the rectangle (picture coordinates) shares at least one pixel with the picture.
bool IntersectsPicture(const TRect& rect, TSize picture);

// Clips the source rectangle to the picture and moves the destination with it so the
// covered part keeps its place (keep proportions) or is fitted with its own proportions,
// then centres it in the original destination.
void ClipToPicture(TRect& source, TRect& dest, TSize picture, bool keepproportions);

// How the work area is shown in the source pane: 1:1, or scaled down by one factor.
struct TDisplayLayout {
    TSize work;
    TSize display;
    TSize displayPicture;
    // Top-left of the displayed picture inside the display.
    int32_t pictureLeft = 0;
    int32_t pictureTop = 0;
    bool scaled = false;

    bool operator==(const TDisplayLayout&) const = default;
};

TDisplayLayout ComputeDisplayLayout(TSize picture, TSize work, TSize pane, bool fitToPane);

// Work-area rectangle in display coordinates as drawn: each axis scaled by its own extents.
TRect WorkToDisplayRect(const TRect& workRect, TSize work, TSize display);

// Display coordinate to work-area coordinate along one axis (truncating).
int32_t DisplayToWork(int32_t value, int32_t workExtent, int32_t displayExtent);
int32_t WorkToDisplay(int32_t value, int32_t workExtent, int32_t displayExtent);

} // namespace quillon

namespace quillon {

struct TRgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const TRgb&) const = default;
};

// Colours are stored as 0x00BBGGRR.
inline TRgb RgbFromColorRef(uint32_t color)
{
    return {static_cast<uint8_t>(color & 0xFF), static_cast<uint8_t>((color >> 8) & 0xFF),
            static_cast<uint8_t>((color >> 16) & 0xFF)};
}

inline constexpr TRgb kWhite{255, 255, 255};
inline constexpr TRgb kBlack{0, 0, 0};
inline constexpr TRgb kWorkAreaBorderColor{0, 0, 255};
inline constexpr TRgb kPreviewBorderColor{128, 128, 128};

} // namespace quillon
