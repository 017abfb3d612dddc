#pragma once

// Text that later paint covers. In the form that draws vector text over an image of the
// rest of the page, a glyph that a later fill, stroke, image or shading hides in the PDF
// would show through: such glyphs are drawn into the image instead, in their place in the
// paint order.

#include "PageDrawing.h"

#include <cstddef>
#include <optional>
#include <set>

namespace vellora::converter::vector {

// How many edge tests the coverage of one page may take: a text page of 4 000 glyphs under
// a few hundred edges of later paint needs about a million, a dense chart drawn over its
// labels a hundred times more, a second or more of work that the image form does not need.
inline constexpr std::size_t kMaxCoverageTests = 20'000'000;

// Where a glyph placed by `run` inks the page, from its outline's bounds in ems.
Box glyphArea(const TextRun& run, const PlacedGlyph& glyph, const Box& emBounds);

// The glyphs of vector text that anything but text painted after them overlaps, even in
// part. Fills cover where their outline, under its fill rule, encloses some of the glyph's
// box (the hole of a ring covers nothing); strokes where their segments reach, widened by
// half the line width and by miter joins; images and shadings their bounds. Each, and each
// glyph, is held to the bounds of its clips; a glyph its clips hide whole counts as covered. Text
// over text is left as it is: glyphs of one line touch their neighbours' bounds, and the few whose
// ink would cross stay in their order within the vector text. Nothing when the page needs more than
// kMaxCoverageTests.
std::optional<std::set<GlyphKey>> coveredGlyphs(const PageDrawing& drawing);

// Images that the form drawing text over an image of the page can place above that image
// as bitmaps of their own, sharper than the page image: opaque images that no clip cuts
// (each clip they are drawn in is an upright rectangle around them) and that nothing left
// in the page image paints over afterwards (fills, strokes, other images, other paint, the
// glyphs of `covered`). Taken from the last drawn while the pixels their bitmaps hold, at
// `dotsPerInch` of their size on the page or their own resolution if lower, stay within
// `pixelBudget`. None on a page with soft masks or transparency groups, whose images may
// blend with what lies below them. By their place in `drawing.items`.
std::set<std::size_t> liftedImages(const PageDrawing& drawing, const std::set<GlyphKey>& covered,
                                   double dotsPerInch, double pixelBudget);

} // namespace vellora::converter::vector
