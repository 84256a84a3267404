#include "imaging/quantizer.h"

#include "common/error.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <limits>
#include <queue>

namespace quillon {

namespace {

constexpr int kTreeDepth = 6;
constexpr int kRefineSteps = 1;

// All pixels whose colours share the top 6 bits of each channel: the tree's leaves, and
// the points the palette is refined on.
struct TColourCell {
    uint64_t sum[3] = {};
    uint64_t count = 0;
};

TRGB MeanColour(const uint64_t* sum, uint64_t count)
{
    TRGB colour;
    for (int k = 0; k < 3; ++k)
        colour[k] = static_cast<uint8_t>((sum[k] + count / 2) / count);
    return colour;
}

int CellKey(const uint8_t* p) { return (p[0] >> 2) << 12 | (p[1] >> 2) << 6 | (p[2] >> 2); }

// A histogram over the 2^18 cells with 32-bit sums, emptied into the cell list every
// 2^24 pixels so the sums cannot overflow. calloc'ed: the pages a small picture never
// touches are never cleared.
class THistogram {
public:
    THistogram() : bins_(static_cast<TBin*>(std::calloc(1 << 18, sizeof(TBin))), std::free)
    {
        if (!bins_)
            throw std::bad_alloc();
    }

    std::vector<TColourCell> Count(const TBitmap& picture)
    {
        uint32_t pending = 0;
        for (int y = 0; y < picture.Height(); ++y) {
            const uint8_t* p = picture.Row(y);
            for (int x = 0; x < picture.Width(); ++x, p += 3) {
                TBin& bin = bins_[static_cast<size_t>(CellKey(p))];
                if (bin.count++ == 0)
                    touched_.push_back(CellKey(p));
                bin.sum[0] += p[0], bin.sum[1] += p[1], bin.sum[2] += p[2];
                if (++pending == 1u << 24)
                    Flush(), pending = 0;
            }
        }
        Flush();
        return std::move(cells_);
    }

private:
    struct TBin {
        uint32_t count, sum[3], cell;
    };
    void Flush()
    {
        for (int key : touched_) {
            TBin& bin = bins_[static_cast<size_t>(key)];
            if (!bin.cell) {
                cells_.emplace_back();
                bin.cell = static_cast<uint32_t>(cells_.size());
            }
            TColourCell& cell = cells_[bin.cell - 1];
            for (int k = 0; k < 3; ++k)
                cell.sum[k] += bin.sum[k], bin.sum[k] = 0;
            cell.count += bin.count;
            bin.count = 0;
        }
        touched_.clear();
    }

    std::unique_ptr<TBin[], void (*)(void*)> bins_;
    std::vector<int> touched_;
    std::vector<TColourCell> cells_;
};

struct TOctreeNode {
    uint32_t child[8] = {};
    uint32_t parent = 0;
    uint64_t sum[3] = {};
    uint64_t count = 0;
    uint8_t level = 0;
    uint8_t children = 0;
    bool leaf = false;
};

int ChildSlot(const uint8_t* rgb, int level)
{
    int shift = 7 - level;
    return ((rgb[0] >> shift) & 1) << 2 | ((rgb[1] >> shift) & 1) << 1 | ((rgb[2] >> shift) & 1);
}

class TOctree {
public:
    explicit TOctree(const std::vector<TColourCell>& cells)
    {
        nodes_.reserve(cells.size() * 2);
        nodes_.emplace_back(); // 0 stands for "no child"; the root is 1
        nodes_.emplace_back();
        for (const TColourCell& cell : cells)
            Add(cell);
    }

    void Reduce(int maxColors);
    std::vector<TRGB> BuildPalette() const;

private:
    void Add(const TColourCell& cell);
    double MergeCost(const TOctreeNode& node) const;
    bool AllChildrenLeaves(const TOctreeNode& node) const;

