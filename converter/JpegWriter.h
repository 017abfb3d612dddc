#pragma once

#include <cstdint>
#include <vector>

namespace vellora::converter {

enum class JpegKind
{
    Baseline,
    Progressive
};

// Encodes packed RGB rows (3 bytes a pixel, `stride` bytes a row) as JPEG with 4:2:0
// chroma subsampling (one grey channel when every pixel is grey) and Huffman tables fitted
// to the image. Quality 0 to 100; 0 is taken as 1, the lowest the encoder knows.
std::vector<std::uint8_t> encodeJpeg(const std::uint8_t* rgb, int width, int height, int stride,
                                     int quality, JpegKind kind);

} // namespace vellora::converter
