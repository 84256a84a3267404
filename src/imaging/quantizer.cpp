#include "imaging/quantizer.h"

#include "common/error.h"
#include "common/workpool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <queue>
#include <utility>

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

bool LargePicture(const TBitmap& picture) { return int64_t{picture.Width()} * picture.Height() >= kLargePicture; }

// All pixels whose colours share the top 6 bits of each channel: the tree's leaves, and
// the points the palette is refined on.
struct TColourCell {
    uint64_t sum[3] = {};
    uint64_t count = 0;

    void Add(const TColourCell& other)
    {
        for (int k = 0; k < 3; ++k)
            sum[k] += other.sum[k];
        count += other.count;
    }
};

// The rounded mean of each channel. Integer division is slow and there are tens of
// thousands of cells: the quotient is taken from one reciprocal and set right by at most
// one with integer arithmetic, so it is exactly the integer quotient. Written in place: a
// three-byte array returned by value goes through the stack byte by byte and stalls.
void MeanColour(const uint64_t* sum, uint64_t count, TRGB& colour)
{
    const double reciprocal = 1.0 / static_cast<double>(count);
    for (int k = 0; k < 3; ++k) {
        const uint64_t dividend = sum[k] + count / 2;
        uint64_t quotient = static_cast<uint64_t>(static_cast<double>(dividend) * reciprocal);
        if (quotient * count > dividend)
            --quotient;
        else if ((quotient + 1) * count <= dividend)
            ++quotient;
        colour[k] = static_cast<uint8_t>(quotient);
    }
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

// A node above the leaves. The leaves are the cells themselves: in key order, the cells
// under a node are a run of them, so a node just above the leaves needs no list of
// children, and the tree is a fraction of the cells' size.
struct TOctreeNode {
    uint64_t sum[3] = {}; // of the cells below, once the cost of folding is known
    uint64_t count = 0;
    uint32_t parent = 0;
    uint32_t next = 0;      // the parent's next child, 0 for none (the root, 0, is nobody's)
    uint32_t firstCell = 0; // a node just above the leaves: where its cells begin
    uint8_t children = 0;
    uint8_t branches = 0; // children that are not leaves: a node with none can be folded
    bool folded = false;
    bool lowest = false; // just above the leaves
};

constexpr uint32_t kCellKeys = uint32_t{1} << (3 * kTreeDepth);
constexpr uint32_t kTakenWords = kCellKeys / 8 / 64;

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

// A cell's count and the sums of the two low bits of each channel, 16 bits each: a pixel is
// counted by adding one number, and the map holds no pointer to follow (the place of a cell
// in another table cost a second wait on memory a pixel). The top six bits of the
// channels are the key's. Before a count could carry the sums past 16 bits, the cell is
// spilled into a list.
constexpr uint64_t kSpillAt = 0xFFFF / 3;

struct TSpill {
    uint32_t key;
    uint64_t packed;
};

// The top six bits of each channel from nine bits of a key (three a channel), as the
// three bytes of the result.
constexpr std::array<uint32_t, 512> kUnspread = [] {
    std::array<uint32_t, 512> unspread{};
    for (uint32_t v = 0; v < 512; ++v)
        for (int bit = 0; bit < 3; ++bit)
            unspread[v] |= (v >> (3 * bit + 2) & 1) << bit | (v >> (3 * bit + 1) & 1) << (8 + bit)
                           | (v >> (3 * bit) & 1) << (16 + bit);
    return unspread;
}();

// What a palette is built in, kept by the thread for the next picture: fresh, the
// megabytes of the key map, the cells and the tree cost a page fault every 4 KiB, more
// than counting the colours of a logo. What a picture of many colours grew is given back.
struct TPaletteScratch {
    std::unique_ptr<uint64_t[]> packed; // cell key -> its packed count; all 0 between uses
    // A bit for each eight keys of `packed`, set where one of them is taken; all 0 between
    // uses. Listing reads these 32 KiB instead of the megabytes of the map, most of it
    // empty and, after other work, out of the cache.
    std::unique_ptr<uint64_t[]> taken;
    std::vector<TSpill> spills; // in key order once counted
    uint64_t count = 0;         // the count `spills` belongs to
    std::vector<TColourCell> cells; // in key order
    std::vector<uint32_t> keys;
    std::vector<TColourCell> upperCells; // the upper half of the keys, while it is listed apart
    std::vector<uint32_t> upperKeys;
    std::vector<TOctreeNode> nodes;

    void GiveBackLarge()
    {
        constexpr size_t kKeptCells = size_t{1} << 16;
        if (cells.capacity() > kKeptCells) {
            cells = {};
            upperCells = {};
            upperKeys = {};
            keys = {};
            nodes = {};
        }
        if (spills.capacity() > kKeptCells)
            spills = {};
    }

    void Clear()
    {
        std::fill_n(packed.get(), kCellKeys, uint64_t{0});
        std::fill_n(taken.get(), kTakenWords, uint64_t{0});
        spills.clear();
    }
};

TPaletteScratch& PaletteScratch()
{
    thread_local TPaletteScratch scratch;
    if (!scratch.packed) {
        scratch.packed.reset(new uint64_t[kCellKeys]);
        scratch.taken.reset(new uint64_t[kTakenWords]);
        scratch.Clear();
    }
    return scratch;
}

// Counts the colours of rows [top, bottom) into the scratch's map.
void CountRows(const TBitmap& picture, int top, int bottom, TPaletteScratch& scratch)
{
    uint64_t* packed = scratch.packed.get();
    uint64_t* taken = scratch.taken.get();
    for (int y = top; y < bottom; ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3) {
            const uint32_t key = static_cast<uint32_t>(CellKey(p));
            taken[key >> 9] |= uint64_t{1} << (key >> 3 & 63);
            uint64_t& cell = packed[key];
            cell += 1 | uint64_t{p[0] & 3u} << 16 | uint64_t{p[1] & 3u} << 32 | uint64_t{p[2] & 3u} << 48;
            if ((cell & 0xFFFF) == kSpillAt) [[unlikely]] {
                scratch.spills.push_back({key, cell});
                cell = 0;
            }
        }
    }
    std::sort(scratch.spills.begin(), scratch.spills.end(),
              [](const TSpill& a, const TSpill& b) { return a.key < b.key; });
}

