#pragma once

// Text that later paint covers. In the form that draws vector text over an image of the
// rest of the page, a glyph that a later box, image or shading hides in the PDF would show
// through: such glyphs are drawn into the image instead, in their place in the paint order.

#include "PageDrawing.h"

#include <set>

namespace vellora::converter::vector {

// Where a glyph placed by `run` inks the page, from its outline's bounds in ems.
Box glyphArea(const TextRun& run, const PlacedGlyph& glyph, const Box& emBounds);

// The glyphs of vector text that anything but text painted after them overlaps. Text over
// text is left as it is: glyphs of one line touch their neighbours' bounds, and the few
// whose ink would cross stay in their order within the vector text.
std::set<GlyphKey> coveredGlyphs(const PageDrawing& drawing);

} // namespace vellora::converter::vector
