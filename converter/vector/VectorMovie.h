#pragma once

// Page movies in vector form, from a page's drawing.

#include "PageDrawing.h"

namespace vellora::converter::vector {

enum class VectorForm
{
    TextOverImage, // the page without its text as one image, the text as glyphs above it
    Vector         // outlines, text and images, each with its clip
};

// `background` (TextOverImage only): the page drawn without its vector text, stretched over
// the stage. Images of the Vector form are stored as JPEG at `jpegQuality`.
swf::Bytes vectorMovie(const PageDrawing& drawing, VectorForm form, const PageSize& size,
                       const std::vector<std::uint8_t>& backgroundJpeg, int backgroundWidth,
                       int backgroundHeight, int jpegQuality);

} // namespace vellora::converter::vector