// Lists the cells of keys [begin, end) (multiples of 512) counted in the maps (one or
// two), in key order, and clears that part of the maps.
void ListCells(TPaletteScratch* const* maps, int mapCount, uint32_t begin, uint32_t end,
               std::vector<TColourCell>& cells, std::vector<uint32_t>& keys)
{
    const TSpill* spill[2] = {};
    const TSpill* spillEnd[2] = {};
    for (int m = 0; m < mapCount; ++m) {
        const std::vector<TSpill>& spills = maps[m]->spills;
        spill[m] = spills.data() + (std::lower_bound(spills.begin(), spills.end(), begin,
                                                     [](const TSpill& s, uint32_t key) { return s.key < key; })
                                    - spills.begin());
        spillEnd[m] = spills.data() + spills.size();
    }
    for (uint32_t word = begin >> 9; word < end >> 9; ++word) {
        uint64_t groups = 0;
        for (int m = 0; m < mapCount; ++m) {
            groups |= maps[m]->taken[word];
            maps[m]->taken[word] = 0;
        }
        for (; groups; groups &= groups - 1) {
            const uint32_t key = word << 9 | static_cast<uint32_t>(std::countr_zero(groups)) << 3;
            for (uint32_t k = key; k < key + 8; ++k) {
                uint64_t count = 0, low[3] = {};
                auto add = [&](uint64_t packed) {
                    count += packed & 0xFFFF;
                    for (int c = 0; c < 3; ++c)
                        low[c] += packed >> (16 * (c + 1)) & 0xFFFF;
                };
                for (int m = 0; m < mapCount; ++m) {
                    add(std::exchange(maps[m]->packed[k], 0));
                    for (; spill[m] != spillEnd[m] && spill[m]->key == k; ++spill[m])
                        add(spill[m]->packed);
                }
                if (count == 0)
                    continue;
                const uint32_t high = kUnspread[k >> 9] << 3 | kUnspread[k & 511];
                TColourCell& cell = cells.emplace_back();
                for (int c = 0; c < 3; ++c)
                    cell.sum[c] = (high >> (8 * c) & 63) * 4 * count + low[c];
                cell.count = count;
                keys.push_back(k);
            }
        }
    }
}

