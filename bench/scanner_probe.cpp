// What finding a scanner costs, to decide what may run while the program starts: the
// TWAIN manager lookup runs on the UI thread at the first command-state refresh; SANE's
// device listing (here with this machine's own backends) runs on a thread of its own.
#include "acquire/multitwain.h"

#include <benchmark/benchmark.h>
#include <sane/sane.h>

namespace {

class TSilentHost : public quillon::TTwainHost {
public:
    void ErrorBox(const std::string&) override {}
    bool IsWindow(quillon::twain::TW_HANDLE) override { return false; }
    quillon::twain::TW_HANDLE CreateProxyWindow() override { return nullptr; }
    void DestroyProxyWindow(quillon::twain::TW_HANDLE) override {}
    void EnableWindow(quillon::twain::TW_HANDLE, bool) override {}
    bool WaitForEvents() override { return false; }
    void Wake() override {}
};

void BM_TwainManagerLookup(benchmark::State& state)
{
    TSilentHost host;
    for (auto _ : state) {
        quillon::TMultiTWAIN layer(host);
        benchmark::DoNotOptimize(layer.TWAIN_SourceManagerAvailable());
    }
}
BENCHMARK(BM_TwainManagerLookup)->Unit(benchmark::kMicrosecond);

void SaneListing(benchmark::State& state, SANE_Bool localOnly)
{
    for (auto _ : state) {
        SANE_Int version = 0;
        const SANE_Device** devices = nullptr;
        sane_init(&version, nullptr);
        sane_get_devices(&devices, localOnly);
        int count = 0;
        while (devices && devices[count])
            ++count;
        state.counters["devices"] = count;
        sane_exit();
    }
}

void BM_SaneListingAll(benchmark::State& state)
{
    SaneListing(state, SANE_FALSE);
}
void BM_SaneListingLocal(benchmark::State& state)
{
    SaneListing(state, SANE_TRUE);
}
// Interleaved, a few rounds each: every listing costs seconds.
BENCHMARK(BM_SaneListingLocal)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaneListingAll)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
