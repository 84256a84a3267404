#pragma once

#include "imaging/palettesearch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// Writes a GIF file of one image with a global palette of 2^bits colours (bits 1..8),
// taking the palette indexes a stretch at a time as they are ready. The bytes are those
// giflib writes for the same picture (its header, its LZW code-size and table-reset
// rules), found with a hash table that a compression of a few hundred thousand pixels
// can afford to clear.
class TGifWriter {
public:
    // Writes the header, the palette (entries past `palette` black) and the image
    // descriptor of a width x height picture into `out`.
    TGifWriter(std::string& out, int width, int height, int bits, const std::vector<TRGB>& palette);

    // The next `count` indexes in row order; each below 2^bits.
    void Put(const uint8_t* indexes, size_t count);

    // Ends the image and the file, once every pixel was put.
    void Finish();

private:
    inline void Output(int code);
    inline void Byte(uint8_t byte);
    inline int Find(uint32_t key) const;
    inline void Insert(uint32_t key, int code);
    void ClearTable();

    static constexpr int kHashBits = 13;
    static constexpr uint32_t kEmpty = UINT32_MAX;

    std::string& out_;
    int bits_;
    int clearCode_;
    int runningCode_;
    int runningBits_;
    int maxCode1_;
    int current_ = -1; // the code of the string read so far; -1 before the first pixel
    uint64_t shift_ = 0;
    int shiftBits_ = 0;
    uint8_t block_[256] = {};     // a sub-block: its length, then up to 255 bytes
    std::vector<uint32_t> table_; // key << 12 | code, open addressing
};

} // namespace quillon