// Counts the picture's colours into mine.cells, listed in key order beside their keys. A
// large picture is counted on two threads, half of the rows each into the map of its
// thread (a thread that counts both halves keeps one map); then each lists half of the
// keys from both maps.
void CountColours(const TBitmap& picture, TPaletteScratch& mine)
{
    static std::atomic<uint64_t> counts{0};
    const uint64_t count = ++counts;
    const bool large = LargePicture(picture);
    TPaletteScratch* used[2] = {};
    try {
        ForEachHalf(picture.Height(), large, [&](int top, int bottom) {
            TPaletteScratch& scratch = PaletteScratch();
            used[top != 0] = &scratch;
            if (scratch.count != count) {
                scratch.count = count;
                scratch.spills.clear();
            }
            CountRows(picture, top, bottom, scratch);
        });
        TPaletteScratch* maps[2] = {used[0], used[1] != used[0] ? used[1] : nullptr};
        const int mapCount = maps[1] ? 2 : 1;
        std::vector<TColourCell>* cells[2] = {&mine.cells, &mine.upperCells};
        std::vector<uint32_t>* keys[2] = {&mine.keys, &mine.upperKeys};
        ForEachHalf(2, large, [&](int begin, int end) {
            for (int half = begin; half < end; ++half) {
                cells[half]->clear();
                keys[half]->clear();
                ListCells(maps, mapCount, half * kCellKeys / 2, (half + 1) * kCellKeys / 2, *cells[half],
                          *keys[half]);
            }
        });
        mine.cells.insert(mine.cells.end(), mine.upperCells.begin(), mine.upperCells.end());
        mine.keys.insert(mine.keys.end(), mine.upperKeys.begin(), mine.upperKeys.end());
    } catch (...) {
        for (TPaletteScratch* scratch : used)
            if (scratch)
                scratch->Clear(); // the next picture starts from an empty map
        throw;
    }
    for (TPaletteScratch* scratch : used)
        if (scratch && scratch != &mine)
            scratch->GiveBackLarge();
}

using TCandidate = std::pair<double, uint32_t>; // a foldable node and the cost of folding it

class TOctree {
public:
    // Builds the tree in `nodes` from the cells in key order (unique keys).
    TOctree(std::vector<TOctreeNode>& nodes, const std::vector<TColourCell>& cells, const std::vector<uint32_t>& keys);

    void Reduce(int maxColors);
    std::vector<TRGB> BuildPalette() const;

private:
    // Also keeps the node's sums, so that folding it needs nothing else.
    double MergeCost(uint32_t n);
    void AddPalette(uint32_t n, std::vector<TRGB>& palette) const;

    std::vector<TOctreeNode>& nodes_;
    const std::vector<TColourCell>& cells_;
    int leaves_ = 0;
    std::vector<TCandidate> first_; // the nodes foldable once built: those above the leaves
};

