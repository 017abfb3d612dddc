#pragma once

// Filling by the non-zero winding rule in a format that has no fill rule.
//
// An SWF shape does not say how its outline is filled: each edge names the fill on its
// left (fill style 0) and on its right (fill style 1), and players differ in what they
// make of edges that cross or overlap (Ruffle fills each style's edges even-odd). Where a
// PDF fills overlapping subpaths, or a glyph has overlapping contours, by the non-zero
// rule, the only outline every player reads alike is the boundary of the filled area
// itself: subpaths cut where they cross, the pieces with the fill on both sides or on
// neither dropped, each kept piece turned so that the fill is on its left.

#include "SwfPath.h"
#include "SwfVector.h"

namespace vellora::swf {

// Past this many edges a path is written as it stands: the cost grows faster than the
// edges, and paths that large are maps and charts, which rarely overlap themselves.
inline constexpr std::size_t kMostWindingEdges = 20000;

// The boundary of what `path` (lines and quadratic curves; cubic curves are first made
// quadratic within a quarter unit) covers under the non-zero rule, at whole units. Every
// edge has `fillStyle` as fill style 0, on its left as one travels along it on a y-down
// page, and no fill on its right; edges are chained into as few runs as they allow.
ShapeEdges nonZeroEdges(const Path& path, int fillStyle);

// `path` as it stands, at whole units, every subpath closed, each edge with `fillStyle` as
// fill style 0: what an even-odd fill needs.
ShapeEdges plainEdges(const Path& path, int fillStyle);

} // namespace vellora::swf
