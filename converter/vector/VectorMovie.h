#pragma once

// Page movies in vector form, from a page's drawing.

#include "PageDrawing.h"

#include <set>

namespace vellora::converter::vector {

enum class VectorForm
{
    TextOverImage, // the page without its text as one image, the text as glyphs above it
    Vector         // outlines, text and images, each with its clip
};

// Images are stored at up to this many dots per inch of their size on the page: sharp
// enough at the viewer's zoom levels, and a photograph scanned at 600 dpi does not weigh
// four times as much in every movie.
inline constexpr double kImageDotsPerInch = 150;

// `background` (TextOverImage only): the page drawn without its vector text, stretched over
// the stage; the glyphs of `covered` are drawn in it and left out of the text. The image
// items numbered in `lifted` (TextOverImage only) are placed above it, in their order among
// the text. Images are stored as JPEG at `jpegQuality`.
swf::Bytes vectorMovie(const PageDrawing& drawing, VectorForm form, const PageSize& size,
                       const std::vector<std::uint8_t>& backgroundJpeg, int backgroundWidth,
                       int backgroundHeight, int jpegQuality,
                       const std::set<GlyphKey>& covered = {},
                       const std::set<std::size_t>& lifted = {});

} // namespace vellora::converter::vector
