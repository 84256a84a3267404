#include "imaging/quantizer.h"

#include "common/error.h"
#include "common/workpool.h"

#include <algorithm>
#include <exception>
#include <cstdlib>
#include <memory>
#include <new>
#include <limits>
#include <queue>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace quillon {

namespace {

constexpr int kTreeDepth = 6;

// Lloyd steps on the palette. One gives most of the gain at 256 colours; a small palette
// leaves far more error per entry and its steps are cheap (short candidate lists), so it
// takes more, until the entries stop moving.
int RefineSteps(int maxColors) { return maxColors <= 64 ? 16 : maxColors <= 128 ? 2 : 1; }
// Pixels and colour cells from which two threads, each searching its own lists, win.
constexpr int64_t kLargePicture = 1 << 17;
constexpr size_t kManyCells = 1 << 13;

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

// 6 bits spread to every third bit.
constexpr std::array<uint32_t, 64> kSpread = [] {
    std::array<uint32_t, 64> spread{};
    for (uint32_t v = 0; v < 64; ++v)
        for (int bit = 0; bit < 6; ++bit)
            spread[v] |= (v >> bit & 1) << (3 * bit);
    return spread;
}();

// The cell's bits interleaved red, green, blue from the top: cells in key order are the
// octree's leaves in depth-first order, so the tree is built and folded along memory.
int CellKey(const uint8_t* p) { return static_cast<int>(kSpread[p[0] >> 2] << 2 | kSpread[p[1] >> 2] << 1 | kSpread[p[2] >> 2]); }

// Counts the picture's colours into cells, listed in key order. The map from a cell's key
// to its place in the list is calloc'ed: the pages a small picture never touches are never
// cleared, and at 4 bytes a key it stays small beside the cells themselves.
std::vector<TColourCell> CountColours(const TBitmap& picture, std::vector<uint32_t>& keys)
{
    std::unique_ptr<uint32_t[], void (*)(void*)> place(static_cast<uint32_t*>(std::calloc(1 << 18, sizeof(uint32_t))),
                                                       std::free);
    if (!place)
        throw std::bad_alloc();
    std::vector<TColourCell> cells;
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3) {
            uint32_t& n = place[static_cast<size_t>(CellKey(p))];
            if (n == 0) {
                cells.emplace_back();
                n = static_cast<uint32_t>(cells.size());
            }
            TColourCell& cell = cells[n - 1];
            cell.sum[0] += p[0], cell.sum[1] += p[1], cell.sum[2] += p[2];
            ++cell.count;
        }
    }
    std::vector<TColourCell> sorted;
    sorted.reserve(cells.size());
    keys.clear();
    keys.reserve(cells.size());
    for (uint32_t key = 0; key < uint32_t{1} << 18; ++key)
        if (place[key]) {
            sorted.push_back(cells[place[key] - 1]);
            keys.push_back(key);
        }
    return sorted;
}

struct TOctreeNode {
    uint32_t child[8] = {};
    uint32_t parent = 0;
    uint64_t sum[3] = {};
    uint64_t count = 0;
    uint8_t level = 0;
    uint8_t children = 0;
    uint8_t branches = 0; // children that are not leaves: a node with none can be folded
    bool leaf = false;
};

class TOctree {
public:
    TOctree(const std::vector<TColourCell>& cells, const std::vector<uint32_t>& keys)
    {
        nodes_.reserve(cells.size() * 2);
        nodes_.emplace_back(); // 0 stands for "no child"; the root is 1
        nodes_.emplace_back();
        for (size_t n = 0; n < cells.size(); ++n)
            Add(cells[n], keys[n]);
    }

    void Reduce(int maxColors);
    std::vector<TRGB> BuildPalette() const;

private:
    void Add(const TColourCell& cell, uint32_t key);
    double MergeCost(const TOctreeNode& node) const;

    std::vector<TOctreeNode> nodes_;
    int leaves_ = 0;
};

