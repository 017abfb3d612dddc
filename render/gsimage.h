#pragma once

#include <QImage>

namespace vellora {

// The format words the display device is asked for. Each one is little-endian (blue first) and
// bottom row first, with no alpha.
inline constexpr unsigned kFormatRgb24 = 198660;    // RGB, 8 bits per component
inline constexpr unsigned kFormatNative16 = 204801; // native 16 bits, 5-5-5
inline constexpr unsigned kFormatNative8 = 198657;  // native 8 bits, 96-colour palette
inline constexpr unsigned kFormatNative4 = 197633;  // native 4 bits, 16-colour palette
inline constexpr unsigned kFormatNative1 = 196865;  // black and white

// The format that suits a screen of that colour depth (bits per pixel). A 32-bit screen gets
// the 24-bit format: the device has no 32-bit one without alpha handling.
unsigned DisplayFormatForDepth(int depth);

// What the display device reported about its current image. The pixels belong to the library
// and are valid only inside its callbacks.
struct TDisplayImage
{
    void* handle = nullptr;
    void* device = nullptr;
    int width = 0;
    int height = 0;
    int raster = 0; // bytes per row, as reported: rows are padded
    unsigned format = 0;
    const unsigned char* image = nullptr;
    int bitsPerPixel = 0;
    int colours = 0; // colour table entries of the format
};

// A newly opened device: nothing is known about its image yet.
void ImageOpen(TDisplayImage& display, void* handle, void* device);

// Records a new image. False when the format is not one of the five the component asks for.
bool ImageSize(TDisplayImage& display, int width, int height, int raster, unsigned format,
               const unsigned char* image);

// A deep copy of the current image, top row first, stepping rows by the reported raster.
// A null image when there is no image or the format is unknown. `reuse`, when it has the
// right size and format and is not shared, receives the pixels instead of a new image.
QImage ImageToBitmap(const TDisplayImage& display, QImage reuse = {});

} // namespace vellora
