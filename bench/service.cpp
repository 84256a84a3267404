// The reference service on loopback beside nginx serving the same file statically:
// requests per second for a phone fetching a 20 KB logo at its phone URL, and for
// uploads of that logo. Both servers are started here on 127.0.0.1 and stopped at the
// end; each batch is a fixed number of requests over four keep-alive connections, and
// the two servers take turns batch by batch, so both see the same machine load.
// Counters: rps (median of the batches), nginx_rps, x_nginx = rps / nginx_rps.
// Install nginx with bench/setup.sh.
#include "peer_support.h"
#include "service_support.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quillon::bench;

constexpr int kConnections = 4;

TPeers& Peers()
{
    static TPeers peers;
    return peers;
}

// Requests per second of one batch over kConnections connections; 0 when any failed.
double Batch(int port, const std::string& request, int requests)
{
    std::vector<std::thread> threads;
    std::atomic<bool> failed{false};
    auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < kConnections; ++t) {
        threads.emplace_back([&] {
            try {
                TConnection c(port);
                for (int i = 0; i < requests / kConnections; ++i)
                    if (c.Exchange(request) != 200)
                        failed = true;
            } catch (const std::exception&) {
                failed = true;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return failed ? 0.0 : requests / seconds;
}

void Compare(benchmark::State& state, const std::string& serviceRequest, int requests)
{
    TPeers& peers = Peers();
    if (!peers.error.empty()) {
        state.SkipWithError(peers.error.c_str());
        return;
    }
    const std::string nginxRequest = GetRequest("/logo.jpg");
    std::vector<double> ours, nginx;
    for (auto _ : state) {
        double rate = Batch(peers.servicePort, serviceRequest, requests);
        double peer = Batch(peers.nginxPort, nginxRequest, requests);
        if (rate == 0 || peer == 0) {
            state.SkipWithError("a request failed");
            return;
        }
        state.SetIterationTime(requests / rate);
        ours.push_back(rate);
        nginx.push_back(peer);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * requests);
    state.counters["rps"] = Median(ours);
    state.counters["nginx_rps"] = Median(nginx);
    state.counters["x_nginx"] = Median(ours) / Median(nginx);
}

void BM_PhoneUrlGet20KB(benchmark::State& state)
{
    Compare(state, GetRequest(Peers().phonePath), 4000);
}
BENCHMARK(BM_PhoneUrlGet20KB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

void BM_Upload20KB(benchmark::State& state)
{
    Compare(state, Peers().UploadRequest(), 400);
}
BENCHMARK(BM_Upload20KB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

} // namespace
