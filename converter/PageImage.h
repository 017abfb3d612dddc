#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vellora::converter {

// Memory for pixels, left uninitialised: whoever asks fills every byte. Large blocks are
// asked of the system in huge pages where it offers them: a page drawing touches megabytes
// at once, and one fault per 2 MB instead of one per 4 KB is a good part of a page's time.
struct PixelMemoryRelease
{
    std::size_t size = 0; // 0 for a block from the heap
    void operator()(std::uint8_t* pixels) const;
};
using PixelMemory = std::unique_ptr<std::uint8_t[], PixelMemoryRelease>;
PixelMemory allocatePixels(std::size_t size);

// Pixels of a drawn page, row after row without padding: one grey byte a pixel, or three
// (red, green, blue).
struct PageImage
{
    int width = 0;
    int height = 0;
    int channels = 3;
    double scale = 1; // pixels per point of the page
    PixelMemory pixels;

    PageImage() = default;
    PageImage(int width, int height, int channels, double scale)
        : width(width), height(height), channels(channels), scale(scale),
          pixels(allocatePixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                                static_cast<std::size_t>(channels)))
    {}
    int stride() const { return width * channels; }
    const std::uint8_t* row(int y) const
    {
        return pixels.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride());
    }
};

// `image` with one more pixel on each side, a copy of the pixel beside it. A player that
// smooths a bitmap as it enlarges it blends the outer half of each edge pixel with what lies
// beyond: nothing, which shows as a pale fringe a few pixels wide round a page image. With
// the border outside the area the bitmap fills, the edge pixels blend with themselves.
PageImage withEdgeBorder(const PageImage& image);

} // namespace vellora::converter
