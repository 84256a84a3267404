#pragma once

// Running the program's code and a peer by turns, so both see the same machine (the cores
// are shared and their load drifts): each iteration times ours, then the peer's.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillon::bench {

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

template <typename Work>
double Milliseconds(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A Python interpreter kept running beside the benchmark. `setup` runs once; then each Run()
// sends one line, which `step` (a function of that line) handles, and returns the seconds
// the interpreter measured for it. Timing inside the interpreter leaves out the pipe.
class TPythonPeer {
public:
    TPythonPeer(const std::string& setup, const std::string& step)
    {
        const char* python = std::getenv("QUILLON_BENCH_PYTHON");
        // Debian's python3-pil belongs to the system interpreter, whatever else is on PATH.
        script_ = std::string(python != nullptr ? python : "/usr/bin/python3") + " -u -c '" + setup +
                  "\nimport sys, time\nfor line in sys.stdin:\n    t = time.perf_counter()\n    " + step +
                  "(line.split())\n    print(time.perf_counter() - t, flush=True)\n' 2>/dev/null";
    }
    ~TPythonPeer()
    {
        if (in_ != nullptr)
            fclose(in_); // end of input ends its loop
        if (out_ != nullptr)
            fclose(out_);
        if (child_ > 0)
            waitpid(child_, nullptr, 0);
    }
    TPythonPeer(const TPythonPeer&) = delete;
    TPythonPeer& operator=(const TPythonPeer&) = delete;

    // Milliseconds, or a negative value when the peer is not available.
    double Run(const std::string& line)
    {
        if (child_ == 0 && !Start())
            return -1;
        double seconds = -1;
        if (in_ == nullptr || std::fprintf(in_, "%s\n", line.c_str()) < 0 || std::fflush(in_) != 0
            || std::fscanf(out_, "%lf", &seconds) != 1)
            return -1;
        return seconds * 1000;
    }

private:
    bool Start()
    {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            return false;
        std::signal(SIGPIPE, SIG_IGN);
        child_ = fork();
        if (child_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            execl("/bin/sh", "sh", "-c", script_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in_ = fdopen(toChild[1], "w");
        out_ = fdopen(fromChild[0], "r");
        return child_ > 0 && in_ != nullptr && out_ != nullptr;
    }

    std::string script_;
    pid_t child_ = 0;
    FILE* in_ = nullptr;  // its stdin
    FILE* out_ = nullptr; // its stdout
};

// Times a peer program as a whole process, as a user would meet it.
inline double ProcessMilliseconds(const std::string& command)
{
    bool ok = true;
    const double ms = Milliseconds([&] { ok = std::system((command + " >/dev/null 2>&1").c_str()) == 0; });
    return ok ? ms : -1;
}

// Reports ours as the iteration time and the peer's median beside it, with their ratio.
template <typename Ours, typename Peer>
void Interleave(benchmark::State& state, const char* peerName, Ours&& ours, Peer&& peer)
{
    std::vector<double> oursMs, peerMs;
    for (auto _ : state) {
        const double mine = Milliseconds(ours);
        const double theirs = peer();
        if (theirs < 0) {
            state.SkipWithError((std::string(peerName) + " is not available: run bench/setup.sh").c_str());
            return;
        }
        oursMs.push_back(mine);
        peerMs.push_back(theirs);
        state.SetIterationTime(mine / 1000);
    }
    state.counters["median_ms"] = Median(oursMs);
    state.counters[std::string(peerName) + "_ms"] = Median(peerMs);
    state.counters["x_" + std::string(peerName)] = Median(oursMs) / Median(peerMs);
}

// Ours alone, for the figures that have no peer.
template <typename Ours>
void Timed(benchmark::State& state, Ours&& ours)
{
    std::vector<double> oursMs;
    for (auto _ : state) {
        oursMs.push_back(Milliseconds(ours));
        state.SetIterationTime(oursMs.back() / 1000);
    }
    state.counters["median_ms"] = Median(oursMs);
}

} // namespace quillon::bench
