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

// `background` (TextOverImage only): the page drawn without its vector text, stretched over
// the stage; the glyphs of `covered` are drawn in it and left out of the text. Images of
// the Vector form are stored as JPEG at `jpegQuality`.
swf::Bytes vectorMovie(const PageDrawing& drawing, VectorForm form, const PageSize& size,
                       const std::vector<std::uint8_t>& backgroundJpeg, int backgroundWidth,
                       int backgroundHeight, int jpegQuality,
                       const std::set<GlyphKey>& covered = {});

} // namespace vellora::converter::vector
