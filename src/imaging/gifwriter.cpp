#include "imaging/gifwriter.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

constexpr int kMaxCode = 4095; // a string table holds codes below it

void PutWord(std::string& out, int value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

// Codes, least significant bit first, and whole bit strings at any bit position, written
// through a pointer into room made beforehand: bytes pushed one by one into a string, or
// written through a char pointer into members (which may alias it), cost more than the
// shifting.
class TBitWriter {
public:
    TBitWriter(char* out, uint64_t pending, int pendingBits) : out_(out), shift_(pending), shiftBits_(pendingBits) {}

    void Code(int code, int bits)
    {
        shift_ |= static_cast<uint64_t>(code) << shiftBits_;
        shiftBits_ += bits;
        for (; shiftBits_ >= 8; shiftBits_ -= 8, shift_ >>= 8)
            *out_++ = static_cast<char>(shift_ & 0xFF);
    }

    // The bytes, then the lowest `tailBits` bits of `tail`.
    void Bits(const std::string& bytes, uint64_t tail, int tailBits)
    {
        const char* p = bytes.data();
        const char* end = p + bytes.size();
        for (; end - p >= 4; p += 4) { // below 8 bits pending, so 32 more fit
            uint32_t word;
            std::memcpy(&word, p, sizeof word);
            shift_ |= static_cast<uint64_t>(word) << shiftBits_;
            const uint32_t done = static_cast<uint32_t>(shift_);
            std::memcpy(out_, &done, sizeof done);
            out_ += sizeof done;
            shift_ >>= 32;
        }
        for (; p != end; ++p)
            Code(static_cast<uint8_t>(*p), 8);
        Code(static_cast<int>(tail), tailBits);
    }

    // Writes the last bits; returns the end of what was written.
    char* Flush()
    {
        if (shiftBits_ > 0)
            *out_++ = static_cast<char>(shift_ & 0xFF);
        shiftBits_ = 0;
        return out_;
    }

    char* Out() const { return out_; }
    uint64_t Pending() const { return shift_; }
    int PendingBits() const { return shiftBits_; }

private:
    char* out_;
    uint64_t shift_;
    int shiftBits_;
};

} // namespace

TLzwStretch::TLzwStretch(int bits)
    : bits_(std::max(bits, 2))
    , clearCode_(1 << bits_)
    , runningCode_(clearCode_ + 2)
    , runningBits_(bits_ + 1)
    , maxCode1_(1 << runningBits_)
    , table_(size_t{1} << kHashBits, kEmpty)
{
}

// The compression keeps its state in locals while it runs, the bits in a TBitWriter.
class TLzwStretch::TCoder {
public:
    explicit TCoder(TLzwStretch& stretch, size_t count)
        : s_(stretch)
        , table_(stretch.table_.data())
        , runningCode_(stretch.runningCode_)
        , runningBits_(stretch.runningBits_)
        , maxCode1_(stretch.maxCode1_)
        , bits_(Room(stretch, count), stretch.shift_, stretch.shiftBits_)
    {
    }

    ~TCoder()
    {
        s_.runningCode_ = runningCode_;
        s_.runningBits_ = runningBits_;
        s_.maxCode1_ = maxCode1_;
        s_.shift_ = bits_.Pending();
        s_.shiftBits_ = bits_.PendingBits();
        s_.bytes_.resize(static_cast<size_t>(bits_.Out() - s_.bytes_.data()));
    }

    int Find(uint32_t key) const
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

    void Insert(uint32_t key)
    {
        constexpr uint32_t mask = (1u << kHashBits) - 1;
        uint32_t slot = (key * 2654435761u) >> (32 - kHashBits);
        while (table_[slot] != kEmpty)
            slot = (slot + 1) & mask;
        table_[slot] = key << 12 | static_cast<uint32_t>(runningCode_++);
    }

    // The code size grows once the next code to be assigned no longer fits, checked after
    // each code as giflib does.
    void Output(int code)
    {
        bits_.Code(code, runningBits_);
        if (runningCode_ >= maxCode1_ && code <= kMaxCode)
            maxCode1_ = 1 << ++runningBits_;
    }

    void Reset()
    {
        runningCode_ = s_.clearCode_ + 2;
        runningBits_ = s_.bits_ + 1;
        maxCode1_ = 1 << runningBits_;
        std::fill_n(table_, size_t{1} << kHashBits, kEmpty);
    }

    int RunningCode() const { return runningCode_; }

private:
    // Room for a code of at most 12 bits an index, and a clear code for each table reset;
    // where the new bytes begin.
    static char* Room(TLzwStretch& stretch, size_t count)
    {
        const size_t size = stretch.bytes_.size();
        stretch.bytes_.resize(size + 2 * count + 16);
        return stretch.bytes_.data() + size;
    }

    TLzwStretch& s_;
    uint32_t* table_;
    int runningCode_;
    int runningBits_;
    int maxCode1_;
    TBitWriter bits_;
};

void TLzwStretch::Put(const uint8_t* indexes, size_t count)
{
    size_t i = 0;
    if (current_ < 0 && count > 0)
        current_ = indexes[i++];
    TCoder coder(*this, count);
    int current = current_;
    for (; i < count; ++i) {
        const int pixel = indexes[i];
        const uint32_t key = static_cast<uint32_t>(current) << 8 | static_cast<uint32_t>(pixel);
        const int found = coder.Find(key);
        if (found >= 0) {
            current = found;
            continue;
        }
        coder.Output(current);
        current = pixel;
        if (coder.RunningCode() >= kMaxCode) {
            coder.Output(clearCode_);
            coder.Reset();
        } else {
            coder.Insert(key);
        }
    }
    current_ = current;
}

void TLzwStretch::End()
{
    if (current_ >= 0)
        TCoder(*this, 1).Output(current_);
    current_ = -1;
}

TGifWriter::TGifWriter(std::string& out, int width, int height, int bits, const std::vector<TRGB>& palette)
    : out_(out)
    , bits_(std::max(bits, 2))
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
}

void TGifWriter::Finish(std::vector<TLzwStretch>& stretches)
{
    // A stretch's clear code and the end code are as wide as the code before them: the
    // reader widens its codes by the table it has built up to there.
    const int clearCode = 1 << bits_;
    size_t size = 8; // the end code and the last bits
    for (TLzwStretch& stretch : stretches) {
        stretch.End();
        size += stretch.bytes_.size() + 8; // a clear code and the stretch's last bits
    }
    std::string codes(size, '\0');
    TBitWriter joiner(codes.data(), 0, 0);
    int width = bits_ + 1;
    for (const TLzwStretch& stretch : stretches) {
        joiner.Code(clearCode, width);
        joiner.Bits(stretch.bytes_, stretch.shift_, stretch.shiftBits_);
        width = stretch.runningBits_;
    }
    joiner.Code(clearCode + 1, width); // end of information
    codes.resize(static_cast<size_t>(joiner.Flush() - codes.data()));
    // Sub-blocks of up to 255 bytes, each after its length.
    const size_t start = out_.size();
    out_.resize(start + codes.size() + (codes.size() + 254) / 255 + 2);
    char* out = out_.data() + start;
    for (size_t at = 0; at < codes.size(); at += 255) {
        const size_t length = std::min<size_t>(255, codes.size() - at);
        *out++ = static_cast<char>(length);
        std::memcpy(out, codes.data() + at, length);
        out += length;
    }
    *out++ = 0; // the empty sub-block that ends the image
    *out++ = ';';
    out_.resize(static_cast<size_t>(out - out_.data()));
}

} // namespace quillon
