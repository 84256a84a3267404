#pragma once

#include "imaging/palettesearch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// The LZW codes of a stretch of palette indexes, compressed from an empty string table as
// if a clear code came before it. Stretches of one picture can so be compressed on
// different threads and joined by TGifWriter; the code-size and table-reset rules are
// giflib's, so a picture given as one stretch gets giflib's bytes. Strings are found with a
// hash table of four slots a code (a search rarely looks past the first), small enough
// for a compression of a few hundred thousand pixels to clear it at each table reset.
class TLzwStretch {
public:
    // bits: of the palette indexes, 1..8.
    explicit TLzwStretch(int bits);

    // The next `count` indexes; each below 2^bits.
    void Put(const uint8_t* indexes, size_t count);

private:
    friend class TGifWriter;

    class TCoder;
    // Outputs the string read last; the stretch takes no more indexes after it.
    void End();

    static constexpr int kHashBits = 14;
    static constexpr uint32_t kEmpty = UINT32_MAX;

    int bits_;
    int clearCode_;
    int runningCode_ = 0;
    int runningBits_ = 0;
    int maxCode1_ = 0;
    int current_ = -1; // the code of the string read so far; -1 before the first index
    uint64_t shift_ = 0;
    int shiftBits_ = 0;
    std::string bytes_;           // the codes, least significant bit first, whole bytes
    std::vector<uint32_t> table_; // key << 12 | code, open addressing
};

// Writes a GIF file of one image with a global palette of 2^bits colours (bits 1..8).
class TGifWriter {
public:
    // Writes the header, the palette (entries past `palette` black) and the image
    // descriptor of a width x height picture into `out`.
    TGifWriter(std::string& out, int width, int height, int bits, const std::vector<TRGB>& palette);

    // Joins the stretches, which hold every pixel in row order, each after a clear code,
    // and ends the image and the file.
    void Finish(std::vector<TLzwStretch>& stretches);

private:
    std::string& out_;
    int bits_;
};

} // namespace quillon
