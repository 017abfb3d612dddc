#include "PaintOrder.h"

#include <algorithm>
#include <cmath>

namespace vellora::converter::vector {

namespace {

// Paint at a place in the drawing order: it covers text items that come before `order`.
struct Paint
{
    std::size_t order;
    Box area;
};

Box outlineArea(const Outline& outline, double grow)
{
    Box box;
    for (const Edge& edge : outline) {
        box.include(edge.x, edge.y);
        if (edge.kind == Edge::Kind::Curve)
            box.include(edge.controlX, edge.controlY);
    }
    if (box.empty())
        return box;
    const double twips = swf::kTwipsPerPoint;
    return {box.x0 / twips - grow, box.y0 / twips - grow, box.x1 / twips + grow,
            box.y1 / twips + grow};
}

Box itemArea(const Item& item)
{
    switch (item.kind) {
    case Item::Kind::Fill:
        return outlineArea(item.outline, 0);
    case Item::Kind::Stroke: {
        // Joins may reach past half the width: a miter up to its limit, held to 4 widths.
        const double width = item.line.width / static_cast<double>(swf::kTwipsPerPoint);
        const double reach =
            item.line.join == swf::LineJoin::Miter ? std::min(item.line.miterLimit, 4.0) : 1;
        return outlineArea(item.outline, width * reach);
    }
    case Item::Kind::Image: {
        const double* m = item.matrix;
        Box box;
        for (const auto& [u, v] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}})
            box.include(m[0] * u + m[2] * v + m[4], m[1] * u + m[3] * v + m[5]);
        return box;
    }
    default:
        return {};
    }
}

Box intersection(const Box& a, const Box& b)
{
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

// Everything painted, each area held to the clips it is drawn in (a shading fills all of
// its clip, whatever its own bounds say). A clip with no outline of its own clips nothing.
std::vector<Paint> paintOf(const PageDrawing& drawing)
{
    constexpr double kFar = 1e9;
    std::vector<Box> clips{{-kFar, -kFar, kFar, kFar}};
    std::vector<Paint> paint;
    std::size_t other = 0;
    const auto addOther = [&](std::size_t position) {
        for (; other < drawing.otherPaint.size() && drawing.otherPaint[other].after <= position;
             ++other) {
            const Box area = intersection(drawing.otherPaint[other].area, clips.back());
            if (!area.empty())
                paint.push_back({drawing.otherPaint[other].after, area});
        }
    };
    for (std::size_t i = 0; i < drawing.items.size(); ++i) {
        addOther(i);
        const Item& item = drawing.items[i];
        if (item.kind == Item::Kind::ClipBegin) {
            const Box area = item.outline.empty() ? clips.back() : outlineArea(item.outline, 0);
            clips.push_back(intersection(area, clips.back()));
        } else if (item.kind == Item::Kind::ClipEnd) {
            if (clips.size() > 1)
                clips.pop_back();
        } else {
            const Box area = intersection(itemArea(item), clips.back());
            if (!area.empty())
                paint.push_back({i, area});
        }
    }
    addOther(drawing.items.size());
    return paint;
}

Box textArea(const PageDrawing& drawing, const TextRun& run)
{
    Box box;
    const Font& font = drawing.fonts.at(static_cast<std::size_t>(run.font));
    for (const PlacedGlyph& glyph : run.glyphs) {
        const Box area =
            glyphArea(run, glyph, font.bounds.at(static_cast<std::size_t>(glyph.slot)));
        if (!area.empty()) {
            box.include(area.x0, area.y0);
            box.include(area.x1, area.y1);
        }
    }
    return box;
}

} // namespace

Box glyphArea(const TextRun& run, const PlacedGlyph& glyph, const Box& emBounds)
{
    Box box;
    if (emBounds.empty())
        return box;
    // The bounds are y downwards; the run's matrix takes ems with y upwards.
    for (double u : {emBounds.x0, emBounds.x1}) {
        for (double v : {-emBounds.y0, -emBounds.y1})
            box.include(glyph.x + run.a * u + run.c * v, glyph.y + run.b * u + run.d * v);
    }
    return box;
}

std::set<GlyphKey> coveredGlyphs(const PageDrawing& drawing)
{
    const std::vector<Paint> paint = paintOf(drawing);
    std::set<GlyphKey> covered;
    for (std::size_t i = 0; i < drawing.items.size(); ++i) {
        const Item& item = drawing.items[i];
        if (item.kind != Item::Kind::Text)
            continue;
        const Box whole = textArea(drawing, item.text);
        std::vector<Box> over;
        const auto later =
            std::upper_bound(paint.begin(), paint.end(), i,
                             [](std::size_t at, const Paint& p) { return at < p.order; });
        for (auto p = later; p != paint.end(); ++p) {
            if (p->area.meets(whole))
                over.push_back(p->area);
        }
        if (over.empty())
            continue;
        const Font& font = drawing.fonts.at(static_cast<std::size_t>(item.text.font));
        for (const PlacedGlyph& glyph : item.text.glyphs) {
            const Box area =
                glyphArea(item.text, glyph, font.bounds.at(static_cast<std::size_t>(glyph.slot)));
            if (std::any_of(over.begin(), over.end(),
                            [&](const Box& other) { return other.meets(area); })) {
                covered.insert({item.text.source, glyph.index});
            }
        }
    }
    return covered;
}

} // namespace vellora::converter::vector
