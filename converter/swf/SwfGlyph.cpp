#include "SwfGlyph.h"

#include "SwfWinding.h"

#include <algorithm>
#include <cmath>

namespace vellora::swf {

namespace {

constexpr double kCurveShare = 0.45;
constexpr double kLineShare = 0.15;
constexpr double kRoundingShare = 0.40;
constexpr int kFewestUnitsPerEm = 16;

double bulge(Point from, Point control, Point to)
{
    const double chordX = to.x - from.x, chordY = to.y - from.y;
    const double length = std::hypot(chordX, chordY);
    const double offX = control.x - from.x, offY = control.y - from.y;
    return length > 0 ? std::abs(offX * chordY - offY * chordX) / length : std::hypot(offX, offY);
}

} // namespace

GlyphPrecision glyphPrecision(double largestEmPoints)
{
    GlyphPrecision precision;
    if (!(largestEmPoints > 0) || !std::isfinite(largestEmPoints))
        largestEmPoints = kGlyphTolerancePoints * kFont3UnitsPerEm;
    // A unit whose half diagonal fits the rounding share of the budget.
    const double unitPoints = kRoundingShare * kGlyphTolerancePoints / (std::sqrt(2.0) / 2);
    const double units = std::ceil(largestEmPoints / unitPoints - 1e-9);
    precision.unitsPerEm = static_cast<int>(std::clamp(
        units, static_cast<double>(kFewestUnitsPerEm), static_cast<double>(kFont3UnitsPerEm)));
    const double unitsPerPoint = precision.unitsPerEm / largestEmPoints;
    precision.curveTolerance = kCurveShare * kGlyphTolerancePoints * unitsPerPoint;
    precision.lineTolerance = kLineShare * kGlyphTolerancePoints * unitsPerPoint;
    return precision;
}

ShapeEdges glyphShape(const Path& emOutline, const GlyphPrecision& precision)
{
    const double scale = precision.unitsPerEm;
    Path scaled;
    const auto inUnits = [scale](Point p) {
        return Point{p.x * scale, p.y * scale};
    };
    for (const PathStep& step : emOutline.steps()) {
        switch (step.kind) {
        case PathStep::Kind::Move:
            scaled.moveTo(inUnits(step.end));
            break;
        case PathStep::Kind::Line:
            scaled.lineTo(inUnits(step.end));
            break;
        case PathStep::Kind::Quad:
            scaled.quadTo(inUnits(step.control1), inUnits(step.end));
            break;
        case PathStep::Kind::Cubic:
            scaled.cubicTo(inUnits(step.control1), inUnits(step.control2), inUnits(step.end));
            break;
        }
    }
    // A quadratic curve strays from its chord by half its control point's distance.
    Path straightened;
    Point pen;
    const Path quadratic = withQuadratics(scaled, precision.curveTolerance);
    for (const PathStep& step : quadratic.steps()) {
        if (step.kind == PathStep::Kind::Quad &&
            bulge(pen, step.control1, step.end) / 2 <= precision.lineTolerance)
            straightened.lineTo(step.end);
        else if (step.kind == PathStep::Kind::Quad)
            straightened.quadTo(step.control1, step.end);
        else if (step.kind == PathStep::Kind::Move)
            straightened.moveTo(step.end);
        else
            straightened.lineTo(step.end);
        pen = step.end;
    }
    return nonZeroEdges(straightened, 1);
}

std::uint16_t glyphHeight(double emTwips, int unitsPerEm)
{
    const double height = emTwips * kFont3UnitsPerEm / std::max(1, unitsPerEm);
    return static_cast<std::uint16_t>(std::clamp(std::round(height), 1.0, 65535.0));
}

double emOfHeight(std::uint16_t height, int unitsPerEm)
{
    return static_cast<double>(height) * unitsPerEm / kFont3UnitsPerEm;
}

} // namespace vellora::swf
