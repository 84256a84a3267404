#pragma once

// Pictures and helpers shared by the codec benchmarks.

#include "imaging/bitmap.h"
#include "imaging/psnr.h"
#include "imaging/picturefiles.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <png.h>

namespace quillon::bench {

// Something like a photograph: broad smooth gradients, a soft round shape, fine texture
// and a little sensor noise, so the codecs see neither flat areas nor pure noise.
inline TBitmap MakePhotoLike(int width, int height, unsigned seed = 7)
{
    TBitmap b;
    b.ResizeForOverwrite(width, height);
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 4.0f);
    const double cx = width * 0.6, cy = height * 0.4, radius = std::min(width, height) * 0.3;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = b.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            double u = double(x) / width, v = double(y) / height;
            double d = std::hypot(x - cx, y - cy) / radius;
            double sun = d < 1 ? 1 - d * d : 0;
            double texture = 14 * std::sin(x * 0.31 + std::sin(y * 0.05) * 4) * std::sin(y * 0.23);
            double channels[3] = {90 + 120 * u + 60 * sun + 20 * std::sin(v * 9) + texture,
                                  60 + 100 * v + 50 * sun + 25 * std::sin(u * 7 + v * 3) + texture,
                                  160 - 90 * v + 30 * std::cos(u * 11)};
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::clamp(channels[c] + noise(random), 0.0, 255.0));
        }
    }
    return b;
}

using quillon::Psnr;

// The picture as libpng's own simplified writer makes it (zlib's default level, adaptive
// filters), as the program wrote PNG files before; empty when libpng fails.
inline std::string LibpngFile(const TBitmap& picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.Width());
    image.height = static_cast<png_uint_32>(picture.Height());
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::string file(size, '\0');
    if (!png_image_write_to_memory(&image, file.data(), &size, 0, picture.Data(),
                                   static_cast<png_int_32>(picture.Stride()), nullptr))
        return {};
    file.resize(size);
    return file;
}

inline std::filesystem::path BenchFile(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("quillon-bench-" + name);
}

// Runs a peer program quietly; false when it is missing or fails.
inline bool RunQuietly(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A 24-megapixel photo-like JPEG (6000 x 4000, quality 90), written once per process.
inline const std::string& Photo24MPJpeg()
{
    static const std::string path = [] {
        std::string p = BenchFile("photo24.jpg").string();
        SavePicture(p, MakePhotoLike(6000, 4000), pfJPEG, TEncodeSettings{90});
        return p;
    }();
    return path;
}

inline constexpr double kPhoto24MPDecodedMegabytes = 6000.0 * 4000 * 3 / (1024 * 1024);

// A line of /proc/self/status in kB.
inline long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

// Runs work once in a child process, whose high-water mark is reset first, and returns
// the peak growth of its resident memory in MB (-1 when it could not be measured).
template <typename Work>
double PeakMegabytes(Work work)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        malloc_trim(0); // free heap the work could reuse unseen would hide its needs
        std::ofstream("/proc/self/clear_refs") << "5";
        long before = StatusKb("VmRSS:");
        work();
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

} // namespace quillon::bench