// A cell's key spells its path from the root, three bits (a child slot) a level. In key
// order a cell shares the path of the one before down to the level where their keys first
// differ, and everything below that is new: the tree grows at its end, never searched,
// each node's first child right after it.
TOctree::TOctree(std::vector<TOctreeNode>& nodes, const std::vector<TColourCell>& cells,
                 const std::vector<uint32_t>& keys)
    : nodes_(nodes), cells_(cells)
{
    nodes_.clear();
    nodes_.reserve(cells.size() + kTreeDepth);
    nodes_.emplace_back(); // the root
    uint32_t path[kTreeDepth] = {0};
    constexpr int kLowest = kTreeDepth - 1;
    // A node above the leaves is complete once the path leaves it: its cost is taken then,
    // while its cells are still in the cache.
    auto complete = [&] { first_.emplace_back(MergeCost(path[kLowest]), path[kLowest]); };
    for (size_t n = 0; n < cells.size(); ++n) {
        const uint32_t key = keys[n];
        int level = 0;
        if (n > 0) {
            const int highest = 31 - std::countl_zero(key ^ keys[n - 1]); // keys differ: never -1
            level = kTreeDepth - 1 - highest / 3;
            if (level < kLowest)
                complete();
        }
        for (int depth = level; depth < kLowest; ++depth) {
            const uint32_t made = static_cast<uint32_t>(nodes_.size());
            TOctreeNode node;
            node.parent = path[depth];
            node.lowest = depth + 1 == kLowest;
            TOctreeNode& parent = nodes_[path[depth]];
            if (parent.children++ > 0)
                nodes_[path[depth + 1]].next = made; // the parent's child before this one
            ++parent.branches;
            path[depth + 1] = made;
            nodes_.push_back(node); // may move the nodes: `parent` is not used past here
        }
        TOctreeNode& lowest = nodes_[path[kLowest]];
        if (lowest.children++ == 0)
            lowest.firstCell = static_cast<uint32_t>(n);
        ++leaves_;
    }
    if (!cells.empty())
        complete();
}

double TOctree::MergeCost(uint32_t n)
{
    double cost = 0;
    uint64_t total[3] = {};
    uint64_t count = 0;
    auto add = [&](const uint64_t* sum, uint64_t childCount) {
        for (int k = 0; k < 3; ++k) {
            cost -= static_cast<double>(sum[k]) * static_cast<double>(sum[k]) / static_cast<double>(childCount);
            total[k] += sum[k];
        }
        count += childCount;
    };
    TOctreeNode& node = nodes_[n];
    if (node.lowest) {
        for (uint32_t c = node.firstCell; c < node.firstCell + node.children; ++c)
            add(cells_[c].sum, cells_[c].count);
    } else {
        for (uint32_t c = n + 1; c; c = nodes_[c].next)
            add(nodes_[c].sum, nodes_[c].count);
    }
    for (int k = 0; k < 3; ++k) {
        cost += static_cast<double>(total[k]) * static_cast<double>(total[k]) / static_cast<double>(count);
        node.sum[k] = total[k];
    }
    node.count = count;
    return -cost;
}

// Sorts candidates that come in node order by cost, equal costs staying in node order: the
// order (cost, node) that a heap of them gives. A radix sort on the bits of the costs
// (made to order as the numbers do) needs a few passes over a few thousand candidates
// where a comparison sort guesses wrong at every other step.
void SortByCost(std::vector<TCandidate>& candidates)
{
    struct TKeyed {
        uint64_t key;
        uint32_t node;
    };
    std::vector<TKeyed> a(candidates.size()), b(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        const uint64_t bits = std::bit_cast<uint64_t>(candidates[i].first + 0.0); // -0 as +0, as they compare
        a[i] = {bits >> 63 ? ~bits : bits | uint64_t{1} << 63, candidates[i].second};
    }
    for (int shift = 0; shift < 64; shift += 8) {
        size_t start[257] = {};
        for (const TKeyed& k : a)
            ++start[(k.key >> shift & 0xFF) + 1];
        if (std::find(start + 1, start + 257, a.size()) != start + 257)
            continue; // one digit for all: the pass would change nothing
        for (int d = 0; d < 256; ++d)
            start[d + 1] += start[d];
        for (const TKeyed& k : a)
            b[start[k.key >> shift & 0xFF]++] = k;
        a.swap(b);
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const uint64_t key = a[i].key;
        candidates[i] = {std::bit_cast<double>(key >> 63 ? key & ~(uint64_t{1} << 63) : ~key), a[i].node};
    }
}