    std::vector<TOctreeNode> nodes_;
    int leaves_ = 0;
};

void TOctree::Add(const TColourCell& cell)
{
    uint8_t rgb[3];
    for (int k = 0; k < 3; ++k)
        rgb[k] = static_cast<uint8_t>(cell.sum[k] / cell.count);
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
        leaf.sum[c] += cell.sum[c];
    leaf.count += cell.count;
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

std::vector<TRGB> TOctree::BuildPalette() const
{
    std::vector<TRGB> palette;
    for (const TOctreeNode& node : nodes_)
        if (node.leaf && node.count)
            palette.push_back(MeanColour(node.sum, node.count));
    return palette;
}

// Nearest palette entry by squared distance. Colour space is cut into boxes; for each box
// the first query keeps only the entries that can be nearest to some point of it: those
// whose closest distance to the box is within the smallest farthest distance of any entry.
// Boxes of 16 steps per channel filter the list of their enclosing box of 32 steps, which
// filters the whole palette, so a query compares a handful of entries and building the
// lists stays cheap.
class TPaletteSearch {
public:
    explicit TPaletteSearch(const std::vector<TRGB>& palette) : coarse_(512), fine_(4096)
    {
        for (size_t i = 0; i < palette.size(); ++i) {
            for (int k = 0; k < 3; ++k)
                channel_[k][i] = palette[i][static_cast<size_t>(k)];
            all_.push_back(static_cast<uint8_t>(i));
        }
    }

    int Nearest(int r, int g, int b)
    {
        TBox& box = fine_[static_cast<size_t>((r >> 4) << 8 | (g >> 4) << 4 | (b >> 4))];
        if (!box.built) {
            TBox& outer = coarse_[static_cast<size_t>((r >> 5) << 6 | (g >> 5) << 3 | (b >> 5))];
            if (!outer.built)
                Build(outer, all_, r >> 5 << 5, g >> 5 << 5, b >> 5 << 5, 31);
            Build(box, outer.candidates, r >> 4 << 4, g >> 4 << 4, b >> 4 << 4, 15);
        }
        // Distance and index in one key: the minimum needs no unpredictable branch.
        int best = std::numeric_limits<int>::max();
        for (uint8_t i : box.candidates) {
            int dr = r - channel_[0][i], dg = g - channel_[1][i], db = b - channel_[2][i];
            best = std::min(best, (dr * dr + dg * dg + db * db) << 8 | i);
        }
        return best & 0xFF;
    }

private:
    struct TBox {
        bool built = false;
        std::vector<uint8_t> candidates;
    };

    void Build(TBox& box, const std::vector<uint8_t>& from, int r0, int g0, int b0, int extent)
    {
        const int low[3] = {r0, g0, b0};
        int bound = std::numeric_limits<int>::max();
        for (size_t n = 0; n < from.size(); ++n) {
            int minD = 0, maxD = 0;
            for (int k = 0; k < 3; ++k) {
                int c = channel_[k][from[n]], lo = low[k], hi = low[k] + extent;
                int below = std::max(lo - c, 0) + std::max(c - hi, 0);
                int far = std::max(c - lo, hi - c);
                minD += below * below;
                maxD += far * far;
            }
            minDistance_[n] = minD;
            bound = std::min(bound, maxD);
        }
        for (size_t n = 0; n < from.size(); ++n)
            if (minDistance_[n] <= bound)
                box.candidates.push_back(from[n]);
        box.built = true;
    }

    int channel_[3][256] = {};
    int minDistance_[256] = {};
    std::vector<uint8_t> all_;
    std::vector<TBox> coarse_, fine_;
};

// Nearest entries remembered per cell of 6 bits per channel: dithered colours are rarely
// in the tree, and neighbouring pixels keep asking for the same cells.
class TNearestColour {
public:
    explicit TNearestColour(const std::vector<TRGB>& palette) : search_(palette), cache_(1 << 18, -1) {}

    int operator()(int r, int g, int b)
    {
        int16_t& cached = cache_[static_cast<size_t>((r >> 2) << 12 | (g >> 2) << 6 | (b >> 2))];
        if (cached < 0)
            cached = static_cast<int16_t>(search_.Nearest(r, g, b));
        return cached;
    }

private:
    TPaletteSearch search_;
    std::vector<int16_t> cache_;
};

// Lloyd steps on the cells: the octree's clusters follow the tree's cube boundaries, so
// moving each entry to the mean of the cells nearest to it lowers the error further.
void RefinePalette(const std::vector<TColourCell>& cells, std::vector<TRGB>& palette, int steps)
{
    for (int step = 0; step < steps; ++step) {
        TPaletteSearch search(palette);
        std::vector<TColourCell> clusters(palette.size());
        for (const TColourCell& cell : cells) {
            TRGB mean = MeanColour(cell.sum, cell.count);
            TColourCell& cluster = clusters[static_cast<size_t>(search.Nearest(mean[0], mean[1], mean[2]))];
            for (int k = 0; k < 3; ++k)
                cluster.sum[k] += cell.sum[k];
            cluster.count += cell.count;
        }
        for (size_t i = 0; i < palette.size(); ++i)
            if (clusters[i].count)
                palette[i] = MeanColour(clusters[i].sum, clusters[i].count);
    }
}

int ClampChannel(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Errors are kept in sixteenths; two rows of them (this one and the next) with a spare
// pixel on each side so the kernel never needs a bounds test. Step is +1 on even rows and
// -1 on odd ones (serpentine order), fixed at compile time so the loop stays tight.
template <int Step>
void DiffuseRow(const uint8_t* row, uint8_t* indexes, int width, const std::vector<TRGB>& palette,
                TNearestColour& nearest, int* current, int* next)
{
    for (int i = 0; i < width; ++i) {
        int x = Step > 0 ? i : width - 1 - i;
        int* err = current + (x + 1) * 3;
        int* below = next + (x + 1) * 3;
        const uint8_t* p = row + x * 3;
        int r = ClampChannel(p[0] + ((err[0] + 8) >> 4));
        int g = ClampChannel(p[1] + ((err[1] + 8) >> 4));
        int b = ClampChannel(p[2] + ((err[2] + 8) >> 4));
        int index = nearest(r, g, b);
        indexes[x] = static_cast<uint8_t>(index);
        const TRGB& chosen = palette[static_cast<size_t>(index)];
        const int e[3] = {r - chosen[0], g - chosen[1], b - chosen[2]};
        for (int k = 0; k < 3; ++k) {
            err[Step * 3 + k] += e[k] * 7;
            below[-Step * 3 + k] += e[k] * 3;
            below[k] += e[k] * 5;
            below[Step * 3 + k] += e[k];
        }
    }
}

void DitherFloydSteinberg(const TBitmap& picture, TIndexedPicture& out)
{
    int width = picture.Width();
    TNearestColour nearest(out.palette);
    std::vector<int> current(static_cast<size_t>(width + 2) * 3), next(current.size());
    for (int y = 0; y < picture.Height(); ++y) {
        std::fill(next.begin(), next.end(), 0);
        uint8_t* indexes = out.indexes.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        if (y % 2 == 0)
            DiffuseRow<1>(picture.Row(y), indexes, width, out.palette, nearest, current.data(), next.data());
        else
            DiffuseRow<-1>(picture.Row(y), indexes, width, out.palette, nearest, current.data(), next.data());
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
    std::vector<TColourCell> cells = THistogram().Count(picture);
    TOctree tree(cells);
    tree.Reduce(maxColors);
    out.palette = tree.BuildPalette();
    RefinePalette(cells, out.palette, kRefineSteps);
    if (dither == TDither::FloydSteinberg) {
        DitherFloydSteinberg(picture, out);
        return out;
    }
    TNearestColour nearest(out.palette);
    uint8_t* index = out.indexes.data();
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < out.width; ++x, p += 3)
            *index++ = static_cast<uint8_t>(nearest(p[0], p[1], p[2]));
    }
    return out;
}

} // namespace quillon
