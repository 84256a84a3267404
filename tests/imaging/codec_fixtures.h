#pragma once

#include "imaging/bitmap.h"
#include "imaging/psnr.h"

#include <cmath>
#include <cstdint>
#include <set>
#include <string>

namespace quillon::test {

// A picture with no symmetry and smooth and sharp parts: gradients, a bright block in
// one corner and a hard diagonal edge.
inline TBitmap MakeTestPicture(int width, int height)
{
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = static_cast<uint8_t>(x > 2 * y ? 200 : 40);
            if (x < width / 4 && y < height / 4)
                p[0] = p[1] = p[2] = 250;
        }
    return b;
}

using quillon::Psnr;

inline size_t CountColours(const TBitmap& b)
{
    std::set<uint32_t> colours;
    for (size_t i = 0; i < b.SizeInBytes(); i += 3)
        colours.insert(uint32_t(b.Data()[i]) << 16 | uint32_t(b.Data()[i + 1]) << 8 | b.Data()[i + 2]);
    return colours.size();
}

inline void PutLE(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

} // namespace quillon::test