void TOctree::Reduce(int maxColors)
{
    // Nodes are folded cheapest first. Those foldable from the start are most of them: they
    // are sorted once and read in order, their nodes and then their parents fetched a few
    // folds ahead (the tree is larger than the cache); those that become foldable later, or
    // are put off, wait in a heap.
    const std::vector<TCandidate>& first = first_;
    SortByCost(first_);
    std::priority_queue<TCandidate, std::vector<TCandidate>, std::greater<>> later;
    size_t next = 0;
    auto empty = [&] { return next == first.size() && later.empty(); };
    std::vector<TCandidate> tooBig;
    constexpr size_t kAhead = 8;
    while (leaves_ > maxColors && !empty()) {
        if (next + kAhead < first.size())
            __builtin_prefetch(&nodes_[first[next + kAhead].second]);
        if (next + kAhead / 2 < first.size())
            __builtin_prefetch(&nodes_[nodes_[first[next + kAhead / 2].second].parent]);
        TCandidate candidate;
        if (later.empty() || (next < first.size() && first[next] < later.top())) {
            candidate = first[next++];
        } else {
            candidate = later.top();
            later.pop();
        }
        const auto [cost, n] = candidate;
        TOctreeNode& node = nodes_[n];
        // Folding eight leaves when two too many remain would throw away colours the
        // palette has room for; prefer a cheap enough node of the right size.
        if (leaves_ - (node.children - 1) < maxColors && !empty()) {
            tooBig.push_back(candidate);
            continue;
        }
        leaves_ -= node.children - 1;
        node.folded = true;
        for (const TCandidate& t : tooBig)
            later.push(t);
        tooBig.clear();
        if (n != 0 && --nodes_[node.parent].branches == 0)
            later.emplace(MergeCost(node.parent), node.parent);
    }
}

// The colours in the order of the tree: a folded node stands for all below it.
void TOctree::AddPalette(uint32_t n, std::vector<TRGB>& palette) const
{
    const TOctreeNode& node = nodes_[n];
    if (node.folded) {
        MeanColour(node.sum, node.count, palette.emplace_back());
    } else if (node.lowest) {
        for (uint32_t c = node.firstCell; c < node.firstCell + node.children; ++c)
            MeanColour(cells_[c].sum, cells_[c].count, palette.emplace_back());
    } else if (node.children > 0) {
        for (uint32_t c = n + 1; c; c = nodes_[c].next)
            AddPalette(c, palette);
    }
}

std::vector<TRGB> TOctree::BuildPalette() const
{
    std::vector<TRGB> palette;
    AddPalette(0, palette);
    return palette;
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
        const TRGB& mean = means[n];
        size_t entry = assigned.entry[n];
        if (!assigned.known || 4 * SquaredDistance(mean, palette[entry]) >= assigned.gap[entry]) {
            entry = static_cast<size_t>(search.Nearest(mean[0], mean[1], mean[2]));
            assigned.entry[n] = static_cast<uint8_t>(entry);
        }
        clusters[entry].Add(cells[n]);
    }
}

std::vector<TRGB> CellMeans(const std::vector<TColourCell>& cells)
{
    std::vector<TRGB> means(cells.size());
    for (size_t n = 0; n < cells.size(); ++n)
        MeanColour(cells[n].sum, cells[n].count, means[n]);
    return means;
}

