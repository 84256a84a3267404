// The tree's share of deleting a folder of 40,000 logos that the view shows expanded: the
// nodes taken out as their files go, the last children of the folder in one removal per
// step of the window's timer (what the Delete command does now), beside the same nodes
// taken out one by one with a notification each (what it did). The moves to the trash are
// left out on both sides: here every file "goes" at once.
#include "peer_support.h"

#include "logodir/subtreedelete.h"
#include "logodir/ui/logotreemodel.h"

#include <QApplication>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace quillon {
namespace {

constexpr int kLogos = 40000;
// Files a worker moves in one step of the window's 30 ms timer, generously.
constexpr size_t kPerStep = 2000;

struct TShownTree {
    TLogoTree tree;
    TLogoTreeModel model{tree};
    QTreeView view;
    TLogoNode* folder = nullptr;

    TShownTree()
    {
        TLogoNode* root = tree.CreateRootNode();
        folder = tree.AddChild(root, "Big", kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, "Big"));
        for (int i = 0; i < kLogos; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "picture %05d.jpg", i);
            tree.AddChild(folder, name, kLogoImage, std::make_unique<TLogoDirObject>(nkLogo, name));
        }
        view.setUniformRowHeights(true);
        view.setModel(&model);
        view.resize(300, 600);
        view.expand(model.IndexOf(tree.Root()));
        view.expand(model.IndexOf(folder));
        view.setCurrentIndex(model.IndexOf(folder));
        view.show();
        QApplication::processEvents();
    }
};

void BM_TreeDelete40000(benchmark::State& state)
{
    std::vector<double> oursMs, peerMs;
    for (auto _ : state) {
        {
            state.PauseTiming();
            TShownTree shown;
            std::unique_ptr<TSubtreeDelete> plan;
            size_t moved = 0;
            // The window takes out what is gone at each step of its timer, as the worker goes on.
            plan = std::make_unique<TSubtreeDelete>("/nonexistent/", shown.folder, [&](const std::string&) {
                if (++moved % kPerStep == 0) {
                    plan->RemoveGone(shown.tree);
                    QApplication::processEvents();
                }
                return true;
            });
            state.ResumeTiming();
            oursMs.push_back(bench::Milliseconds([&] {
                plan->Run();
                plan->RemoveGone(shown.tree);
                QApplication::processEvents();
            }));
            state.PauseTiming();
        }
        {
            TShownTree shown;
            peerMs.push_back(bench::Milliseconds([&] {
                for (size_t i = shown.folder->Count(); i-- > 0;)
                    shown.tree.Delete(shown.folder->Child(i));
                shown.tree.Delete(shown.folder);
                QApplication::processEvents();
            }));
            state.ResumeTiming();
        }
        state.SetIterationTime(oursMs.back() / 1000);
    }
    state.counters["median_ms"] = bench::Median(oursMs);
    state.counters["one_by_one_ms"] = bench::Median(peerMs);
    state.counters["x_one_by_one"] = bench::Median(oursMs) / bench::Median(peerMs);
}

} // namespace
} // namespace quillon

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("BM_TreeDelete40000", quillon::BM_TreeDelete40000)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
