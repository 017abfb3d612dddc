#pragma once

// The vector forms of a page movie for the medium and high presets, and the page's SVG.

#include "ConverterOptions.h"
#include "PdfPages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellora::converter::vector {

// Past these, a page's vector form would outweigh its image form many times over (a page
// image at the viewer's 1600 pixels weighs 150 to 400 KB) and players slow down drawing
// it: the page stays an image. See the choice in VectorPage.cpp.
inline constexpr std::size_t kMaxShapeItems = 6000;
inline constexpr std::size_t kMaxShapeEdges = 200000;
inline constexpr std::size_t kMaxTextGlyphs = 40000;
inline constexpr std::size_t kMaxMovieBytes = 1536 * 1024;
inline constexpr std::size_t kMaxSvgBytes = 4 * 1024 * 1024;
// The pixels that images placed above the background of vector text over an image may hold
// together: a drawing or a logo, not a photograph that would weigh more than the page.
inline constexpr double kLiftedImagePixels = 120000;
// A page whose images cover this share of it and that has no text is a scan.
inline constexpr double kScannedCoverage = 0.6;

// The files of a page in vector form. `svg` is empty when the page's SVG would be too
// large to be worth writing.
struct VectorPageFiles
{
    std::vector<std::uint8_t> movie;
    std::vector<std::uint8_t> svg;
};

// The page's movie and SVG in the vector form the preset asks for, or nothing, after a
// line on standard error, when the page keeps the image form. `backgroundScale` is the
// movie image's pixels per point.
std::optional<VectorPageFiles> vectorPage(const PdfPages::Page& page, int pageNumber,
                                          const ConverterOptions& options, double backgroundScale);

} // namespace vellora::converter::vector