// `means` are the cells' mean colours.
void LloydSteps(const std::vector<TColourCell>& cells, const std::vector<TRGB>& means, std::vector<TRGB>& palette,
                int steps, TSimdLevel level)
{
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
            cluster.Add(halves[1][i]);
            if (cluster.count) {
                TRGB mean;
                MeanColour(cluster.sum, cluster.count, mean);
                moved = moved || mean != palette[i];
                palette[i] = mean;
            }
        }
    }
}

// A small palette takes many steps. All but the last are taken on cells four times coarser
// a channel (the top two levels of the tree folded, a tenth as many cells): they only find
// where the entries settle; the last step, on the fine cells, places them.
void RefinePalette(const std::vector<TColourCell>& cells, const std::vector<TRGB>& means,
                   const std::vector<uint32_t>& keys, std::vector<TRGB>& palette, int steps, TSimdLevel level)
{
    if (steps > 2) {
        std::vector<TColourCell> coarse;
        for (size_t n = 0; n < cells.size(); ++n) {
            if (n == 0 || keys[n] >> 6 != keys[n - 1] >> 6) // keys in order: a coarse cell's keys are together
                coarse.emplace_back();
            coarse.back().Add(cells[n]);
        }
        LloydSteps(coarse, CellMeans(coarse), palette, steps - 1, level);
        steps = 1;
    }
    LloydSteps(cells, means, palette, steps, level);
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
// needs a bounds test. Step is +1 on a band's even rows and -1 on its odd ones (serpentine
// order), fixed at compile time so the loop stays tight.
constexpr int kLanes = 4;

// A palette entry in the lanes of the errors.
struct alignas(16) TLanes {
    int32_t lane[kLanes];
};

template <int Step>
inline void DiffusePixel(const uint8_t* row, uint8_t* indexes, int x, const std::vector<TRGB>& palette,
                         TPaletteSearch& search, int* current, int* next)
{
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

#if defined(__x86_64__)
// The same in SSE2 (part of every x86-64 processor): a pixel's three channels in one vector.
template <int Step, typename Find>
inline void DiffusePixelSse2(const uint8_t* row, uint8_t* indexes, int x, const TLanes* palette, Find nearest,
                             int* current, int* next)
{
    const __m128i zero = _mm_setzero_si128();
    auto load = [](const int* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    auto add = [&](int* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_add_epi32(load(p), v)); };
    auto widen = [&](__m128i bytes) { return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero); };
    int* err = current + (x + 1) * kLanes;
    int* below = next + (x + 1) * kLanes;
    const uint8_t* p = row + x * 3;
    const __m128i pixel = widen(_mm_cvtsi32_si128(p[0] | p[1] << 8 | p[2] << 16));
    const __m128i wanted =
        _mm_add_epi32(pixel, _mm_srai_epi32(_mm_add_epi32(load(err), _mm_set1_epi32(kErrorHalf)), kErrorShift));
    // The error is small enough for 16 bits; the saturating packs clamp to 0..255.
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(wanted, wanted), zero);
    const uint32_t rgb = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
    const int index = nearest(rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16 & 0xFF);
    indexes[x] = static_cast<uint8_t>(index);
    const __m128i e = _mm_sub_epi32(widen(bytes), load(palette[index].lane));
    const __m128i e15 = _mm_sub_epi32(_mm_slli_epi32(e, 4), e); // kErrorKept sixteenths
    add(err + Step * kLanes, _mm_sub_epi32(_mm_slli_epi32(e15, 3), e15));
    add(below - Step * kLanes, _mm_add_epi32(_mm_slli_epi32(e15, 1), e15));
    add(below, _mm_add_epi32(_mm_slli_epi32(e15, 2), e15));
    add(below + Step * kLanes, e15);
}
#endif

// Bands of a stretch dithered side by side on one thread.
constexpr int kBandsTogether = 2;

// Rows dithered apart: each band starts without error from the rows above it, as the top
// row of the picture does.
struct TBand {
    int top = 0;
    std::vector<int> current, next;
};