// The cell's key spells its path from the root, three bits (a child slot) a level.
void TOctree::Add(const TColourCell& cell, uint32_t key)
{
    uint32_t n = 1;
    for (int level = 0; level < kTreeDepth; ++level) {
        const int slot = static_cast<int>(key >> (3 * (kTreeDepth - 1 - level)) & 7);
        if (!nodes_[n].child[slot]) {
            TOctreeNode node;
            node.parent = n;
            node.level = static_cast<uint8_t>(level + 1);
            node.leaf = level + 1 == kTreeDepth;
            leaves_ += node.leaf;
            ++nodes_[n].children;
            nodes_[n].branches += !node.leaf;
            nodes_[n].child[slot] = static_cast<uint32_t>(nodes_.size()); // before the push: it may move the array
            nodes_.push_back(node);
        }
        n = nodes_[n].child[slot];
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

void TOctree::Reduce(int maxColors)
{
    using TCandidate = std::pair<double, uint32_t>;
    std::vector<TCandidate> first; // heaped at once: cheaper than one push at a time
    for (uint32_t n = 1; n < nodes_.size(); ++n)
        if (!nodes_[n].leaf && nodes_[n].branches == 0)
            first.emplace_back(MergeCost(nodes_[n]), n);
    std::priority_queue<TCandidate, std::vector<TCandidate>, std::greater<>> queue(std::greater<>{}, std::move(first));
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
        if (n != 1 && --nodes_[node.parent].branches == 0)
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

// Runs body(begin, end) on the two halves of [0, count) when work is large enough, the upper
// half on the program's second core where there is one; otherwise on all of it at once.
template <typename Body>
void ForEachHalf(int count, bool large, Body body)
{
    if (!large || count < 2) {
        body(0, count);
        return;
    }
    const int middle = count / 2;
    TWorkPool::Shared().For(2, 2, 1, [&](int32_t half, int32_t end) {
        for (; half < end; ++half)
            half == 0 ? body(0, middle) : body(middle, count);
    });
}

int SquaredDistance(const TRGB& a, const TRGB& b)
{
    const int dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
    return dr * dr + dg * dg + db * db;
}

// Lloyd steps on the cells: the octree's clusters follow the tree's cube boundaries, so
// moving each entry to the mean of the cells nearest to it lowers the error further.
// A cell keeps the entry of the step before when it lies closer to that entry than half
// the way to the entry's nearest neighbour: then no other entry can be as near (the
// triangle inequality), and the search is spared. In squares: 4 d^2 < gap^2.
struct TAssignment {
    std::vector<uint8_t> entry; // per cell, from the step before
    std::vector<int> gap;       // per entry, the squared distance to its nearest neighbour
    bool known = false;
};

// Sums the cells [begin, end), whose mean colours are `means`, into the palette entries
// nearest to them.
void SumClusters(const std::vector<TColourCell>& cells, const std::vector<TRGB>& means, size_t begin, size_t end,
                 const std::vector<TRGB>& palette, TSimdLevel level, TAssignment& assigned,
                 std::vector<TColourCell>& clusters)
{
    TPaletteSearch search(palette, level);
    for (size_t n = begin; n < end; ++n) {
        const TColourCell& cell = cells[n];
        const TRGB& mean = means[n];
        size_t entry = assigned.entry[n];
        if (!assigned.known || 4 * SquaredDistance(mean, palette[entry]) >= assigned.gap[entry]) {
            entry = static_cast<size_t>(search.Nearest(mean[0], mean[1], mean[2]));
            assigned.entry[n] = static_cast<uint8_t>(entry);
        }
        TColourCell& cluster = clusters[entry];
        for (int k = 0; k < 3; ++k)
            cluster.sum[k] += cell.sum[k];
        cluster.count += cell.count;
    }
}

void RefinePalette(const std::vector<TColourCell>& cells, std::vector<TRGB>& palette, int steps, TSimdLevel level)
{
    std::vector<TRGB> means(cells.size());
    for (size_t n = 0; n < cells.size(); ++n)
        means[n] = MeanColour(cells[n].sum, cells[n].count);
    TAssignment assigned;
    assigned.entry.resize(cells.size());
    assigned.gap.resize(palette.size());
    bool moved = true;
    for (int step = 0; step < steps && moved; ++step) {
        moved = false;
        if (assigned.known)
            for (size_t i = 0; i < palette.size(); ++i) {
                assigned.gap[i] = INT32_MAX;
                for (size_t j = 0; j < palette.size(); ++j)
                    if (j != i)
                        assigned.gap[i] = std::min(assigned.gap[i], SquaredDistance(palette[i], palette[j]));
            }
        std::vector<TColourCell> halves[2] = {std::vector<TColourCell>(palette.size()),
                                              std::vector<TColourCell>(palette.size())};
        ForEachHalf(static_cast<int>(cells.size()), cells.size() >= kManyCells, [&](int begin, int end) {
            SumClusters(cells, means, static_cast<size_t>(begin), static_cast<size_t>(end), palette, level, assigned,
                        halves[begin != 0]);
        });
        assigned.known = true;
        for (size_t i = 0; i < palette.size(); ++i) {
            TColourCell& cluster = halves[0][i];
            for (int k = 0; k < 3; ++k)
                cluster.sum[k] += halves[1][i].sum[k];
            cluster.count += halves[1][i].count;
            if (cluster.count) {
                const TRGB mean = MeanColour(cluster.sum, cluster.count);
                moved = moved || mean != palette[i];
                palette[i] = mean;
            }
        }
    }
}

int ClampChannel(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Errors are kept in 256ths: the Floyd-Steinberg sixteenths of kErrorKept sixteenths of the
// pixel's error. Passing on all of it lets error pile up where the palette cannot follow
// (the edges of the colour cube, small palettes) and streak; 15/16 of it keeps the
// dithering and loses the streaks.
constexpr int kErrorKept = 15;
constexpr int kErrorShift = 8;
constexpr int kErrorHalf = 1 << (kErrorShift - 1);

// Errors are kept in fractions (above), four lanes a pixel (red, green, blue, 0); two rows
// of them (this one and the next) with a spare pixel on each side so the kernel never
// needs a bounds test. Step is +1 on even rows and -1 on odd ones (serpentine order),
// fixed at compile time so the loop stays tight.
constexpr int kLanes = 4;

template <int Step>
void DiffuseRow(const uint8_t* row, uint8_t* indexes, int width, const std::vector<TRGB>& palette,
                TPaletteSearch& search, int* current, int* next)
{
    for (int i = 0; i < width; ++i) {
        int x = Step > 0 ? i : width - 1 - i;
        int* err = current + (x + 1) * kLanes;
        int* below = next + (x + 1) * kLanes;
        const uint8_t* p = row + x * 3;
        int r = ClampChannel(p[0] + ((err[0] + kErrorHalf) >> kErrorShift));
        int g = ClampChannel(p[1] + ((err[1] + kErrorHalf) >> kErrorShift));
        int b = ClampChannel(p[2] + ((err[2] + kErrorHalf) >> kErrorShift));
        int index = search.Nearest(r, g, b);
        indexes[x] = static_cast<uint8_t>(index);
        const TRGB& chosen = palette[static_cast<size_t>(index)];
        const int e[3] = {r - chosen[0], g - chosen[1], b - chosen[2]};
        for (int k = 0; k < 3; ++k) {
            err[Step * kLanes + k] += e[k] * 7 * kErrorKept;
            below[-Step * kLanes + k] += e[k] * 3 * kErrorKept;
            below[k] += e[k] * 5 * kErrorKept;
            below[Step * kLanes + k] += e[k] * kErrorKept;
        }
    }
}

// A palette entry in the lanes of the errors.
struct alignas(16) TLanes {
    int32_t lane[kLanes];
};

#if defined(__x86_64__)
// The same in SSE2 (part of every x86-64 processor): a pixel's three channels in one vector.
template <int Step>
void DiffuseRowSse2(const uint8_t* row, uint8_t* indexes, int width, const std::vector<TLanes>& palette,
                    TPaletteSearch& search, int* current, int* next)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(kErrorHalf);
    auto load = [](const int* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    auto add = [&](int* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_add_epi32(load(p), v)); };
    auto widen = [&](__m128i bytes) { return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero); };
    for (int i = 0; i < width; ++i) {
        const int x = Step > 0 ? i : width - 1 - i;
        int* err = current + (x + 1) * kLanes;
        int* below = next + (x + 1) * kLanes;
        const uint8_t* p = row + x * 3;
        const __m128i pixel = widen(_mm_cvtsi32_si128(p[0] | p[1] << 8 | p[2] << 16));
        const __m128i wanted = _mm_add_epi32(pixel, _mm_srai_epi32(_mm_add_epi32(load(err), half), kErrorShift));
        // The error is small enough for 16 bits; the saturating packs clamp to 0..255.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(wanted, wanted), zero);
        const uint32_t rgb = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        const int index = search.Nearest(rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16 & 0xFF);
        indexes[x] = static_cast<uint8_t>(index);
        const __m128i e = _mm_sub_epi32(widen(bytes), load(palette[static_cast<size_t>(index)].lane));
        const __m128i e15 = _mm_sub_epi32(_mm_slli_epi32(e, 4), e); // kErrorKept sixteenths
        add(err + Step * kLanes, _mm_sub_epi32(_mm_slli_epi32(e15, 3), e15));
        add(below - Step * kLanes, _mm_add_epi32(_mm_slli_epi32(e15, 1), e15));
        add(below, _mm_add_epi32(_mm_slli_epi32(e15, 2), e15));
        add(below + Step * kLanes, e15);
    }
}
#endif

template <typename RowDone>
void DitherFloydSteinberg(const TBitmap& picture, int top, int bottom, TIndexedPicture& out, TSimdLevel level,
                          RowDone rowDone)
{
    static_assert(kErrorKept == 15, "the vector kernel multiplies by shifts");
    int width = picture.Width();
    TPaletteSearch search(out.palette, level);
    std::vector<int> current(static_cast<size_t>(width + 2) * kLanes), next(current.size());
    std::vector<TLanes> palette;
    for (const TRGB& c : out.palette)
        palette.push_back({{c[0], c[1], c[2], 0}});
    for (int y = top; y < bottom; ++y) {
        std::fill(next.begin(), next.end(), 0);
        uint8_t* indexes = out.indexes.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        const uint8_t* row = picture.Row(y);
#if defined(__x86_64__)
        if (level != TSimdLevel::Scalar) {
            if (y % 2 == 0)
                DiffuseRowSse2<1>(row, indexes, width, palette, search, current.data(), next.data());
            else
                DiffuseRowSse2<-1>(row, indexes, width, palette, search, current.data(), next.data());
        } else
#endif
            if (y % 2 == 0)
            DiffuseRow<1>(row, indexes, width, out.palette, search, current.data(), next.data());
        else
            DiffuseRow<-1>(row, indexes, width, out.palette, search, current.data(), next.data());
        std::swap(current, next);
        rowDone(y);
    }
}

template <typename RowDone>
void MapToNearest(const TBitmap& picture, int top, int bottom, TIndexedPicture& out, TSimdLevel level, RowDone rowDone)
{
    TPaletteSearch search(out.palette, level);
    uint8_t* index = out.indexes.data() + static_cast<size_t>(top) * static_cast<size_t>(out.width);
    for (int y = top; y < bottom; ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < out.width; ++x, p += 3)
            *index++ = static_cast<uint8_t>(search.Nearest(p[0], p[1], p[2]));
        rowDone(y);
    }
}

} // namespace

