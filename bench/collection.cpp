// The real program over big collections (100 to 100,000 logos in 120 folders), started
// under an X server of the benchmark's own: the time from start to the window shown, the
// memory it then holds, the processor time of a click that changes nothing (with what the
// next second brings: the save a click may cause is due by then; idle_cpu_ms is the same span
// without a click), and the time until a
// deleted folder holding a tenth of the logos (or 40,000 alone) is gone from disk. The
// program built from another revision, named by QUILLON_BENCH_PEER_EXE, runs by turns
// with ours over the same collection; without it ours runs alone.
#include "peer_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

const fs::path& Scratch()
{
    static const fs::path path = fs::temp_directory_path() / ("quillon-bench-collection-" + std::to_string(getpid()));
    // The collections go with the benchmark, after the last program has ended.
    static const struct TRemove {
        ~TRemove()
        {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } remove;
    return path;
}

// The X server every program of this benchmark shows its window on.
class TDisplay {
public:
    TDisplay()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 3);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The number comes once the server is ready, its end of line perhaps apart from it.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            name_ = ":" + number;
        x_ = name_.empty() ? nullptr : XOpenDisplay(name_.c_str());
    }
    ~TDisplay()
    {
        if (x_)
            XCloseDisplay(x_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Name() const { return name_; }
    bool Ok() const { return x_ != nullptr; }

    // The program's main window once it is on screen.
    std::optional<Window> ShownWindow(pid_t pid)
    {
        Window root = DefaultRootWindow(x_), parent = 0, *children = nullptr;
        unsigned count = 0;
        std::optional<Window> found;
        if (!XQueryTree(x_, root, &root, &parent, &children, &count))
            return found;
        const Atom pidAtom = XInternAtom(x_, "_NET_WM_PID", False);
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a{};
            if (!XGetWindowAttributes(x_, children[i], &a) || a.map_state != IsViewable)
                continue;
            char* name = nullptr;
            const bool titled = XFetchName(x_, children[i], &name) && name && std::string(name) == "Quillon";
            if (name)
                XFree(name);
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (titled && XGetWindowProperty(x_, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                                             &after, &data) == Success && data) {
                if (items == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid)
                    found = children[i];
                XFree(data);
            }
        }
        if (children)
            XFree(children);
        return found;
    }

private:
    pid_t pid_ = -1;
    std::string name_;
    Display* x_ = nullptr;
};

TDisplay& Screen()
{
    static TDisplay display;
    return display;
}

// An application folder holding a collection, the program (ours as quillon, the peer as
// quillon-peer: the application folder is the executable's) and the files shipped beside it.
// Made once per layout; the directory file is never rewritten with other content, since
// both programs write what they read.
fs::path Collection(int logos, int bigFolder)
{
    const fs::path app = Scratch() / ("app-" + std::to_string(logos) + "-" + std::to_string(bigFolder));
    if (fs::exists(app / "logodirectory.xml"))
        return app;
    fs::create_directories(app / "Logo Directory");
    const fs::path build = fs::path(QUILLON_EXECUTABLE).parent_path();
    fs::copy_file(QUILLON_EXECUTABLE, app / "quillon");
    for (const char* name : {"phoneslist.xml", "parameters.xml", "quillonhelp.hlp"})
        fs::copy_file(build / name, app / name);
    if (const char* peer = std::getenv("QUILLON_BENCH_PEER_EXE"))
        fs::copy_file(peer, app / "quillon-peer");
    std::ofstream out(app / "logodirectory.xml");
    out << "<logodirectory>";
    const int folders = bigFolder > 0 && bigFolder == logos ? 1 : 120;
    const int rest = logos - bigFolder;
    int n = 0;
    for (int f = 0; f < folders; ++f) {
        const int count = f == 0 && bigFolder > 0 ? bigFolder : rest / (folders - 1) + (f - 1 < rest % (folders - 1));
        char folder[32];
        std::snprintf(folder, sizeof folder, "Folder %03d", f);
        fs::create_directories(app / "Logo Directory" / folder);
        out << "<logodirnode nodekind=\"folder\" nodename=\"" << folder << "\">";
        for (int i = 0; i < count; ++i, ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "picture %05d.jpg", i);
            std::ofstream(app / "Logo Directory" / folder / name);
            out << "<logodirnode nodekind=\"logo\" nodename=\"" << name << "\" frameleft=\"0\" frametop=\"0\" "
                << "framewidth=\"40\" frameheight=\"30\" phonemakeid=\"0\" phonemodelid=\"0\" logowidth=\"128\" "
                << "logoheight=\"128\" fitkind=\"bigger\" keepproportions=\"yes\" uploadurl=\"http://wap.example/guest/?id="
                << n << "\"/>";
        }
        out << "</logodirnode>";
    }
    out << "</logodirectory>\n";
    out.close();
    fs::copy_file(app / "logodirectory.xml", app / "logodirectory.xml.first");
    return app;
}