// Row r of `Bands` bands (one, or two side by side). The bands' errors never meet, so the
// processor works on one band's pixel while the other's waits for its nearest colour: a
// pixel's search and diffusion are one long chain of dependent steps.
template <int Step, TSimdLevel Level, int Bands>
inline void DiffuseRows(const TBitmap& picture, TIndexedPicture& out, const TLanes* lanes, TPaletteSearch& search,
                        TBand* bands, int r)
{
    const int width = out.width;
    const uint8_t* rows[Bands];
    uint8_t* indexes[Bands];
    for (int b = 0; b < Bands; ++b) {
        rows[b] = picture.Row(bands[b].top + r);
        indexes[b] = out.indexes.data() + static_cast<size_t>(bands[b].top + r) * static_cast<size_t>(width);
        std::fill(bands[b].next.begin(), bands[b].next.end(), 0);
    }
    for (int i = 0; i < width; ++i) {
        const int x = Step > 0 ? i : width - 1 - i;
        for (int b = 0; b < Bands; ++b) {
            int* current = bands[b].current.data();
            int* next = bands[b].next.data();
#if defined(__x86_64__)
            if constexpr (Level == TSimdLevel::Avx2) {
                auto nearest = [&](int red, int green, int blue) { return search.NearestInAvx2(red, green, blue); };
                DiffusePixelSse2<Step>(rows[b], indexes[b], x, lanes, nearest, current, next);
                continue;
            } else if constexpr (Level == TSimdLevel::Sse2) {
                auto nearest = [&](int red, int green, int blue) { return search.Nearest(red, green, blue); };
                DiffusePixelSse2<Step>(rows[b], indexes[b], x, lanes, nearest, current, next);
                continue;
            }
#endif
            DiffusePixel<Step>(rows[b], indexes[b], x, out.palette, search, current, next);
        }
    }
    for (int b = 0; b < Bands; ++b)
        std::swap(bands[b].current, bands[b].next);
}

#if defined(__x86_64__)
// The AVX2 rows are compiled for AVX2 as a whole, the search taken in line.
template <int Step, int Bands>
__attribute__((target("avx2"), flatten)) void DiffuseRowsAvx2(const TBitmap& picture, TIndexedPicture& out,
                                                               const TLanes* lanes, TPaletteSearch& search,
                                                               TBand* bands, int r)
{
    DiffuseRows<Step, TSimdLevel::Avx2, Bands>(picture, out, lanes, search, bands, r);
}
#endif

template <int Step, TSimdLevel Level, int Bands = kBandsTogether>
void DiffuseRowsOf(const TBitmap& picture, TIndexedPicture& out, const TLanes* lanes, TPaletteSearch& search,
                   TBand* bands, int r, int active)
{
    if constexpr (Bands > 1)
        if (active < Bands)
            return DiffuseRowsOf<Step, Level, Bands - 1>(picture, out, lanes, search, bands, r, active);
#if defined(__x86_64__)
    if constexpr (Level == TSimdLevel::Avx2)
        return DiffuseRowsAvx2<Step, Bands>(picture, out, lanes, search, bands, r);
#endif
    DiffuseRows<Step, Level, Bands>(picture, out, lanes, search, bands, r);
}

template <TSimdLevel Level>
void DiffuseRowsAt(const TBitmap& picture, TIndexedPicture& out, const TLanes* lanes, TPaletteSearch& search,
                   TBand* bands, int r, int active)
{
    if (r % 2 == 0)
        DiffuseRowsOf<1, Level>(picture, out, lanes, search, bands, r, active);
    else
        DiffuseRowsOf<-1, Level>(picture, out, lanes, search, bands, r, active);
}