bool TRowsReady::WaitFor(int rows)
{
    for (;;) {
        int ready = ready_.load(std::memory_order_acquire);
        if (ready < 0)
            return false;
        if (ready >= rows)
            return true;
        ready_.wait(ready, std::memory_order_acquire);
    }
}

void TRowsReady::RowsDone(int band, int rows)
{
    bandRows_[band].store(rows, std::memory_order_relaxed);
    int top = bandRows_[0].load(std::memory_order_relaxed);
    int ready = top < bandSplit_ ? top : bandSplit_ + bandRows_[1].load(std::memory_order_relaxed);
    // Both bands report: keep the larger of two racing answers, and never go back from -1.
    int seen = ready_.load(std::memory_order_relaxed);
    while (seen >= 0 && seen < ready && !ready_.compare_exchange_weak(seen, ready, std::memory_order_release))
        ;
    ready_.notify_all();
}

void TRowsReady::Fail()
{
    ready_.store(-1, std::memory_order_release);
    ready_.notify_all();
}

TIndexedPicture OctreePalette(const TBitmap& picture, int maxColors, TSimdLevel level)
{
    if (maxColors < 2 || maxColors > 256)
        throw QuillonError("A palette must have 2 to 256 colours");
    TIndexedPicture out;
    out.width = picture.Width();
    out.height = picture.Height();
    out.indexes.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    if (picture.Empty())
        return out;
    std::vector<uint32_t> keys;
    std::vector<TColourCell> cells = CountColours(picture, keys);
    TOctree tree(cells, keys);
    tree.Reduce(maxColors);
    out.palette = tree.BuildPalette();
    RefinePalette(cells, out.palette, RefineSteps(maxColors), level);
    return out;
}

