// What a change of a big collection costs the window's thread: the snapshot taken there
// before the directory file is written on another thread, beside the whole document made
// as text, which the window used to make after every click to see whether anything changed.
// 120 folders; the tree is built in memory as the directory read builds it.
#include "peer_support.h"

#include "logodir/logodirfile.h"
#include "logodir/logotree.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace quillon {
namespace {

void Fill(TLogoTree& tree, int logos)
{
    TLogoNode* root = tree.CreateRootNode();
    constexpr int kFolders = 120;
    for (int f = 0; f < kFolders; ++f) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "Folder %03d", f);
        TLogoNode* node = tree.AddChild(root, folder, kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, folder));
        for (int i = f; i < logos; i += kFolders) {
            char name[32];
            std::snprintf(name, sizeof name, "picture %05d.jpg", i);
            auto record = std::make_unique<TLogoDirObject>(nkLogo, name);
            record->uploadurl = "http://wap.example/guest/?id=" + std::to_string(i);
            tree.AddChild(node, name, kLogoImage, std::move(record));
        }
    }
}

void BM_LogoDirSnapshot(benchmark::State& state)
{
    TLogoTree tree;
    Fill(tree, static_cast<int>(state.range(0)));
    size_t bytes = 0;
    TLogoDirSnapshot snapshot;  // kept from one write to the next, as the window keeps it
    bench::Interleave(
        state, "whole_text",
        [&] {
            TakeLogoDirSnapshot(tree, snapshot);
            benchmark::DoNotOptimize(snapshot.entries.data());
        },
        [&] { return bench::Milliseconds([&] { bytes = LogoDirectoryXml(tree).size(); }); });
    state.counters["file_MB"] = static_cast<double>(bytes) / (1024 * 1024);
}

// The work the writing thread does with a snapshot: the document as text.
void BM_LogoDirSnapshotToText(benchmark::State& state)
{
    TLogoTree tree;
    Fill(tree, static_cast<int>(state.range(0)));
    const TLogoDirSnapshot snapshot = TakeLogoDirSnapshot(tree);
    bench::Timed(state, [&] { benchmark::DoNotOptimize(LogoDirectoryXml(snapshot).size()); });
}

BENCHMARK(BM_LogoDirSnapshot)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogoDirSnapshotToText)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quillon