// Dithers rows [top, bottom) in kBandsTogether bands, the upper ones a row longer where the
// rows do not share out evenly.
void DitherFloydSteinberg(const TBitmap& picture, int top, int bottom, TIndexedPicture& out, TSimdLevel level)
{
    static_assert(kErrorKept == 15, "the vector kernel multiplies by shifts");
    TPaletteSearch search(out.palette, level);
    std::vector<TLanes> lanes;
    for (const TRGB& c : out.palette)
        lanes.push_back({{c[0], c[1], c[2], 0}});
    const int rows = (bottom - top) / kBandsTogether, longer = (bottom - top) % kBandsTogether;
    TBand bands[kBandsTogether];
    for (int b = 0; b < kBandsTogether; ++b) {
        bands[b].top = top + b * rows + std::min(b, longer);
        bands[b].current.assign(static_cast<size_t>(out.width + 2) * kLanes, 0);
        bands[b].next.resize(bands[b].current.size());
    }
#if defined(__x86_64__)
    // The search answers the AVX2 rows only if it was made for AVX2 (the processor has it).
    const bool avx2 = level == TSimdLevel::Avx2 && BestSimdLevel() == TSimdLevel::Avx2;
#endif
    for (int r = 0; r < rows + (longer > 0); ++r) {
        const int active = r < rows ? kBandsTogether : longer;
#if defined(__x86_64__)
        if (avx2) {
            DiffuseRowsAt<TSimdLevel::Avx2>(picture, out, lanes.data(), search, bands, r, active);
            continue;
        }
        if (level != TSimdLevel::Scalar) {
            DiffuseRowsAt<TSimdLevel::Sse2>(picture, out, lanes.data(), search, bands, r, active);
            continue;
        }
#endif
        DiffuseRowsAt<TSimdLevel::Scalar>(picture, out, lanes.data(), search, bands, r, active);
    }
}

void MapToNearest(const TBitmap& picture, int top, int bottom, TIndexedPicture& out, TSimdLevel level)
{
    TPaletteSearch search(out.palette, level);
    uint8_t* index = out.indexes.data() + static_cast<size_t>(top) * static_cast<size_t>(out.width);
    for (int y = top; y < bottom; ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < out.width; ++x, p += 3)
            *index++ = static_cast<uint8_t>(search.Nearest(p[0], p[1], p[2]));
    }
}

} // namespace

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
    TPaletteScratch& scratch = PaletteScratch();
    CountColours(picture, scratch);
    // The cells' means, for the Lloyd steps, are taken beside the tree for a large picture.
    std::vector<TRGB> means;
    auto takeMeans = [&] { means = CellMeans(scratch.cells); };
    TWorkPool::TTask meansTask;
    if (scratch.cells.size() >= kManyCells)
        meansTask = TWorkPool::Shared().Start(takeMeans);
    else
        takeMeans();
    TOctree tree(scratch.nodes, scratch.cells, scratch.keys);
    tree.Reduce(maxColors);
    out.palette = tree.BuildPalette();
    meansTask.Wait();
    RefinePalette(scratch.cells, means, scratch.keys, out.palette, RefineSteps(maxColors), level);
    scratch.GiveBackLarge();
    return out;
}

void MapToPalette(const TBitmap& picture, TIndexedPicture& out, TDither dither, const TStretchDone& stretchDone,
                  TSimdLevel level)
{
    if (picture.Empty())
        return;
    // A large picture is mapped in two stretches of rows, each with its own search, on two
    // threads. The stretches, like the bands, depend on the size alone, so the output is
    // the same on every machine.
    ForEachHalf(picture.Height(), LargePicture(picture), [&](int top, int bottom) {
        if (dither == TDither::FloydSteinberg)
            DitherFloydSteinberg(picture, top, bottom, out, level);
        else
            MapToNearest(picture, top, bottom, out, level);
        if (stretchDone)
            stretchDone(top != 0, top, bottom);
    });
}

TIndexedPicture QuantizeOctree(const TBitmap& picture, int maxColors, TDither dither, TSimdLevel level)
{
    TIndexedPicture out = OctreePalette(picture, maxColors, level);
    MapToPalette(picture, out, dither, {}, level);
    return out;
}

} // namespace quillon
