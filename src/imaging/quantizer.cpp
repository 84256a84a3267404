#include "imaging/quantizer.h"

#include "common/error.h"

#include <algorithm>
#include <limits>
#include <queue>

namespace quillon {

namespace {

constexpr int kTreeDepth = 6;

struct TOctreeNode {
    uint32_t child[8] = {};
    uint32_t parent = 0;
    uint64_t sum[3] = {};
    uint64_t count = 0;
    uint8_t level = 0;
    uint8_t children = 0;
    bool leaf = false;
    int paletteIndex = -1;
};

int ChildSlot(const uint8_t* rgb, int level)
{
    int shift = 7 - level;
    return ((rgb[0] >> shift) & 1) << 2 | ((rgb[1] >> shift) & 1) << 1 | ((rgb[2] >> shift) & 1);
}

class TOctree {
public:
    explicit TOctree(const TBitmap& picture)
    {
        nodes_.emplace_back(); // 0 stands for "no child"; the root is 1
        nodes_.emplace_back();
        for (int y = 0; y < picture.Height(); ++y) {
            const uint8_t* p = picture.Row(y);
            for (int x = 0; x < picture.Width(); ++x, p += 3)
                Add(p);
        }
    }

    void Reduce(int maxColors);
    std::vector<TRGB> BuildPalette();
    // The palette index of a colour that was counted into the tree.
    int IndexOf(const uint8_t* rgb) const
    {
        uint32_t n = 1;
        while (!nodes_[n].leaf)
            n = nodes_[n].child[ChildSlot(rgb, nodes_[n].level)];
        return nodes_[n].paletteIndex;
    }

private:
    void Add(const uint8_t* rgb);
    double MergeCost(const TOctreeNode& node) const;
    bool AllChildrenLeaves(const TOctreeNode& node) const;

    std::vector<TOctreeNode> nodes_;
    int leaves_ = 0;
};

void TOctree::Add(const uint8_t* rgb)
{
    uint32_t n = 1;
    for (int level = 0; level < kTreeDepth; ++level) {
        uint32_t& slot = nodes_[n].child[ChildSlot(rgb, level)];
        if (!slot) {
            TOctreeNode node;
            node.parent = n;
            node.level = static_cast<uint8_t>(level + 1);
            node.leaf = level + 1 == kTreeDepth;
            leaves_ += node.leaf;
            ++nodes_[n].children;
            slot = static_cast<uint32_t>(nodes_.size()); // before the push: it may move the array
            nodes_.push_back(node);
        }
        n = nodes_[n].child[ChildSlot(rgb, level)];
    }
    TOctreeNode& leaf = nodes_[n];
    for (int c = 0; c < 3; ++c)
        leaf.sum[c] += rgb[c];
    ++leaf.count;
}

// The squared error that folding the node's leaf children into one colour adds.
double TOctree::MergeCost(const TOctreeNode& node) const
{
    double cost = 0;
    uint64_t total[3] = {};
    uint64_t count = 0;
    for (uint32_t c : node.child) {
        if (!c)
            continue;
        const TOctreeNode& ch = nodes_[c];
        for (int k = 0; k < 3; ++k) {
            cost -= static_cast<double>(ch.sum[k]) * static_cast<double>(ch.sum[k]) / static_cast<double>(ch.count);
            total[k] += ch.sum[k];
        }
        count += ch.count;
    }
    for (int k = 0; k < 3; ++k)
        cost += static_cast<double>(total[k]) * static_cast<double>(total[k]) / static_cast<double>(count);
    return -cost;
}

bool TOctree::AllChildrenLeaves(const TOctreeNode& node) const
{
    return std::all_of(std::begin(node.child), std::end(node.child),
                       [&](uint32_t c) { return c == 0 || nodes_[c].leaf; });
}

void TOctree::Reduce(int maxColors)
{
    using TCandidate = std::pair<double, uint32_t>;
    std::priority_queue<TCandidate, std::vector<TCandidate>, std::greater<>> queue;
    for (uint32_t n = 1; n < nodes_.size(); ++n)
        if (!nodes_[n].leaf && AllChildrenLeaves(nodes_[n]))
            queue.emplace(MergeCost(nodes_[n]), n);
    std::vector<TCandidate> tooBig;
    while (leaves_ > maxColors && !queue.empty()) {
        auto [cost, n] = queue.top();
        queue.pop();
        TOctreeNode& node = nodes_[n];
        // Folding eight leaves when two too many remain would throw away colours the
        // palette has room for; prefer a cheap enough node of the right size.
        if (leaves_ - (node.children - 1) < maxColors && !queue.empty()) {
            tooBig.emplace_back(cost, n);
            continue;
        }
        for (uint32_t& c : node.child) {
            if (!c)
                continue;
            for (int k = 0; k < 3; ++k)
                node.sum[k] += nodes_[c].sum[k];
            node.count += nodes_[c].count;
            nodes_[c].count = 0; // folded: no longer a colour of its own
            c = 0;
        }
        leaves_ -= node.children - 1;
        node.leaf = true;
        for (const TCandidate& t : tooBig)
            queue.push(t);
        tooBig.clear();
        if (n != 1 && AllChildrenLeaves(nodes_[node.parent]))
            queue.emplace(MergeCost(nodes_[node.parent]), node.parent);
    }
}

std::vector<TRGB> TOctree::BuildPalette()
{
    std::vector<TRGB> palette;
    for (TOctreeNode& node : nodes_) {
        if (!node.leaf || node.count == 0)
            continue;
        node.paletteIndex = static_cast<int>(palette.size());
        TRGB colour;
        for (int k = 0; k < 3; ++k)
            colour[k] = static_cast<uint8_t>((node.sum[k] + node.count / 2) / node.count);
        palette.push_back(colour);
    }
    return palette;
}

// Nearest palette entry of a colour, remembered per cell of 6 bits per channel: dithered
// colours are rarely in the tree, and a full search for each pixel would cost the palette
// size in comparisons.
class TNearestColour {
public:
    explicit TNearestColour(const std::vector<TRGB>& palette) : palette_(palette), cache_(1 << 18, -1) {}

