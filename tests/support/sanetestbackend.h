#pragma once

// Points SANE at its "test" backend for the rest of this process; call before anything
// starts SANE (it reads its configuration once). Two devices, "test:0" and "test:1",
// deliver the colour pattern of 80 x 100 mm at 50 dpi: 157 x 196 pixels. They pause
// 100 ms before each of the seven blocks of a colour page, so a scan takes about 0.7 s
// and can be cancelled midway.
#include "support/tempdir.h"

#include <cstdlib>

namespace quillon::test {

inline constexpr int kSaneTestWidth = 157;
inline constexpr int kSaneTestHeight = 196;

inline void UseSaneTestBackend()
{
    static TTempDir dir;
    static bool written = [] {
        dir.Write("dll.conf", "test\n");
        dir.Write("test.conf", "number_of_devices 2\n"
                             "mode Gray\n"
                             "depth 8\n"
                             "hand-scanner false\n"
                             "three-pass false\n"
                             "three-pass-order RGB\n"
                             "resolution_min 1.0\n"
                             "resolution_max 1200.0\n"
                             "resolution_quant 1.0\n"
                             "resolution 50.0\n"
                             "test-picture \"Color pattern\"\n"
                             "invert-endianess false\n"
                             "read-limit true\n"
                             "read-limit-size 4096\n"
                             "read-delay true\n"
                             "read-delay-duration 100000\n"
                             "read-status-code \"Default\"\n"
                             "fuzzy-parameters false\n"
                             "ppl-loss 0\n"
                             "non-blocking false\n"
                             "select-fd false\n"
                             "enable-test-options false\n"
                             "geometry_min 0.0\n"
                             "geometry_max 200.0\n"
                             "geometry_quant 1.0\n"
                             "tl_x 0.0\n"
                             "tl_y 0.0\n"
                             "br_x 80.0\n"
                             "br_y 100.0\n");
        return true;
    }();
    (void)written;
    setenv("SANE_CONFIG_DIR", dir.Path().c_str(), 1);
}

} // namespace quillon::test