void MapToPalette(const TBitmap& picture, TIndexedPicture& out, TDither dither, TRowsReady* ready, TSimdLevel level)
{
    if (picture.Empty()) {
        if (ready)
            ready->Start(0);
        return;
    }
    // A large picture is mapped in two bands of rows, each with its own search. The lower
    // band starts with no error carried into it, as the top row does; the split depends on
    // the size alone, so the output is the same on every machine.
    bool large = int64_t{picture.Width()} * picture.Height() >= kLargePicture;
    if (ready)
        ready->Start(large ? picture.Height() / 2 : picture.Height());
    try {
        ForEachHalf(picture.Height(), large, [&](int top, int bottom) {
            auto rowDone = [&, top](int y) {
                if (ready)
                    ready->RowsDone(top != 0, y + 1 - top);
            };
            if (dither == TDither::FloydSteinberg)
                DitherFloydSteinberg(picture, top, bottom, out, level, rowDone);
            else
                MapToNearest(picture, top, bottom, out, level, rowDone);
        });
    } catch (...) {
        if (ready)
            ready->Fail();
        throw;
    }
}

TIndexedPicture QuantizeOctree(const TBitmap& picture, int maxColors, TDither dither, TSimdLevel level)
{
    TIndexedPicture out = OctreePalette(picture, maxColors, level);
    MapToPalette(picture, out, dither, nullptr, level);
    return out;
}

} // namespace quillon
