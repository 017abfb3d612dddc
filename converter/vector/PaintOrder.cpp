#include "PaintOrder.h"

#include <algorithm>
#include <cmath>

namespace vellora::converter::vector {

namespace {

struct Point
{
    double x = 0, y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Segment
{
    Point from, to;
};

// Paint at a place in the drawing order: it covers text items that come before `order`
// where it meets `area` (the bounds of its ink held to those of its clips) and, for fills
// and strokes, where their own shape reaches.
struct Paint
{
    enum class Kind : std::uint8_t
    {
        Area,
        Fill,
        Stroke
    };
    std::size_t order = 0;
    Box area;
    Kind kind = Kind::Area;
    bool nonZero = true;
    std::vector<Segment> edges; // Fill: its outline as closed polygons
    std::vector<Box> reach;     // Stroke: what each segment and each miter join may ink
    bool image = false;         // an image item's
};

constexpr double kPointsPerTwip = 1.0 / swf::kTwipsPerPoint;
// Curves are followed by chords that stray at most this far from them, in points.
constexpr double kFlatness = 0.1;

Point pointOf(swf::Twips x, swf::Twips y)
{
    return {x * kPointsPerTwip, y * kPointsPerTwip};
}

Box intersection(const Box& a, const Box& b)
{
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

Box around(const Point& p, double grow)
{
    return {p.x - grow, p.y - grow, p.x + grow, p.y + grow};
}

Box bounds(const std::vector<Box>& boxes)
{
    Box all;
    for (const Box& box : boxes) {
        all.include(box.x0, box.y0);
        all.include(box.x1, box.y1);
    }
    return all;
}

// The outline's subpaths as polylines in points, curves followed by chords.
std::vector<std::vector<Point>> polylines(const Outline& outline)
{
    std::vector<std::vector<Point>> lines;
    for (const Edge& edge : outline) {
        const Point to = pointOf(edge.x, edge.y);
        if (edge.kind == Edge::Kind::Move || lines.empty()) {
            lines.push_back({to});
            continue;
        }
        std::vector<Point>& line = lines.back();
        if (edge.kind == Edge::Kind::Line) {
            line.push_back(to);
            continue;
        }
        // A quadratic curve strays from its chord by a quarter of |from - 2 control + to|,
        // and from n chords by 1/n² of that.
        const Point from = line.back(), control = pointOf(edge.controlX, edge.controlY);
        const double bend =
            std::hypot(from.x - 2 * control.x + to.x, from.y - 2 * control.y + to.y) / 4;
        const int pieces =
            std::clamp(static_cast<int>(std::ceil(std::sqrt(bend / kFlatness))), 1, 16);
        for (int i = 1; i <= pieces; ++i) {
            const double t = static_cast<double>(i) / pieces, u = 1 - t;
            line.push_back({u * u * from.x + 2 * u * t * control.x + t * t * to.x,
                            u * u * from.y + 2 * u * t * control.y + t * t * to.y});
        }
    }
    return lines;
}

// A fill closes every subpath.
Paint fillPaint(const Item& item)
{
    Paint paint;
    paint.kind = Paint::Kind::Fill;
    paint.nonZero = item.nonZero;
    for (const std::vector<Point>& line : polylines(item.outline)) {
        for (std::size_t k = 0; k < line.size(); ++k) {
            const Point& from = line[k];
            const Point& to = line[(k + 1) % line.size()];
            paint.area.include(from.x, from.y);
            if (!(from == to))
                paint.edges.push_back({from, to});
        }
    }
    return paint;
}

// How far a miter join at `at` reaches from it: the tip lies half the width over the sine
// of half the angle between the segments away, or the join is cut (beveled) beyond the limit.
double miterReach(const Point& before, const Point& at, const Point& after, double half,
                  double limit)
{
    const double inX = at.x - before.x, inY = at.y - before.y;
    const double outX = after.x - at.x, outY = after.y - at.y;
    const double lengths = std::hypot(inX, inY) * std::hypot(outX, outY);
    if (lengths <= 0)
        return half;
    const double cosine = (inX * outX + inY * outY) / lengths;
    const double sineOfHalf = std::sqrt(std::max(0.0, (1 + cosine) / 2));
    if (sineOfHalf <= 0 || 1 / sineOfHalf > limit)
        return half;
    return half / sineOfHalf;
}

Paint strokePaint(const Item& item)
{
    Paint paint;
    paint.kind = Paint::Kind::Stroke;
    const double half = item.line.width * kPointsPerTwip / 2;
    // A square cap reaches past a segment's end by half the width, along it and across.
    const double side = item.line.cap == swf::LineCap::Square ? half * std::sqrt(2.0) : half;
    for (const std::vector<Point>& line : polylines(item.outline)) {
        for (std::size_t k = 1; k < line.size(); ++k) {
            Box box;
            box.include(line[k - 1].x, line[k - 1].y);
            box.include(line[k].x, line[k].y);
            paint.reach.push_back({box.x0 - side, box.y0 - side, box.x1 + side, box.y1 + side});
        }
        if (item.line.join != swf::LineJoin::Miter || line.size() < 3)
            continue;
        const bool closed = line.front() == line.back();
        for (std::size_t k = closed ? 0 : 1; k + 1 < line.size(); ++k) {
            const Point& before = k == 0 ? line[line.size() - 2] : line[k - 1];
            const double reach =
                miterReach(before, line[k], line[k + 1], half, item.line.miterLimit);
            if (reach > side)
                paint.reach.push_back(around(line[k], reach));
        }
    }
    paint.area = bounds(paint.reach);
    return paint;
}

Paint imagePaint(const Item& item)
{
    const double* m = item.matrix;
    Paint paint;
    paint.image = true;
    for (const auto& [u, v] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}})
        paint.area.include(m[0] * u + m[2] * v + m[4], m[1] * u + m[3] * v + m[5]);
    return paint;
}

Box outlineBounds(const Outline& outline)
{
    Box box;
    for (const Edge& edge : outline) {
        box.include(edge.x * kPointsPerTwip, edge.y * kPointsPerTwip);
        if (edge.kind == Edge::Kind::Curve)
            box.include(edge.controlX * kPointsPerTwip, edge.controlY * kPointsPerTwip);
    }
    return box;
}

// Everything painted, in drawing order, each area held to the bounds of the clips it is
// drawn in (a shading fills all of its clip, whatever its own bounds say). A clip with no
// outline of its own clips nothing. Paint with no ink (fully transparent) covers nothing.
std::vector<Paint> paintOf(const PageDrawing& drawing)
{
    constexpr double kFar = 1e9;
    std::vector<Box> clips{{-kFar, -kFar, kFar, kFar}};
    std::vector<Paint> paint;
    const auto add = [&](Paint&& next, std::size_t order) {
        next.order = order;
        next.area = intersection(next.area, clips.back());
        if (!next.area.empty())
            paint.push_back(std::move(next));
    };
    std::size_t other = 0;
    const auto addOther = [&](std::size_t position) {
        for (; other < drawing.otherPaint.size() && drawing.otherPaint[other].after <= position;
             ++other) {
            Paint area;
            area.area = drawing.otherPaint[other].area;
            add(std::move(area), drawing.otherPaint[other].after);
        }
    };
    for (std::size_t i = 0; i < drawing.items.size(); ++i) {
        addOther(i);
        const Item& item = drawing.items[i];
        switch (item.kind) {
        case Item::Kind::ClipBegin:
            clips.push_back(item.outline.empty()
                                ? clips.back()
                                : intersection(outlineBounds(item.outline), clips.back()));
            break;
        case Item::Kind::ClipEnd:
            if (clips.size() > 1)
                clips.pop_back();
            break;
        case Item::Kind::Fill:
            if (item.color.alpha > 0)
                add(fillPaint(item), i);
            break;
        case Item::Kind::Stroke:
            if (item.line.color.alpha > 0)
                add(strokePaint(item), i);
            break;
        case Item::Kind::Image:
            add(imagePaint(item), i);
            break;
        case Item::Kind::Text:
            break;
        }
    }
    addOther(drawing.items.size());
    return paint;
}

// Whether the segment meets the box: their bounds meet, and the box's corners do not all
// lie strictly on one side of the segment's line.
bool crosses(const Segment& segment, const Box& box)
{
    const auto [left, right] = std::minmax(segment.from.x, segment.to.x);
    const auto [top, bottom] = std::minmax(segment.from.y, segment.to.y);
    if (right < box.x0 || left > box.x1 || bottom < box.y0 || top > box.y1)
        return false;
    const double dx = segment.to.x - segment.from.x, dy = segment.to.y - segment.from.y;
    bool before = false, beyond = false;
    for (const double x : {box.x0, box.x1}) {
        for (const double y : {box.y0, box.y1}) {
            const double side = dx * (y - segment.from.y) - dy * (x - segment.from.x);
            before = before || side <= 0;
            beyond = beyond || side >= 0;
        }
    }
    return before && beyond;
}

// How many times the edges wind around the point (each turn counted with its direction).
int winding(const std::vector<Segment>& edges, double x, double y)
{
    int turns = 0;
    for (const Segment& edge : edges) {
        const double side = (edge.to.x - edge.from.x) * (y - edge.from.y) -
                            (x - edge.from.x) * (edge.to.y - edge.from.y);
        if (edge.from.y <= y && edge.to.y > y && side > 0)
            ++turns;
        else if (edge.from.y > y && edge.to.y <= y && side < 0)
            --turns;
    }
    return turns;
}

// Whether the paint inks some of `box` (already held to the paint's area). A box that no
// edge of a fill crosses lies wholly inside or wholly outside it: its centre tells which.
bool inks(const Paint& paint, const Box& box, std::size_t& tests)
{
    switch (paint.kind) {
    case Paint::Kind::Area:
        return true;
    case Paint::Kind::Stroke:
        tests += paint.reach.size();
        return std::any_of(paint.reach.begin(), paint.reach.end(),
                           [&](const Box& reach) { return reach.meets(box); });
    case Paint::Kind::Fill: {
        tests += paint.edges.size();
        if (std::any_of(paint.edges.begin(), paint.edges.end(),
                        [&](const Segment& edge) { return crosses(edge, box); }))
            return true;
        const int turns = winding(paint.edges, (box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2);
        return paint.nonZero ? turns != 0 : turns % 2 != 0;
    }
    }
    return true;
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

std::optional<std::set<GlyphKey>> coveredGlyphs(const PageDrawing& drawing)
{
    const std::vector<Paint> paint = paintOf(drawing);
    std::set<GlyphKey> covered;
    std::size_t tests = 0;
    // The bounds of the clips each text is drawn in, a twip inside their edges: a glyph that
    // its clip cuts where later paint begins does not meet that paint.
    constexpr double kFar = 1e9;
    std::vector<Box> clips{{-kFar, -kFar, kFar, kFar}};
    for (std::size_t i = 0; i < drawing.items.size(); ++i) {
        const Item& item = drawing.items[i];
        if (item.kind == Item::Kind::ClipBegin) {
            const Box box = outlineBounds(item.outline);
            const Box inside{box.x0 + kPointsPerTwip, box.y0 + kPointsPerTwip,
                             box.x1 - kPointsPerTwip, box.y1 - kPointsPerTwip};
            clips.push_back(item.outline.empty() ? clips.back()
                                                 : intersection(inside, clips.back()));
        } else if (item.kind == Item::Kind::ClipEnd && clips.size() > 1) {
            clips.pop_back();
        }
        if (item.kind != Item::Kind::Text)
            continue;
        const Font& font = drawing.fonts.at(static_cast<std::size_t>(item.text.font));
        // Each glyph's box within its clips. A glyph its clips hide whole goes to the
        // background too, which hides it as well.
        std::vector<Box> areas;
        areas.reserve(item.text.glyphs.size());
        for (const PlacedGlyph& glyph : item.text.glyphs) {
            const Box area =
                glyphArea(item.text, glyph, font.bounds.at(static_cast<std::size_t>(glyph.slot)));
            areas.push_back(intersection(area, clips.back()));
            if (!area.empty() && areas.back().empty())
                covered.insert({item.text.source, glyph.index});
        }
        const Box whole = intersection(textArea(drawing, item.text), clips.back());
        std::vector<const Paint*> over;
        const auto later =
            std::upper_bound(paint.begin(), paint.end(), i,
                             [](std::size_t at, const Paint& p) { return at < p.order; });
        for (auto p = later; p != paint.end(); ++p) {
            if (p->area.meets(whole))
                over.push_back(&*p);
        }
        if (over.empty())
            continue;
        for (std::size_t k = 0; k < item.text.glyphs.size(); ++k) {
            const Box& area = areas[k];
            const bool hidden = std::any_of(over.begin(), over.end(), [&](const Paint* p) {
                return p->area.meets(area) && inks(*p, intersection(area, p->area), tests);
            });
            if (tests > kMaxCoverageTests)
                return std::nullopt;
            if (hidden)
                covered.insert({item.text.source, item.text.glyphs[k].index});
        }
    }
    return covered;
}

namespace {

// Whether the clip's outline is an upright rectangle holding `area`.
bool rectangleAround(const Outline& outline, const Box& area)
{
    if (outline.size() < 4 || outline.size() > 6 || outline.front().kind != Edge::Kind::Move)
        return false;
    for (std::size_t k = 1; k < outline.size(); ++k) {
        const Edge& edge = outline[k];
        const Edge& before = outline[k - 1];
        if (edge.kind != Edge::Kind::Line || (edge.x != before.x && edge.y != before.y))
            return false;
    }
    const Box box = outlineBounds(outline);
    constexpr double kSlack = 0.5; // points
    return box.x0 <= area.x0 + kSlack && box.y0 <= area.y0 + kSlack && box.x1 >= area.x1 - kSlack &&
           box.y1 >= area.y1 - kSlack;
}

// The pixels the movie stores for an image: its own, or fewer at `dotsPerInch` of its size.
double storedPixels(const Item& item, double dotsPerInch)
{
    const double* m = item.matrix;
    const double longSide = std::max(std::hypot(m[0], m[1]), std::hypot(m[2], m[3]));
    const double side = std::max(16.0, std::ceil(longSide * dotsPerInch / 72));
    return std::min<double>(item.imageWidth, side) * std::min<double>(item.imageHeight, side);
}

} // namespace

std::set<std::size_t> liftedImages(const PageDrawing& drawing, const std::set<GlyphKey>& covered,
                                   double dotsPerInch, double pixelBudget)
{
    std::set<std::size_t> lifted;
    if (drawing.seeThrough)
        return lifted;
    // Images that no clip cuts, with their areas.
    std::vector<std::pair<std::size_t, Box>> candidates;
    std::vector<const Item*> clips;
    for (std::size_t i = 0; i < drawing.items.size(); ++i) {
        const Item& item = drawing.items[i];
        if (item.kind == Item::Kind::ClipBegin) {
            clips.push_back(&item);
        } else if (item.kind == Item::Kind::ClipEnd) {
            if (!clips.empty())
                clips.pop_back();
        } else if (item.kind == Item::Kind::Image && !item.transparent) {
            const Box area = imagePaint(item).area;
            if (std::all_of(clips.begin(), clips.end(),
                            [&](const Item* clip) { return rectangleAround(clip->outline, area); }))
                candidates.emplace_back(i, area);
        }
    }
    const std::vector<Paint> paint = paintOf(drawing);
    double pixels = 0;
    for (auto candidate = candidates.rbegin(); candidate != candidates.rend(); ++candidate) {
        const auto& [index, area] = *candidate;
        const double own = storedPixels(drawing.items[index], dotsPerInch);
        if (pixels + own > pixelBudget)
            continue;
        const bool paintedOver = std::any_of(paint.begin(), paint.end(), [&](const Paint& p) {
            return p.order > index && p.area.meets(area) && !(p.image && lifted.count(p.order));
        });
        if (paintedOver)
            continue;
        bool glyphOver = false;
        for (std::size_t t = index + 1; t < drawing.items.size() && !glyphOver; ++t) {
            const Item& item = drawing.items[t];
            if (item.kind != Item::Kind::Text)
                continue;
            const Font& font = drawing.fonts.at(static_cast<std::size_t>(item.text.font));
            for (const PlacedGlyph& glyph : item.text.glyphs) {
                if (covered.count({item.text.source, glyph.index}) &&
                    glyphArea(item.text, glyph,
                              font.bounds.at(static_cast<std::size_t>(glyph.slot)))
                        .meets(area)) {
                    glyphOver = true;
                    break;
                }
            }
        }
        if (glyphOver)
            continue;
        lifted.insert(index);
        pixels += own;
    }
    return lifted;
}

} // namespace vellora::converter::vector
