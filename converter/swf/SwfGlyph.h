#pragma once

// Glyph outlines for DefineFont3 at the precision the page needs and no more.
//
// DefineFont3 draws a glyph in an em square of 20 480 units, and text records give it a
// height: a glyph stored in an em of fewer units is simply given a taller height. Most of
// a font's bytes are the bits of its edges' deltas, and the number of its edges: fewer
// units per em and no more curve pieces than the eye can tell apart make fonts several
// times smaller than outlines kept at full precision.
//
// The budget is a quarter pixel at four times the page's 72-dpi size: 1/16 of a point on
// the page, for the largest size a font is drawn at there. Of it, cubic curves made
// quadratic take at most 45 %, curves drawn straight 15 %, and rounding to whole units 40 %
// (a rounded point moves at most half a unit's diagonal, and a curve never strays further
// than its points).

#include "SwfPath.h"
#include "SwfVector.h"

namespace vellora::swf {

// In points of the page.
inline constexpr double kGlyphTolerancePoints = 1.0 / 16;

// The em square of DefineFont3, in its units.
inline constexpr int kFont3UnitsPerEm = 20480;

struct GlyphPrecision
{
    int unitsPerEm = kFont3UnitsPerEm;
    double curveTolerance = 0; // in units: cubic to quadratic
    double lineTolerance = 0;  // in units: how far a curve drawn straight may move
};

// The precision for a font whose largest em on the page measures `largestEmPoints` (its
// longest side, for a font drawn stretched or turned). At most the full 20 480 units.
GlyphPrecision glyphPrecision(double largestEmPoints);

// A glyph's outline, given in ems (y downwards, origin on the baseline), at `precision`:
// its area under the non-zero rule, as fonts fill, with fill style 1 on the left of every
// edge as fill style 0, as DefineFont3 asks.
ShapeEdges glyphShape(const Path& emOutline, const GlyphPrecision& precision);

// The height a text record gives a glyph stored at `unitsPerEm` so that its em measures
// `emTwips` twips of text space, and the em that height actually gives (heights are whole
// numbers): at most 65 535.
std::uint16_t glyphHeight(double emTwips, int unitsPerEm);
double emOfHeight(std::uint16_t height, int unitsPerEm);

} // namespace vellora::swf
