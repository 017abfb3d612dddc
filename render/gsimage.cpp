#include "gsimage.h"

#include "gsapi.h"

#include <QList>
#include <cstring>

namespace vellora {

namespace {

constexpr unsigned kColourMask = DISPLAY_COLORS_MASK;
constexpr unsigned kDepthMask = DISPLAY_DEPTH_MASK;

bool isBottomFirst(unsigned format)
{
    return (format & DISPLAY_FIRSTROW_MASK) != 0;
}

// The 96 colours of the device's 8-bit native format: 64 colours with two bits per component,
// then 32 greys.
QList<QRgb> palette96()
{
    QList<QRgb> table;
    table.reserve(96);
    for (int i = 0; i < 64; ++i)
        table.append(qRgb(((i >> 4) & 3) * 85, ((i >> 2) & 3) * 85, (i & 3) * 85));
    for (int i = 0; i < 32; ++i) {
        const int grey = i * 255 / 31;
        table.append(qRgb(grey, grey, grey));
    }
    return table;
}

// The 16 colours of the device's 4-bit native format: blue, green and red bits, and a bit
// that makes them bright.
QList<QRgb> palette16()
{
    QList<QRgb> table;
    table.reserve(16);
    for (int i = 0; i < 16; ++i) {
        const int on = (i & 8) ? 255 : 128;
        table.append(qRgb((i & 4) ? on : 0, (i & 2) ? on : 0, (i & 1) ? on : 0));
    }
    // Index 7 is light grey and index 8 dark grey, as on every 16-colour display.
    table[7] = qRgb(192, 192, 192);
    table[8] = qRgb(128, 128, 128);
    return table;
}

int bytesPerRow(const TDisplayImage& display)
{
    return (display.width * display.bitsPerPixel + 7) / 8;
}

const unsigned char* sourceRow(const TDisplayImage& display, int y)
{
    const int row = isBottomFirst(display.format) ? display.height - 1 - y : y;
    return display.image + static_cast<qsizetype>(row) * display.raster;
}

QImage::Format imageFormat(const TDisplayImage& display)
{
    const bool littleEndian = (display.format & DISPLAY_ENDIAN_MASK) != 0;
    switch (display.bitsPerPixel) {
    case 24:
        return littleEndian ? QImage::Format_BGR888 : QImage::Format_RGB888;
    case 16:
        return (display.format & DISPLAY_555_MASK) ? QImage::Format_RGB16 : QImage::Format_RGB555;
    case 8:
    case 4:
        return QImage::Format_Indexed8;
    case 1:
        return QImage::Format_Mono;
    default:
        return QImage::Format_Invalid;
    }
}

} // namespace

unsigned DisplayFormatForDepth(int depth)
{
    if (depth == 32)
        return kFormatRgb24;
    if (depth == 16)
        return kFormatNative16;
    if (depth > 8)
        return kFormatRgb24;
    if (depth == 8)
        return kFormatNative8;
    if (depth >= 4)
        return kFormatNative4;
    return kFormatNative1;
}

void ImageOpen(TDisplayImage& display, void* handle, void* device)
{
    display = TDisplayImage{};
    display.handle = handle;
    display.device = device;
}

bool ImageSize(TDisplayImage& display, int width, int height, int raster, unsigned format,
               const unsigned char* image)
{
    display.width = width;
    display.height = height;
    display.raster = raster;
    display.format = format;
    display.image = image;
    display.bitsPerPixel = 0;
    display.colours = 0;

    const unsigned colours = format & kColourMask;
    const unsigned depth = format & kDepthMask;
    if (colours == DISPLAY_COLORS_RGB && depth == DISPLAY_DEPTH_8) {
        display.bitsPerPixel = 24;
    } else if (colours == DISPLAY_COLORS_NATIVE && depth == DISPLAY_DEPTH_16) {
        display.bitsPerPixel = 16;
    } else if (colours == DISPLAY_COLORS_NATIVE && depth == DISPLAY_DEPTH_8) {
        display.bitsPerPixel = 8;
        display.colours = 96;
    } else if (colours == DISPLAY_COLORS_NATIVE && depth == DISPLAY_DEPTH_4) {
        display.bitsPerPixel = 4;
        display.colours = 16;
    } else if (colours == DISPLAY_COLORS_NATIVE && depth == DISPLAY_DEPTH_1) {
        display.bitsPerPixel = 1;
        display.colours = 2;
    } else {
        return false;
    }
    return true;
}

QImage ImageToBitmap(const TDisplayImage& display, QImage reuse)
{
    const QImage::Format format = imageFormat(display);
    if (!display.image || display.width <= 0 || display.height <= 0 ||
        format == QImage::Format_Invalid || display.raster < bytesPerRow(display))
        return {};

    QImage bitmap = std::move(reuse);
    if (bitmap.size() != QSize(display.width, display.height) || bitmap.format() != format)
        bitmap = QImage(display.width, display.height, format);
    if (bitmap.isNull())
        return {};

    if (display.bitsPerPixel == 4) {
        // Two pixels per byte, the left one in the high half.
        bitmap.setColorTable(palette16());
        for (int y = 0; y < display.height; ++y) {
            const unsigned char* in = sourceRow(display, y);
            uchar* out = bitmap.scanLine(y);
            for (int x = 0; x < display.width; ++x)
                out[x] = (x & 1) ? (in[x / 2] & 0x0f) : (in[x / 2] >> 4);
        }
        return bitmap;
    }

    if (display.bitsPerPixel == 8)
        bitmap.setColorTable(palette96());
    else if (display.bitsPerPixel == 1)
        bitmap.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});

    const size_t rowBytes = static_cast<size_t>(bytesPerRow(display));
    for (int y = 0; y < display.height; ++y)
        std::memcpy(bitmap.scanLine(y), sourceRow(display, y), rowBytes);
    return bitmap;
}

} // namespace vellora
