// Decoding a 24-megapixel photo-like JPEG (6000 x 4000, quality 90, made here) beside
// libjpeg-turbo's own djpeg decoding the same file to /dev/null. The peak_MB counter is
// the memory the decode needs beyond what the process held before it (measured in a
// child process), next to decoded_MB, the size of the bitmap itself.
// Install the peer with bench/setup.sh.
#include "codec_support.h"

#include "imaging/codecs.h"
#include "imaging/picturefiles.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {
namespace {

const std::string& PhotoFile()
{
    static const std::string path = [] {
        std::string p = bench::BenchFile("photo24.jpg").string();
        SavePicture(p, bench::MakePhotoLike(6000, 4000), pfJPEG, TEncodeSettings{90});
        return p;
    }();
    return path;
}

// A line of /proc/self/status in kB.
long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

// Decodes once in a child process, whose high-water mark is reset first, and returns
// the peak growth in MB.
double PeakDecodeMegabytes(const std::string& path)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        malloc_trim(0); // free heap the decode could reuse unseen would hide its needs
        std::ofstream("/proc/self/clear_refs") << "5";
        long before = StatusKb("VmRSS:");
        TBitmap picture = LoadPicture(path);
        double grown = double(StatusKb("VmHWM:") - before) / 1024.0;
        if (write(fds[1], &grown, sizeof grown) != sizeof grown)
            _exit(1);
        _exit(0);
    }
    double grown = -1;
    if (read(fds[0], &grown, sizeof grown) != sizeof grown)
        grown = -1;
    close(fds[0]);
    close(fds[1]);
    waitpid(child, nullptr, 0);
    return grown;
}

void BM_QuillonDecodeJpeg24MP(benchmark::State& state)
{
    const std::string& path = PhotoFile();
    for (auto _ : state) {
        TBitmap picture = LoadPicture(path);
        benchmark::DoNotOptimize(picture.Data());
    }
    state.counters["decoded_MB"] = 6000.0 * 4000 * 3 / (1024 * 1024);
    state.counters["peak_MB"] = PeakDecodeMegabytes(path);
}
BENCHMARK(BM_QuillonDecodeJpeg24MP)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_DjpegDecodeJpeg24MP(benchmark::State& state)
{
    std::string command = "djpeg -outfile /dev/null " + PhotoFile();
    for (auto _ : state)
        if (!bench::RunQuietly(command)) {
            state.SkipWithError("djpeg is not installed: run bench/setup.sh");
            return;
        }
}
BENCHMARK(BM_DjpegDecodeJpeg24MP)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace
} // namespace quillon
