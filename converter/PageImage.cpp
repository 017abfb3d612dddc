#include "PageImage.h"

#include <new>
#include <sys/mman.h>

namespace vellora::converter {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a block comes from the heap: a huge page would cost more to clear than it saves.
constexpr std::size_t kHugeBlockMinimum = std::size_t{1} << 20;

} // namespace

void PixelMemoryRelease::operator()(std::uint8_t* pixels) const
{
    if (size == 0)
        delete[] pixels;
    else
        ::munmap(pixels, size);
}

PixelMemory allocatePixels(std::size_t size)
{
    if (size < kHugeBlockMinimum)
        return PixelMemory(new std::uint8_t[size], PixelMemoryRelease{});
    // Huge pages need 2 MB alignment: map a little more and give back the ends.
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* mapped = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    auto* base = static_cast<std::uint8_t*>(mapped);
    const auto address = reinterpret_cast<std::uintptr_t>(base);
    const std::size_t head = (kHugePage - address % kHugePage) % kHugePage;
    if (head > 0)
        ::munmap(base, head);
    ::munmap(base + head + rounded, kHugePage - head);
    ::madvise(base + head, rounded, MADV_HUGEPAGE);
    return PixelMemory(base + head, PixelMemoryRelease{rounded});
}

} // namespace vellora::converter