    int operator()(int r, int g, int b)
    {
        int16_t& cached = cache_[static_cast<size_t>((r >> 2) << 12 | (g >> 2) << 6 | (b >> 2))];
        if (cached < 0)
            cached = static_cast<int16_t>(Search(r, g, b));
        return cached;
    }

private:
    int Search(int r, int g, int b) const
    {
        int best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (size_t i = 0; i < palette_.size(); ++i) {
            int dr = r - palette_[i][0], dg = g - palette_[i][1], db = b - palette_[i][2];
            int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<int>(i);
            }
        }
        return best;
    }

    const std::vector<TRGB>& palette_;
    std::vector<int16_t> cache_;
};

int ClampChannel(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Errors are kept in sixteenths; two rows of them (this one and the next) with a spare
// pixel on each side so the kernel never needs a bounds test.
void DitherFloydSteinberg(const TBitmap& picture, TIndexedPicture& out)
{
    int width = picture.Width();
    TNearestColour nearest(out.palette);
    std::vector<int> current(static_cast<size_t>(width + 2) * 3), next(current.size());
    for (int y = 0; y < picture.Height(); ++y) {
        std::fill(next.begin(), next.end(), 0);
        bool forward = (y & 1) == 0;
        int step = forward ? 1 : -1;
        const uint8_t* row = picture.Row(y);
        uint8_t* indexes = out.indexes.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int i = 0; i < width; ++i) {
            int x = forward ? i : width - 1 - i;
            int* err = &current[static_cast<size_t>(x + 1) * 3];
            int* below = &next[static_cast<size_t>(x + 1) * 3];
            int value[3];
            for (int k = 0; k < 3; ++k)
                value[k] = ClampChannel(row[x * 3 + k] + (err[k] + 8 * (err[k] > 0 ? 1 : -1)) / 16);
            int index = nearest(value[0], value[1], value[2]);
            indexes[x] = static_cast<uint8_t>(index);
            for (int k = 0; k < 3; ++k) {
                int e = value[k] - out.palette[static_cast<size_t>(index)][k];
                err[step * 3 + k] += e * 7;
                below[-step * 3 + k] += e * 3;
                below[k] += e * 5;
                below[step * 3 + k] += e;
            }
        }
        std::swap(current, next);
    }
}

} // namespace

TIndexedPicture QuantizeOctree(const TBitmap& picture, int maxColors, TDither dither)
{
    if (maxColors < 2 || maxColors > 256)
        throw QuillonError("A palette must have 2 to 256 colours");
    TIndexedPicture out;
    out.width = picture.Width();
    out.height = picture.Height();
    out.indexes.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    if (picture.Empty())
        return out;
    TOctree tree(picture);
    tree.Reduce(maxColors);
    out.palette = tree.BuildPalette();
    if (dither == TDither::FloydSteinberg) {
        DitherFloydSteinberg(picture, out);
        return out;
    }
    uint8_t* index = out.indexes.data();
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < out.width; ++x, p += 3)
            *index++ = static_cast<uint8_t>(tree.IndexOf(p));
    }
    return out;
}

} // namespace quillon
