#include "PageImage.h"

#include <algorithm>
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

PageImage withEdgeBorder(const PageImage& image)
{
    PageImage bordered(image.width + 2, image.height + 2, image.channels, image.scale);
    const int channels = image.channels;
    for (int y = 0; y < bordered.height; ++y) {
        const std::uint8_t* from = image.row(std::clamp(y - 1, 0, image.height - 1));
        std::uint8_t* to = bordered.pixels.get() + static_cast<std::size_t>(y) * bordered.stride();
        std::copy_n(from, channels, to);
        std::copy_n(from, image.stride(), to + channels);
        std::copy_n(from + image.stride() - channels, channels, to + channels + image.stride());
    }
    return bordered;
}

} // namespace vellora::converter
