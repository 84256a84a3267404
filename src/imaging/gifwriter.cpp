#include "imaging/gifwriter.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr int kMaxCode = 4095; // a string table holds codes below it

void PutWord(std::string& out, int value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

} // namespace

TGifWriter::TGifWriter(std::string& out, int width, int height, int bits, const std::vector<TRGB>& palette)
    : out_(out)
    , bits_(std::max(bits, 2))
    , table_(size_t{1} << kHashBits)
{
    out_ += "GIF87a";
    PutWord(out_, width);
    PutWord(out_, height);
    out_.push_back(static_cast<char>(0x80 | (bits - 1) << 4 | (bits - 1))); // a global palette
    out_.push_back(0);                                                      // background index
    out_.push_back(0);                                                      // aspect ratio
    for (size_t i = 0; i < size_t{1} << bits; ++i) {
        const TRGB c = i < palette.size() ? palette[i] : TRGB{};
        out_.append(reinterpret_cast<const char*>(c.data()), 3);
    }
    out_.push_back(',');
    PutWord(out_, 0);
    PutWord(out_, 0);
    PutWord(out_, width);
    PutWord(out_, height);
    out_.push_back(0); // no palette of its own, not interlaced
    out_.push_back(static_cast<char>(bits_));
    clearCode_ = 1 << bits_;
    runningCode_ = clearCode_ + 2;
    runningBits_ = bits_ + 1;
    maxCode1_ = 1 << runningBits_;
    ClearTable();
    Output(clearCode_);
}

void TGifWriter::ClearTable() { std::fill(table_.begin(), table_.end(), kEmpty); }

inline int TGifWriter::Find(uint32_t key) const
{
    constexpr uint32_t mask = (1u << kHashBits) - 1;
    for (uint32_t slot = (key * 2654435761u) >> (32 - kHashBits);; slot = (slot + 1) & mask) {
        const uint32_t entry = table_[slot];
        if (entry == kEmpty)
            return -1;
        if (entry >> 12 == key)
            return static_cast<int>(entry & 0xFFF);
    }
}

inline void TGifWriter::Insert(uint32_t key, int code)
{
    constexpr uint32_t mask = (1u << kHashBits) - 1;
    uint32_t slot = (key * 2654435761u) >> (32 - kHashBits);
    while (table_[slot] != kEmpty)
        slot = (slot + 1) & mask;
    table_[slot] = key << 12 | static_cast<uint32_t>(code);
}

inline void TGifWriter::Byte(uint8_t byte)
{
    if (block_[0] == 255) {
        out_.append(reinterpret_cast<const char*>(block_), 256);
        block_[0] = 0;
    }
    block_[++block_[0]] = byte;
}

// Codes go out least significant bit first; the code size grows once the next code to be
// assigned no longer fits, checked after each code as giflib does.
inline void TGifWriter::Output(int code)
{
    shift_ |= static_cast<uint64_t>(code) << shiftBits_;
    shiftBits_ += runningBits_;
    for (; shiftBits_ >= 8; shiftBits_ -= 8, shift_ >>= 8)
        Byte(static_cast<uint8_t>(shift_ & 0xFF));
    if (runningCode_ >= maxCode1_ && code <= kMaxCode)
        maxCode1_ = 1 << ++runningBits_;
}

void TGifWriter::Put(const uint8_t* indexes, size_t count)
{
    size_t i = 0;
    if (current_ < 0 && count > 0)
        current_ = indexes[i++];
    int current = current_;
    for (; i < count; ++i) {
        const int pixel = indexes[i];
        const uint32_t key = static_cast<uint32_t>(current) << 8 | static_cast<uint32_t>(pixel);
        const int found = Find(key);
        if (found >= 0) {
            current = found;
            continue;
        }
        Output(current);
        current = pixel;
        if (runningCode_ >= kMaxCode) {
            Output(clearCode_);
            runningCode_ = clearCode_ + 2;
            runningBits_ = bits_ + 1;
            maxCode1_ = 1 << runningBits_;
            ClearTable();
        } else {
            Insert(key, runningCode_++);
        }
    }
    current_ = current;
}

void TGifWriter::Finish()
{
    Output(current_);
    Output(clearCode_ + 1); // end of information
    for (; shiftBits_ > 0; shiftBits_ -= 8, shift_ >>= 8)
        Byte(static_cast<uint8_t>(shift_ & 0xFF));
    shiftBits_ = 0;
    if (block_[0] != 0)
        out_.append(reinterpret_cast<const char*>(block_), block_[0] + 1u);
    out_.push_back(0); // the empty sub-block that ends the image
    out_.push_back(';');
}

} // namespace quillon