// The first folder's pictures back in place after a delete moved them to the trash, and the
// directory file that lists them.
void RestoreFirstFolder(const fs::path& app, int count)
{
    fs::copy_file(app / "logodirectory.xml.first", app / "logodirectory.xml", fs::copy_options::overwrite_existing);
    const fs::path folder = app / "Logo Directory" / "Folder 000";
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "picture %05d.jpg", i);
        if (!fs::exists(folder / name))
            std::ofstream(folder / name);
    }
    fs::remove_all(Scratch() / "data" / "Trash");
}

// The processor time of the program, its ended threads included (the scheduler's finer
// count per thread forgets a thread once it ends, and the saver's threads end).
double CpuMilliseconds(pid_t pid, bool windowThreadOnly = false)
{
    const std::string process = "/proc/" + std::to_string(pid);
    std::ifstream in(windowThreadOnly ? process + "/task/" + std::to_string(pid) + "/stat" : process + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stol(field);
    }
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ResidentMegabytes(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    }
    return -1;
}

// One run of a program over an application folder, ended at the end of its scope.
class TRun {
public:
    TRun(const fs::path& app, const std::string& exe) : started_(Clock::now())
    {
        fs::create_directories(Scratch() / "run");
        fs::permissions(Scratch() / "run", fs::perms::owner_all);
        pid_ = fork();
        if (pid_ == 0) {
            setenv("DISPLAY", Screen().Name().c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("XDG_RUNTIME_DIR", (Scratch() / "run").c_str(), 1);
            setenv("XDG_DATA_HOME", (Scratch() / "data").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (Scratch() / "config").c_str(), 1);
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
            const int null = ::open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string path = (app / exe).string();
            execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TRun()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);  // the program shuts down as at Exit
        waitpid(pid_, nullptr, 0);
    }
    pid_t Pid() const { return pid_; }

    // Milliseconds from the start to the window on screen; negative when it never came.
    double WaitShown()
    {
        while (Clock::now() - started_ < std::chrono::seconds(120)) {
            if (const std::optional<Window> w = Screen().ShownWindow(pid_)) {
                window_ = *w;
                return std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    void Input(const std::string& xdotoolArgs) const
    {
        const std::string command = "DISPLAY=" + Screen().Name() + " xdotool " + xdotoolArgs + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "xdotool %s failed\n", xdotoolArgs.c_str());
    }
    // A click on the tree's first row, the root, which a first click selects.
    void ClickRoot() const
    {
        Input("mousemove --window " + std::to_string(window_) + " 70 62 click 1");
    }

private:
    pid_t pid_ = -1;
    Window window_ = 0;
    Clock::time_point started_;
};

void Settle(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Medians of each figure for ours and the peer, measured by turns; the iteration time is ours.
void Report(benchmark::State& state, const std::map<std::string, std::vector<double>>& ours,
            const std::map<std::string, std::vector<double>>& peer)
{
    for (const auto& [name, values] : ours) {
        state.counters[name] = bench::Median(values);
        const auto theirs = peer.find(name);
        if (theirs != peer.end() && !theirs->second.empty()) {
            state.counters["peer_" + name] = bench::Median(theirs->second);
            state.counters["x_" + name] = bench::Median(values) / bench::Median(theirs->second);
        }
    }
}

std::vector<std::string> Programs()
{
    std::vector<std::string> programs{"quillon"};
    if (std::getenv("QUILLON_BENCH_PEER_EXE"))
        programs.push_back("quillon-peer");
    return programs;
}

void BM_CollectionStart(benchmark::State& state)
{
    const int logos = static_cast<int>(state.range(0));
    if (!Screen().Ok()) {
        state.SkipWithError("no X server (Xvfb)");
        return;
    }
    const fs::path app = Collection(logos, 0);
    std::map<std::string, std::vector<double>> figures[2];
    for (auto _ : state) {
        const std::vector<std::string> programs = Programs();
        for (size_t side = 0; side < programs.size(); ++side) {
            TRun run(app, programs[side]);
            const double shown = run.WaitShown();
            if (shown < 0) {
                state.SkipWithError((programs[side] + " showed no window").c_str());
                return;
            }
            figures[side]["shown_ms"].push_back(shown);
            if (side == 0)
                state.SetIterationTime(shown / 1000);
            Settle(1500);  // what the start leaves to the event loop is done
            figures[side]["rss_MB"].push_back(ResidentMegabytes(run.Pid()));
            run.ClickRoot();  // selected now; the next clicks change nothing
            Settle(1500);
            // Counted in ticks of 10 ms: several clicks, each with the second after it.
            // The same span without a click, for what the window spends idle (its timers).
            constexpr int kClicks = 5;
            const double idle = CpuMilliseconds(run.Pid());
            Settle(1200 * kClicks);
            figures[side]["idle_cpu_ms"].push_back((CpuMilliseconds(run.Pid()) - idle) / kClicks);
            const double before = CpuMilliseconds(run.Pid());
            for (int i = 0; i < kClicks; ++i) {
                run.ClickRoot();
                Settle(1200);
            }
            figures[side]["click_cpu_ms"].push_back((CpuMilliseconds(run.Pid()) - before) / kClicks);
        }
    }
    Report(state, figures[0], figures[1]);
}

// The first folder deleted with the Delete key and confirmed with Enter, timed from the key
// until the folder is gone from disk; the program's processor time in that span beside it,
// and that of the window's thread alone (the tree's work: the moves may run elsewhere).
void BM_CollectionDeleteFolder(benchmark::State& state)
{
    const int logos = static_cast<int>(state.range(0));
    const int big = static_cast<int>(state.range(1));
    if (!Screen().Ok()) {
        state.SkipWithError("no X server (Xvfb)");
        return;
    }
    const fs::path app = Collection(logos, big);
    const fs::path folder = app / "Logo Directory" / "Folder 000";
    std::map<std::string, std::vector<double>> figures[2];
    for (auto _ : state) {
        const std::vector<std::string> programs = Programs();
        for (size_t side = 0; side < programs.size(); ++side) {
            state.PauseTiming();
            RestoreFirstFolder(app, big);
            TRun run(app, programs[side]);
            if (run.WaitShown() < 0) {
                state.SkipWithError((programs[side] + " showed no window").c_str());
                return;
            }
            Settle(1500);
            run.ClickRoot();
            run.Input("key Down");
            Settle(1000);
            state.ResumeTiming();
            const double cpu = CpuMilliseconds(run.Pid());
            const double windowCpu = CpuMilliseconds(run.Pid(), true);
            const auto start = Clock::now();
            run.Input("key Delete");
            Settle(300);
            run.Input("key Return");
            while (fs::exists(folder) && Clock::now() - start < std::chrono::seconds(600))
                Settle(5);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            figures[side]["gone_ms"].push_back(ms);
            figures[side]["cpu_ms"].push_back(CpuMilliseconds(run.Pid()) - cpu);
            figures[side]["window_cpu_ms"].push_back(CpuMilliseconds(run.Pid(), true) - windowCpu);
            if (side == 0)
                state.SetIterationTime(ms / 1000);
            Settle(1500);  // the directory file written before the program ends
        }
    }
    Report(state, figures[0], figures[1]);
}

BENCHMARK(BM_CollectionStart)->Arg(1000)->Arg(10000)->Arg(100000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectionDeleteFolder)
    ->Args({1000, 100})
    ->Args({10000, 1000})
    ->Args({100000, 10000})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// Minutes of moves to the trash on each side: once.
BENCHMARK(BM_CollectionDeleteFolder)->Args({40000, 40000})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quillon
