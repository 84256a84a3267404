#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

// A 24-bit RGB picture: rows of width * 3 bytes (R, G, B), top row first, no padding.
// Every decoder produces one and every encoder and transform takes one.
class TBitmap {
public:
    TBitmap() = default;
    TBitmap(int width, int height) { Resize(width, height); }

    void Resize(int width, int height)
    {
        width_ = width > 0 ? width : 0;
        height_ = height > 0 ? height : 0;
        pixels_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3, 0);
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    size_t Stride() const { return static_cast<size_t>(width_) * 3; }

    uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * Stride(); }
    uint8_t* Pixel(int x, int y) { return Row(y) + static_cast<size_t>(x) * 3; }
    const uint8_t* Pixel(int x, int y) const { return Row(y) + static_cast<size_t>(x) * 3; }

    uint8_t* Data() { return pixels_.data(); }
    const uint8_t* Data() const { return pixels_.data(); }
    size_t SizeInBytes() const { return pixels_.size(); }

    bool operator==(const TBitmap&) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;
};

} // namespace quillon
