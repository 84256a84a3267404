#include "imaging/bitmap.h"

#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace quillon {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

} // namespace

uint8_t* TBitmap::AllocatePixels(size_t size)
{
    void* p = nullptr;
    if (size >= 4 * kHugePage) {
        if (posix_memalign(&p, kHugePage, size) != 0)
            throw std::bad_alloc();
        madvise(p, size, MADV_HUGEPAGE); // only advice: without it the pages are just smaller
    } else if (!(p = std::malloc(size))) {
        throw std::bad_alloc();
    }
    return static_cast<uint8_t*>(p);
}

void TBitmap::TFree::operator()(uint8_t* p) const
{
    std::free(p);
}

} // namespace quillon
