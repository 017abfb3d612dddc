#pragma once

#include "PageImage.h"

#include <cstdlib>
#include <memory>

namespace vellora::converter {

enum class JpegKind
{
    // Huffman tables fitted to the image: a few percent smaller, but the whole image's
    // coefficients are kept for a second pass. For the small images.
    Baseline,
    // The standard tables, coded as the rows arrive: the quick one, for the large images.
    StreamedBaseline,
    Progressive,
};

// Encoded JPEG data, in memory the encoder allocated.
struct JpegData
{
    std::unique_ptr<unsigned char, void (*)(void*)> bytes{nullptr, std::free};
    std::size_t size = 0;
};

// Encodes the image as JPEG: grey images and RGB images whose every pixel is grey with one
// channel, others with 4:2:0 chroma subsampling. Quality 0 to 100; 0 is taken as 1, the
// lowest the encoder knows.
JpegData encodeJpeg(const PageImage& image, int quality, JpegKind kind);

} // namespace vellora::converter
