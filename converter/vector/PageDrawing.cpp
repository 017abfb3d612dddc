#include "PageDrawing.h"

#include "JpegWriter.h"
#include "PageMovie.h"

extern "C" {
#include <mupdf/fitz.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace vellora::converter::vector {

namespace {

// Twips for a coordinate in points; coordinates far outside any page (the largest is
// 14 400 points a side) are held at 50 000 points, which keeps every edge to a few records.
swf::Twips twips(double points)
{
    const double value = std::round(points * swf::kTwipsPerPoint);
    return static_cast<swf::Twips>(std::clamp(value, -1.0e6, 1.0e6));
}

swf::Rgba rgba(fz_context* ctx, fz_colorspace* space, const float* color, float alpha,
               fz_color_params params)
{
    float rgb[3] = {0, 0, 0};
    if (space)
        fz_convert_color(ctx, space, color, fz_device_rgb(ctx), rgb, nullptr, params);
    const auto byte = [](float v) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
    };
    return {byte(rgb[0]), byte(rgb[1]), byte(rgb[2]), byte(alpha)};
}

// Records a MuPDF path as it stands, cubic curves included, its points taken through `ctm`.
struct MappedPath
{
    swf::Path* path;
    fz_matrix ctm;

    swf::Point map(float x, float y) const
    {
        const fz_point p = fz_transform_point_xy(x, y, ctm);
        return {p.x, p.y};
    }
};

const fz_path_walker& mappedPathWalker()
{
    static const fz_path_walker walker = [] {
        fz_path_walker w{};
        w.moveto = [](fz_context*, void* arg, float x, float y) {
            auto* m = static_cast<MappedPath*>(arg);
            m->path->moveTo(m->map(x, y));
        };
        w.lineto = [](fz_context*, void* arg, float x, float y) {
            auto* m = static_cast<MappedPath*>(arg);
            m->path->lineTo(m->map(x, y));
        };
        w.curveto = [](fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3,
                       float y3) {
            auto* m = static_cast<MappedPath*>(arg);
            m->path->cubicTo(m->map(x1, y1), m->map(x2, y2), m->map(x3, y3));
        };
        w.quadto = [](fz_context*, void* arg, float x1, float y1, float x2, float y2) {
            auto* m = static_cast<MappedPath*>(arg);
            m->path->quadTo(m->map(x1, y1), m->map(x2, y2));
        };
        w.closepath = [](fz_context*, void* arg) {
            static_cast<MappedPath*>(arg)->path->close();
        };
        return w;
    }();
    return walker;
}

// A bitmap of `image` larger than this on a side is no glyph: it stays an image.
constexpr int kLargestGlyphBitmap = 1024;
// Nor is one that takes more rectangles than this (a halftone, a noise pattern): traced, it
// would weigh more than its pixels.
constexpr int kMostGlyphRectangles = 2000;

// The painted samples of an image mask as rectangles of the unit square taken through
// `ctm`: each row's runs, a run continued by the same run on the rows below taken as one
// rectangle. All turn the same way, so the non-zero rule fills their union.
bool addMaskRectangles(fz_context* ctx, fz_image* image, fz_matrix ctm, swf::Path& path)
{
    if (image->w > kLargestGlyphBitmap || image->h > kLargestGlyphBitmap)
        return false;
    fz_pixmap* mask = fz_get_unscaled_pixmap_from_image(ctx, image);
    const int w = mask->w, h = mask->h, n = mask->n;
    const auto painted = [&](int x, int y) {
        return mask->samples[static_cast<std::ptrdiff_t>(y) * mask->stride + x * n + n - 1] >= 128;
    };
    int rectangles = 0;
    const auto rectangle = [&](int x0, int x1, int y0, int y1) {
        if (++rectangles > kMostGlyphRectangles)
            throw std::length_error("glyph bitmap too busy");
        const auto at = [&](int x, int y) {
            const fz_point p =
                fz_transform_point_xy(static_cast<float>(x) / w, static_cast<float>(y) / h, ctm);
            return swf::Point{p.x, p.y};
        };
        path.moveTo(at(x0, y0));
        path.lineTo(at(x1, y0));
        path.lineTo(at(x1, y1));
        path.lineTo(at(x0, y1));
        path.close();
    };
    bool traced = true;
    try {
        // Runs still open: their ends and the row they started on.
        std::map<std::pair<int, int>, int> open;
        for (int y = 0; y <= h; ++y) {
            std::map<std::pair<int, int>, int> next;
            for (int x = 0; y < h && x < w;) {
                if (!painted(x, y)) {
                    ++x;
                    continue;
                }
                const int start = x;
                while (x < w && painted(x, y))
                    ++x;
                const auto found = open.find({start, x});
                next[{start, x}] = found == open.end() ? y : found->second;
                if (found != open.end())
                    open.erase(found);
            }
            for (const auto& [ends, top] : open)
                rectangle(ends.first, ends.second, top, y);
            open = std::move(next);
        }
    } catch (const std::exception&) {
        traced = false;
    }
    fz_drop_pixmap(ctx, mask);
    return traced;
}

// Collects a Type 3 glyph's paint as one outline, for glyphs that are nothing but shapes
// in the text's colour: fills by the non-zero rule and image masks. Anything else (a
// stroke, an image, a clip, an even-odd fill, transparency) makes the glyph no outline.
struct Type3Collector
{
    fz_device super;
    swf::Path* path;
    bool failed;

    static Type3Collector* of(fz_device* dev) { return reinterpret_cast<Type3Collector*>(dev); }
    static void fail(fz_device* dev) { of(dev)->failed = true; }
};

fz_device* newType3Collector(fz_context* ctx, swf::Path* path)
{
    auto* collector =
        reinterpret_cast<Type3Collector*>(fz_new_device_of_size(ctx, sizeof(Type3Collector)));
    collector->path = path;
    collector->failed = false;
    fz_device* dev = &collector->super;
    dev->fill_path = [](fz_context* c, fz_device* d, const fz_path* p, int evenOdd, fz_matrix m,
                        fz_colorspace*, const float*, float alpha, fz_color_params) {
        if (evenOdd || alpha < 1) {
            Type3Collector::fail(d);
            return;
        }
        MappedPath mapped{Type3Collector::of(d)->path, m};
        fz_walk_path(c, p, &mappedPathWalker(), &mapped);
    };
    dev->fill_image_mask = [](fz_context* c, fz_device* d, fz_image* i, fz_matrix m, fz_colorspace*,
                              const float*, float alpha, fz_color_params) {
        if (alpha < 1 || !addMaskRectangles(c, i, m, *Type3Collector::of(d)->path))
            Type3Collector::fail(d);
    };
    dev->stroke_path = [](fz_context*, fz_device* d, const fz_path*, const fz_stroke_state*,
                          fz_matrix, fz_colorspace*, const float*, float, fz_color_params) {
        Type3Collector::fail(d);
    };
    dev->clip_path = [](fz_context*, fz_device* d, const fz_path*, int, fz_matrix, fz_rect) {
        Type3Collector::fail(d);
    };
    dev->clip_stroke_path = [](fz_context*, fz_device* d, const fz_path*, const fz_stroke_state*,
                               fz_matrix, fz_rect) {
        Type3Collector::fail(d);
    };
    dev->fill_text = [](fz_context*, fz_device* d, const fz_text*, fz_matrix, fz_colorspace*,
                        const float*, float, fz_color_params) {
        Type3Collector::fail(d);
    };
    dev->stroke_text = [](fz_context*, fz_device* d, const fz_text*, const fz_stroke_state*,
                          fz_matrix, fz_colorspace*, const float*, float, fz_color_params) {
        Type3Collector::fail(d);
    };
    dev->clip_text = [](fz_context*, fz_device* d, const fz_text*, fz_matrix, fz_rect) {
        Type3Collector::fail(d);
    };
    dev->clip_stroke_text = [](fz_context*, fz_device* d, const fz_text*, const fz_stroke_state*,
                               fz_matrix, fz_rect) {
        Type3Collector::fail(d);
    };
    dev->fill_shade = [](fz_context*, fz_device* d, fz_shade*, fz_matrix, float, fz_color_params) {
        Type3Collector::fail(d);
    };
    dev->fill_image = [](fz_context*, fz_device* d, fz_image*, fz_matrix, float, fz_color_params) {
        Type3Collector::fail(d);
    };
    dev->clip_image_mask = [](fz_context*, fz_device* d, fz_image*, fz_matrix, fz_rect) {
        Type3Collector::fail(d);
    };
    dev->begin_mask = [](fz_context*, fz_device* d, fz_rect, int, fz_colorspace*, const float*,
                         fz_color_params) {
        Type3Collector::fail(d);
    };
    dev->begin_group = [](fz_context*, fz_device* d, fz_rect, fz_colorspace*, int, int knockout,
                          int blendmode, float alpha) {
        if (knockout || blendmode != FZ_BLEND_NORMAL || alpha < 1)
            Type3Collector::fail(d);
    };
    dev->begin_tile = [](fz_context*, fz_device* d, fz_rect, fz_rect, float, float, fz_matrix,
                         int) {
        Type3Collector::fail(d);
        return 0;
    };
    return dev;
}

// The outline of Type 3 glyph `gid` in ems (y downwards, origin on the baseline), when the
// glyph takes the colour of its text and paints nothing but shapes; nothing otherwise.
// A glyph of a `d1` procedure has no colour of its own; one of a `d0` procedure that sets
// none takes the text's.
std::optional<swf::Path> type3Outline(fz_context* ctx, fz_font* font, int gid)
{
    if (gid < 0 || gid > 255 || !font->t3lists || !font->t3flags)
        return std::nullopt;
    if (!font->t3lists[gid]) // no procedure: the glyph draws nothing
        return swf::Path{};
    const unsigned short flags = font->t3flags[gid];
    if (!(flags & FZ_DEVFLAG_MASK) && !(flags & FZ_DEVFLAG_FILLCOLOR_UNDEFINED))
        return std::nullopt;
    swf::Path path;
    fz_device* collector = nullptr;
    bool drawn = false;
    fz_var(collector);
    fz_var(drawn);
    fz_try(ctx)
    {
        collector = newType3Collector(ctx, &path);
        fz_run_t3_glyph(ctx, font, gid, fz_scale(1, -1), collector);
        fz_close_device(ctx, collector);
        drawn = !Type3Collector::of(collector)->failed;
    }
    fz_always(ctx)
    {
        fz_drop_device(ctx, collector);
    }
    fz_catch(ctx)
    {
        drawn = false;
    }
    if (!drawn)
        return std::nullopt;
    return path;
}

// Which glyphs of Type 3 fonts become outlines, each judged once.
class Type3Glyphs
{
public:
    const std::optional<swf::Path>& outline(fz_context* ctx, fz_font* font, int gid)
    {
        auto found = m_outlines.find({font, gid});
        if (found == m_outlines.end())
            found = m_outlines.emplace(std::pair{font, gid}, type3Outline(ctx, font, gid)).first;
        return found->second;
    }

private:
    std::map<std::pair<fz_font*, int>, std::optional<swf::Path>> m_outlines;
};

// Whether the glyph is drawn as vector text: glyphs of fonts with outlines, and Type 3
// glyphs that type3Outline turns into one.
bool vectorGlyph(fz_context* ctx, Type3Glyphs& type3, fz_font* font, int gid)
{
    if (fz_font_t3_procs(ctx, font))
        return type3.outline(ctx, font, gid).has_value();
    return fz_font_ft_face(ctx, font) != nullptr;
}

// Turns a MuPDF path into an outline of lines and quadratic curves. Cubic curves become
// as many quadratic pieces as keep the error under a quarter of a twip.
struct OutlineBuilder
{
    fz_matrix ctm;
    Outline* out;
    fz_point current{0, 0};
    fz_point start{0, 0};
    bool open = false;

    fz_point map(float x, float y) const { return fz_transform_point(fz_make_point(x, y), ctm); }
    void move(fz_point p)
    {
        out->push_back({Edge::Kind::Move, 0, 0, twips(p.x), twips(p.y)});
        current = start = p;
        open = true;
    }
    void line(fz_point p)
    {
        out->push_back({Edge::Kind::Line, 0, 0, twips(p.x), twips(p.y)});
        current = p;
    }
    void quad(fz_point c, fz_point p)
    {
        out->push_back({Edge::Kind::Curve, twips(c.x), twips(c.y), twips(p.x), twips(p.y)});
        current = p;
    }
    void cubic(fz_point c1, fz_point c2, fz_point p)
    {
        const fz_point p0 = current;
        const double dx = p.x - 3 * c2.x + 3 * c1.x - p0.x;
        const double dy = p.y - 3 * c2.y + 3 * c1.y - p0.y;
        const double error = std::hypot(dx, dy) * swf::kTwipsPerPoint * std::sqrt(3.0) / 36;
        const int pieces = std::clamp(static_cast<int>(std::ceil(std::cbrt(error / 0.25))), 1, 16);
        const auto at = [&](double t) {
            const double u = 1 - t;
            return fz_make_point(static_cast<float>(u * u * u * p0.x + 3 * u * u * t * c1.x +
                                                    3 * u * t * t * c2.x + t * t * t * p.x),
                                 static_cast<float>(u * u * u * p0.y + 3 * u * u * t * c1.y +
                                                    3 * u * t * t * c2.y + t * t * t * p.y));
        };
        const auto tangent = [&](double t) {
            const double u = 1 - t;
            return fz_make_point(
                static_cast<float>(3 * u * u * (c1.x - p0.x) + 6 * u * t * (c2.x - c1.x) +
                                   3 * t * t * (p.x - c2.x)),
                static_cast<float>(3 * u * u * (c1.y - p0.y) + 6 * u * t * (c2.y - c1.y) +
                                   3 * t * t * (p.y - c2.y)));
        };
        for (int i = 0; i < pieces; ++i) {
            // Each piece: the quadratic through the piece's ends whose control point is
            // the mean of the two tangent intersections' estimates.
            const double t0 = static_cast<double>(i) / pieces;
            const double t1 = static_cast<double>(i + 1) / pieces;
            const double h = (t1 - t0) / 3;
            const fz_point a = at(t0), b = at(t1), ta = tangent(t0), tb = tangent(t1);
            const fz_point q1 = fz_make_point(static_cast<float>(a.x + h * ta.x),
                                              static_cast<float>(a.y + h * ta.y));
            const fz_point q2 = fz_make_point(static_cast<float>(b.x - h * tb.x),
                                              static_cast<float>(b.y - h * tb.y));
            const fz_point control = fz_make_point((3 * (q1.x + q2.x) - a.x - b.x) / 4,
                                                   (3 * (q1.y + q2.y) - a.y - b.y) / 4);
            quad(control, i + 1 == pieces ? p : b);
        }
    }
    void close()
    {
        if (open && (current.x != start.x || current.y != start.y))
            line(start);
        current = start;
    }
};

const fz_path_walker& outlineWalker()
{
    static const fz_path_walker walker = [] {
        fz_path_walker w{};
        w.moveto = [](fz_context*, void* arg, float x, float y) {
            auto* b = static_cast<OutlineBuilder*>(arg);
            b->move(b->map(x, y));
        };
        w.lineto = [](fz_context*, void* arg, float x, float y) {
            auto* b = static_cast<OutlineBuilder*>(arg);
            b->line(b->map(x, y));
        };
        w.curveto = [](fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3,
                       float y3) {
            auto* b = static_cast<OutlineBuilder*>(arg);
            b->cubic(b->map(x1, y1), b->map(x2, y2), b->map(x3, y3));
        };
        w.quadto = [](fz_context*, void* arg, float x1, float y1, float x2, float y2) {
            auto* b = static_cast<OutlineBuilder*>(arg);
            b->quad(b->map(x1, y1), b->map(x2, y2));
        };
        w.closepath = [](fz_context*, void* arg) {
            static_cast<OutlineBuilder*>(arg)->close();
        };
        return w;
    }();
    return walker;
}

Outline outlineOf(fz_context* ctx, const fz_path* path, fz_matrix ctm)
{
    Outline outline;
    OutlineBuilder builder{ctm, &outline};
    fz_walk_path(ctx, path, &outlineWalker(), &builder);
    return outline;
}

// Cuts an outline into the dashes of `pattern` (lengths in twips), after flattening its
// curves: SWF lines have no dashes of their own.
Outline dashed(const Outline& outline, const std::vector<double>& pattern, double phase)
{
    double total = 0;
    for (double length : pattern)
        total += length;
    if (total <= 0)
        return outline;
    Outline out;
    std::size_t index = 0;
    double left = 0;
    bool on = true;
    const auto restart = [&] {
        index = 0;
        on = true;
        left = pattern[0];
        double skip = std::fmod(phase, total);
        while (skip > 0) {
            if (skip < left) {
                left -= skip;
                break;
            }
            skip -= left;
            index = (index + 1) % pattern.size();
            on = !on;
            left = pattern[index];
        }
    };
    double px = 0, py = 0;
    bool penDown = false;
    const auto segment = [&](double x, double y) {
        double length = std::hypot(x - px, y - py);
        while (length > 0) {
            const double step = std::min(length, left);
            const double t = step / length;
            const double nx = px + (x - px) * t, ny = py + (y - py) * t;
            if (on) {
                if (!penDown)
                    out.push_back({Edge::Kind::Move, 0, 0, static_cast<swf::Twips>(std::lround(px)),
                                   static_cast<swf::Twips>(std::lround(py))});
                out.push_back({Edge::Kind::Line, 0, 0, static_cast<swf::Twips>(std::lround(nx)),
                               static_cast<swf::Twips>(std::lround(ny))});
            }
            penDown = on;
            px = nx;
            py = ny;
            length -= step;
            left -= step;
            if (left <= 1e-9) {
                index = (index + 1) % pattern.size();
                on = !on;
                left = pattern[index];
                penDown = false;
            }
        }
    };
    for (const Edge& edge : outline) {
        if (edge.kind == Edge::Kind::Move) {
            restart();
            px = edge.x;
            py = edge.y;
            penDown = false;
        } else if (edge.kind == Edge::Kind::Line) {
            segment(edge.x, edge.y);
        } else {
            const double x0 = px, y0 = py;
            for (int i = 1; i <= 8; ++i) {
                const double t = i / 8.0, u = 1 - t;
                segment(u * u * x0 + 2 * u * t * edge.controlX + t * t * edge.x,
                        u * u * y0 + 2 * u * t * edge.controlY + t * t * edge.y);
            }
        }
    }
    return out;
}

Item itemOf(Item::Kind kind)
{
    Item item;
    item.kind = kind;
    return item;
}

std::size_t edgesOf(const Outline& outline)
{
    return outline.size();
}

// The collecting device. MuPDF calls it from C frames that may unwind with longjmp, so no
// C++ exception leaves a callback: the first one is kept and the walk ends with an error.
struct DrawingDevice
{
    fz_device super;
    PageDrawing* drawing;
    std::map<fz_font*, int> fonts;
    std::map<fz_image*, int> images;
    Type3Glyphs type3;
    std::string failure;

    static DrawingDevice* of(fz_device* dev) { return reinterpret_cast<DrawingDevice*>(dev); }

    template <typename Body> void guard(fz_context* ctx, Body&& body)
    {
        if (!failure.empty())
            return;
        try {
            body();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (!failure.empty())
            fz_throw(ctx, FZ_ERROR_GENERIC, "%s", failure.c_str());
    }

    void note(const char* what)
    {
        if (drawing->unsupported.empty())
            drawing->unsupported = what;
    }

    void add(Item item)
    {
        if (item.kind != Item::Kind::Text) {
            ++drawing->shapeItems;
            drawing->shapeEdges += edgesOf(item.outline);
        }
        drawing->items.push_back(std::move(item));
    }

    int glyphSlot(fz_context* ctx, fz_font* font, int gid, int ucs)
    {
        auto found = fonts.find(font);
        if (found == fonts.end()) {
            found = fonts.emplace(font, static_cast<int>(drawing->fonts.size())).first;
            drawing->fonts.emplace_back();
            drawing->fonts.back().name = fz_font_name(ctx, font);
        }
        Font& entry = drawing->fonts[static_cast<std::size_t>(found->second)];
        const auto slot = entry.slots.find(gid);
        if (slot != entry.slots.end())
            return slot->second;
        // Outlined in ems; the movie chooses the precision once it knows the sizes the
        // page draws the font at. A glyph the font cannot outline stays empty.
        swf::Path outline;
        Box bounds;
        if (fz_font_t3_procs(ctx, font)) {
            outline = type3.outline(ctx, font, gid).value_or(swf::Path{});
            for (const swf::PathStep& step : outline.steps()) {
                bounds.include(step.end.x, step.end.y);
                if (step.kind != swf::PathStep::Kind::Move &&
                    step.kind != swf::PathStep::Kind::Line)
                    bounds.include(step.control1.x, step.control1.y);
                if (step.kind == swf::PathStep::Kind::Cubic)
                    bounds.include(step.control2.x, step.control2.y);
            }
        } else {
            fz_path* path = nullptr;
            fz_var(path);
            fz_try(ctx)
            {
                path = fz_outline_glyph(ctx, font, gid, fz_scale(1, -1));
            }
            fz_catch(ctx)
            {
                path = nullptr;
            }
            if (path) {
                MappedPath mapped{&outline, fz_identity};
                fz_walk_path(ctx, path, &mappedPathWalker(), &mapped);
                const fz_rect box = fz_bound_path(ctx, path, nullptr, fz_identity);
                fz_drop_path(ctx, path);
                if (!fz_is_empty_rect(box))
                    bounds = {box.x0, box.y0, box.x1, box.y1};
            }
        }
        const int index = static_cast<int>(entry.outlines.size());
        entry.outlines.push_back(std::move(outline));
        entry.bounds.push_back(bounds);
        entry.codes.push_back(static_cast<std::uint16_t>(ucs > 0 && ucs < 0x10000 ? ucs : index));
        entry.slots.emplace(gid, index);
        return index;
    }

    // Text as runs of glyphs; glyphs with no outline stay in the background image.
    void text(fz_context* ctx, const fz_text* text, fz_matrix ctm, swf::Rgba color)
    {
        int index = 0;
        for (const fz_text_span* span = text->head; span; span = span->next) {
            const fz_matrix linear = fz_concat(span->trm, ctm);
            TextRun run;
            run.font = 0;
            run.color = color;
            run.a = linear.a;
            run.b = linear.b;
            run.c = linear.c;
            run.d = linear.d;
            run.source = text;
            for (int i = 0; i < span->len; ++i, ++index) {
                const fz_text_item& item = span->items[i];
                if (item.gid < 0)
                    continue;
                if (!vectorGlyph(ctx, type3, span->font, item.gid)) {
                    fz_matrix trm = span->trm;
                    trm.e = item.x;
                    trm.f = item.y;
                    const fz_rect area =
                        fz_transform_rect(fz_bound_glyph(ctx, span->font, item.gid, trm), ctm);
                    if (!fz_is_empty_rect(area))
                        drawing->otherPaint.push_back(
                            {drawing->items.size(), {area.x0, area.y0, area.x1, area.y1}});
                    note("texte en police Type 3");
                    continue;
                }
                const int slot = glyphSlot(ctx, span->font, item.gid, item.ucs);
                const fz_point origin = fz_transform_point_xy(item.x, item.y, ctm);
                run.glyphs.push_back({slot, origin.x, origin.y, index});
            }
            if (run.glyphs.empty())
                continue;
            run.font = fonts.at(span->font);
            drawing->textGlyphs += run.glyphs.size();
            Item item = itemOf(Item::Kind::Text);
            item.text = std::move(run);
            add(std::move(item));
        }
    }
};

void fillPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
              fz_colorspace* space, const float* color, float alpha, fz_color_params params)
{
    auto* self = DrawingDevice::of(dev);
    self->guard(ctx, [&] {
        Item item = itemOf(Item::Kind::Fill);
        item.outline = outlineOf(ctx, path, ctm);
        item.nonZero = !evenOdd;
        item.color = rgba(ctx, space, color, alpha, params);
        self->add(std::move(item));
    });
}

swf::ShapeLine lineOf(const fz_stroke_state* stroke, fz_matrix ctm)
{
    swf::ShapeLine line;
    const double width = stroke->linewidth * fz_matrix_expansion(ctm) * swf::kTwipsPerPoint;
    line.width = static_cast<std::uint16_t>(std::clamp(std::lround(width), 1L, 65535L));
    line.cap = stroke->start_cap == FZ_LINECAP_ROUND    ? swf::LineCap::Round
               : stroke->start_cap == FZ_LINECAP_SQUARE ? swf::LineCap::Square
                                                        : swf::LineCap::None;
    line.join = stroke->linejoin == FZ_LINEJOIN_ROUND   ? swf::LineJoin::Round
                : stroke->linejoin == FZ_LINEJOIN_BEVEL ? swf::LineJoin::Bevel
                                                        : swf::LineJoin::Miter;
    line.miterLimit = stroke->miterlimit;
    return line;
}

Outline strokeOutline(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke,
                      fz_matrix ctm)
{
    Outline outline = outlineOf(ctx, path, ctm);
    if (stroke->dash_len > 0) {
        const double scale = fz_matrix_expansion(ctm) * swf::kTwipsPerPoint;
        std::vector<double> pattern;
        for (int i = 0; i < stroke->dash_len && i < 32; ++i)
            pattern.push_back(std::max(0.0f, stroke->dash_list[i]) * scale);
        if (pattern.size() % 2 == 1) // an odd pattern repeats once more to pair up
            pattern.insert(pattern.end(), pattern.begin(), pattern.end());
        outline = dashed(outline, pattern, stroke->dash_phase * scale);
    }
    return outline;
}

void strokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                fz_matrix ctm, fz_colorspace* space, const float* color, float alpha,
                fz_color_params params)
{
    auto* self = DrawingDevice::of(dev);
    self->guard(ctx, [&] {
        Item item = itemOf(Item::Kind::Stroke);
        item.outline = strokeOutline(ctx, path, stroke, ctm);
        item.line = lineOf(stroke, ctm);
        item.line.color = rgba(ctx, space, color, alpha, params);
        self->add(std::move(item));
    });
}

void clipPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
              fz_rect)
{
    auto* self = DrawingDevice::of(dev);
    self->guard(ctx, [&] {
        Item item = itemOf(Item::Kind::ClipBegin);
        item.outline = outlineOf(ctx, path, ctm);
        item.nonZero = !evenOdd;
        self->add(std::move(item));
    });
}

// Clips that have no shape of their own: noted, and balanced so that pop_clip still pairs.
void unsupportedClip(fz_device* dev, const char* what)
{
    auto* self = DrawingDevice::of(dev);
    self->note(what);
    Item item = itemOf(Item::Kind::ClipBegin);
    self->add(std::move(item));
}

void popClip(fz_context* ctx, fz_device* dev)
{
    auto* self = DrawingDevice::of(dev);
    self->guard(ctx, [&] { self->add(itemOf(Item::Kind::ClipEnd)); });
}

// Paint that stays in the background image: vector text below it must go there too.
void paintedOver(fz_context* ctx, fz_device* dev, fz_rect area)
{
    auto* self = DrawingDevice::of(dev);
    self->guard(ctx, [&] {
        if (!fz_is_empty_rect(area))
            self->drawing->otherPaint.push_back(
                {self->drawing->items.size(), {area.x0, area.y0, area.x1, area.y1}});
    });
}

void fillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
              fz_colorspace* space, const float* color, float alpha, fz_color_params params)
{
    auto* self = DrawingDevice::of(dev);
    self->guard(ctx, [&] { self->text(ctx, text, ctm, rgba(ctx, space, color, alpha, params)); });
}

void strokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                fz_matrix ctm, fz_colorspace*, const float*, float, fz_color_params)
{
    paintedOver(ctx, dev, fz_bound_text(ctx, text, stroke, ctm));
    DrawingDevice::of(dev)->guard(ctx, [&] { DrawingDevice::of(dev)->note("texte détouré"); });
}

void fillImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
               fz_color_params)
{
    auto* self = DrawingDevice::of(dev);
    self->guard(ctx, [&] {
        if (image->mask || alpha < 1)
            self->note("image transparente");
        auto found = self->images.find(image);
        if (found == self->images.end()) {
            found =
                self->images.emplace(image, static_cast<int>(self->drawing->images.size())).first;
            self->drawing->images.push_back(fz_keep_image(ctx, image));
        }
        Item item = itemOf(Item::Kind::Image);
        item.image = found->second;
        item.imageWidth = image->w;
        item.imageHeight = image->h;
        item.transparent = image->mask || alpha < 1;
        const double m[6] = {ctm.a, ctm.b, ctm.c, ctm.d, ctm.e, ctm.f};
        std::copy(m, m + 6, item.matrix);
        self->drawing->imageArea += std::abs(ctm.a * ctm.d - ctm.b * ctm.c);
        self->add(std::move(item));
    });
}

void notSupported(fz_device* dev, const char* what)
{
    DrawingDevice::of(dev)->note(what);
}

// What the drawing cannot hold: noted, and for clips balanced so that pop_clip still pairs.
void setUnsupportedCallbacks(fz_device* dev)
{
    dev->clip_stroke_path = [](fz_context*, fz_device* d, const fz_path*, const fz_stroke_state*,
                               fz_matrix, fz_rect) {
        unsupportedClip(d, "découpe par un trait");
    };
    dev->clip_text = [](fz_context*, fz_device* d, const fz_text*, fz_matrix, fz_rect) {
        unsupportedClip(d, "découpe par du texte");
    };
    dev->clip_stroke_text = [](fz_context*, fz_device* d, const fz_text*, const fz_stroke_state*,
                               fz_matrix, fz_rect) {
        unsupportedClip(d, "découpe par du texte");
    };
    dev->fill_shade = [](fz_context* c, fz_device* d, fz_shade* shade, fz_matrix m, float,
                         fz_color_params) {
        paintedOver(c, d, fz_bound_shade(c, shade, m));
        notSupported(d, "dégradé");
    };
    dev->fill_image_mask = [](fz_context* c, fz_device* d, fz_image*, fz_matrix m, fz_colorspace*,
                              const float*, float, fz_color_params) {
        paintedOver(c, d, fz_transform_rect(fz_unit_rect, m));
        notSupported(d, "masque d'image");
    };
    dev->clip_image_mask = [](fz_context*, fz_device* d, fz_image*, fz_matrix, fz_rect) {
        unsupportedClip(d, "découpe par une image");
    };
    dev->begin_mask = [](fz_context*, fz_device* d, fz_rect, int, fz_colorspace*, const float*,
                         fz_color_params) {
        DrawingDevice::of(d)->drawing->seeThrough = true;
        notSupported(d, "masque de transparence");
    };
    dev->begin_group = [](fz_context*, fz_device* d, fz_rect, fz_colorspace*, int, int knockout,
                          int blendmode, float alpha) {
        if (knockout || blendmode != FZ_BLEND_NORMAL || alpha < 1) {
            DrawingDevice::of(d)->drawing->seeThrough = true;
            notSupported(d, "groupe transparent");
        }
    };
    dev->begin_tile = [](fz_context*, fz_device* d, fz_rect, fz_rect, float, float, fz_matrix,
                         int) {
        notSupported(d, "motif");
        return 0;
    };
}

// A collecting device for `drawing`, its C++ members constructed in MuPDF's allocation.
// Throws (fz_throw) when MuPDF cannot allocate it.
DrawingDevice* newDrawingDevice(fz_context* ctx, PageDrawing* drawing)
{
    auto* device =
        reinterpret_cast<DrawingDevice*>(fz_new_device_of_size(ctx, sizeof(DrawingDevice)));
    new (&device->fonts) std::map<fz_font*, int>();
    new (&device->images) std::map<fz_image*, int>();
    new (&device->type3) Type3Glyphs();
    new (&device->failure) std::string();
    device->drawing = drawing;
    fz_device* dev = &device->super;
    dev->fill_path = fillPath;
    dev->stroke_path = strokePath;
    dev->clip_path = clipPath;
    dev->fill_text = fillText;
    dev->stroke_text = strokeText;
    dev->fill_image = fillImage;
    dev->pop_clip = popClip;
    setUnsupportedCallbacks(dev);
    return device;
}

// Destroys what newDrawingDevice constructed and drops the device.
void dropDrawingDevice(fz_context* ctx, DrawingDevice* device)
{
    device->fonts.~map();
    device->images.~map();
    device->type3.~Type3Glyphs();
    device->failure.~basic_string();
    fz_drop_device(ctx, &device->super);
}

} // namespace

std::vector<std::uint8_t> jpegOf(const Pixels& pixels, int quality)
{
    PageImage image(pixels.width, pixels.height, 3, 1);
    for (int y = 0; y < pixels.height; ++y)
        std::copy_n(pixels.rgb.data() + static_cast<std::size_t>(y) * pixels.stride, image.stride(),
                    image.pixels.get() + static_cast<std::size_t>(y) * image.stride());
    const JpegData jpeg = bitmapBorder(image.width, image.height)
                              ? encodeJpeg(withEdgeBorder(image), quality, JpegKind::Baseline)
                              : encodeJpeg(image, quality, JpegKind::Baseline);
    return std::vector<std::uint8_t>(jpeg.bytes.get(), jpeg.bytes.get() + jpeg.size);
}

void Box::include(double x, double y)
{
    if (empty()) {
        *this = {x, y, x, y};
        return;
    }
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
}

PageDrawing::~PageDrawing()
{
    auto* ctx = static_cast<fz_context*>(m_context);
    for (fz_image* image : images)
        fz_drop_image(ctx, image);
}

std::unique_ptr<PageDrawing> readDrawing(const PdfPages::Page& page)
{
    fz_context* ctx = page.context();
    auto drawing = std::make_unique<PageDrawing>();
    drawing->m_context = ctx;
    const fz_matrix ctm =
        fz_translate(static_cast<float>(-page.originX()), static_cast<float>(-page.originY()));
    fz_display_list* list = page.displayList();
    DrawingDevice* device = nullptr;
    fz_var(device);
    std::string message;
    fz_try(ctx)
    {
        device = newDrawingDevice(ctx, drawing.get());
        fz_run_display_list(ctx, list, &device->super, ctm, fz_infinite_rect, nullptr);
        fz_close_device(ctx, &device->super);
    }
    fz_always(ctx)
    {
        if (device) {
            message = device->failure;
            dropDrawingDevice(ctx, device);
        }
    }
    fz_catch(ctx)
    {
        if (message.empty())
            message = fz_caught_message(ctx);
    }
    if (!message.empty())
        throw DocumentError("lecture des tracés de la page impossible (" + message + ")");
    return drawing;
}

Pixels PageDrawing::imagePixels(int index, int maxSide) const
{
    auto* ctx = static_cast<fz_context*>(m_context);
    fz_image* image = images.at(static_cast<std::size_t>(index));
    fz_pixmap* pixmap = nullptr;
    fz_pixmap* rgb = nullptr;
    fz_var(pixmap);
    fz_var(rgb);
    Pixels result;
    std::string message;
    fz_try(ctx)
    {
        int w = std::min(image->w, maxSide), h = std::min(image->h, maxSide);
        pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, &w, &h);
        rgb = fz_convert_pixmap(ctx, pixmap, fz_device_rgb(ctx), nullptr, nullptr,
                                fz_default_color_params, 0);
    }
    fz_catch(ctx)
    {
        message = fz_caught_message(ctx);
    }
    if (!message.empty()) {
        fz_drop_pixmap(ctx, pixmap);
        throw DocumentError("image illisible (" + message + ")");
    }
    result.width = rgb->w;
    result.height = rgb->h;
    result.stride = rgb->w * 3;
    result.rgb.resize(static_cast<std::size_t>(result.stride) * result.height);
    for (int y = 0; y < rgb->h; ++y) {
        const unsigned char* row = rgb->samples + static_cast<std::ptrdiff_t>(y) * rgb->stride;
        std::copy(row, row + result.stride,
                  result.rgb.begin() + static_cast<std::ptrdiff_t>(y) * result.stride);
    }
    fz_drop_pixmap(ctx, rgb);
    fz_drop_pixmap(ctx, pixmap);
    return result;
}

namespace {

// Passes everything to `target` except the text that the vector form draws itself.
struct TextlessDevice
{
    fz_device super;
    fz_device* target;
    const std::set<GlyphKey>* keep;
    Type3Glyphs* type3;
    const std::set<int>* leaveOut;
    int images;
};

fz_device* target(fz_device* dev)
{
    return reinterpret_cast<TextlessDevice*>(dev)->target;
}

// Whether the background draws glyph `index` of `text`: a glyph that the vector form
// leaves out, or one of `keep`.
bool backgroundGlyph(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_text_span* span,
                     int gid, int index)
{
    auto* self = reinterpret_cast<TextlessDevice*>(dev);
    return self->keep->count({text, index}) || !vectorGlyph(ctx, *self->type3, span->font, gid);
}

// The glyphs of `text` that the background draws, as a text of their own, or nothing when
// there is none. Sets `all` when that is every glyph.
fz_text* backgroundGlyphs(fz_context* ctx, fz_device* dev, const fz_text* text, bool& all)
{
    all = true;
    bool any = false;
    int index = 0;
    for (const fz_text_span* span = text->head; span; span = span->next) {
        for (int i = 0; i < span->len; ++i, ++index) {
            const bool drawn = backgroundGlyph(ctx, dev, text, span, span->items[i].gid, index);
            any = any || drawn;
            all = all && drawn;
        }
    }
    if (!any || all)
        return nullptr;
    fz_text* kept = fz_new_text(ctx);
    fz_try(ctx)
    {
        index = 0;
        for (const fz_text_span* span = text->head; span; span = span->next) {
            for (int i = 0; i < span->len; ++i, ++index) {
                const fz_text_item& item = span->items[i];
                if (!backgroundGlyph(ctx, dev, text, span, item.gid, index))
                    continue;
                fz_matrix trm = span->trm;
                trm.e = item.x;
                trm.f = item.y;
                fz_show_glyph(ctx, kept, span->font, trm, item.gid, item.ucs, span->wmode,
                              span->bidi_level, static_cast<fz_bidi_direction>(span->markup_dir),
                              static_cast<fz_text_language>(span->language));
            }
        }
    }
    fz_catch(ctx)
    {
        fz_drop_text(ctx, kept);
        fz_rethrow(ctx);
    }
    return kept;
}

// Fills the glyphs of `text` that the background draws, if any.
void fillBackgroundGlyphs(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
                          fz_colorspace* space, const float* color, float alpha,
                          fz_color_params params)
{
    bool all = false;
    fz_text* kept = backgroundGlyphs(ctx, dev, text, all);
    if (all) {
        fz_fill_text(ctx, target(dev), text, ctm, space, color, alpha, params);
        return;
    }
    if (!kept)
        return;
    fz_try(ctx)
    {
        fz_fill_text(ctx, target(dev), kept, ctm, space, color, alpha, params);
    }
    fz_always(ctx)
    {
        fz_drop_text(ctx, kept);
    }
    fz_catch(ctx)
    {
        fz_rethrow(ctx);
    }
}

// Fills, strokes and clips by paths, passed on to the target unchanged.
void forwardPaths(fz_device* dev)
{
    dev->fill_path = [](fz_context* c, fz_device* d, const fz_path* p, int e, fz_matrix m,
                        fz_colorspace* s, const float* v, float a, fz_color_params cp) {
        fz_fill_path(c, target(d), p, e, m, s, v, a, cp);
    };
    dev->stroke_path = [](fz_context* c, fz_device* d, const fz_path* p, const fz_stroke_state* st,
                          fz_matrix m, fz_colorspace* s, const float* v, float a,
                          fz_color_params cp) {
        fz_stroke_path(c, target(d), p, st, m, s, v, a, cp);
    };
    dev->clip_path = [](fz_context* c, fz_device* d, const fz_path* p, int e, fz_matrix m,
                        fz_rect r) {
        fz_clip_path(c, target(d), p, e, m, r);
    };
    dev->clip_stroke_path = [](fz_context* c, fz_device* d, const fz_path* p,
                               const fz_stroke_state* st, fz_matrix m, fz_rect r) {
        fz_clip_stroke_path(c, target(d), p, st, m, r);
    };
}

// Text, passed on except the filled glyphs that the vector form draws itself.
void forwardText(fz_device* dev)
{
    dev->fill_text = [](fz_context* c, fz_device* d, const fz_text* t, fz_matrix m,
                        fz_colorspace* s, const float* v, float a, fz_color_params cp) {
        fillBackgroundGlyphs(c, d, t, m, s, v, a, cp);
    };
    dev->stroke_text = [](fz_context* c, fz_device* d, const fz_text* t, const fz_stroke_state* st,
                          fz_matrix m, fz_colorspace* s, const float* v, float a,
                          fz_color_params cp) {
        fz_stroke_text(c, target(d), t, st, m, s, v, a, cp);
    };
    dev->clip_text = [](fz_context* c, fz_device* d, const fz_text* t, fz_matrix m, fz_rect r) {
        fz_clip_text(c, target(d), t, m, r);
    };
    dev->clip_stroke_text = [](fz_context* c, fz_device* d, const fz_text* t,
                               const fz_stroke_state* st, fz_matrix m, fz_rect r) {
        fz_clip_stroke_text(c, target(d), t, st, m, r);
    };
    dev->ignore_text = [](fz_context* c, fz_device* d, const fz_text* t, fz_matrix m) {
        fz_ignore_text(c, target(d), t, m);
    };
}

// Shades and images, passed on unchanged but for the images left out.
void forwardShadesAndImages(fz_device* dev)
{
    dev->fill_shade = [](fz_context* c, fz_device* d, fz_shade* sh, fz_matrix m, float a,
                         fz_color_params cp) {
        fz_fill_shade(c, target(d), sh, m, a, cp);
    };
    dev->fill_image = [](fz_context* c, fz_device* d, fz_image* i, fz_matrix m, float a,
                         fz_color_params cp) {
        auto* self = reinterpret_cast<TextlessDevice*>(d);
        if (!self->leaveOut->count(self->images++))
            fz_fill_image(c, target(d), i, m, a, cp);
    };
    dev->fill_image_mask = [](fz_context* c, fz_device* d, fz_image* i, fz_matrix m,
                              fz_colorspace* s, const float* v, float a, fz_color_params cp) {
        fz_fill_image_mask(c, target(d), i, m, s, v, a, cp);
    };
    dev->clip_image_mask = [](fz_context* c, fz_device* d, fz_image* i, fz_matrix m, fz_rect r) {
        fz_clip_image_mask(c, target(d), i, m, r);
    };
}

// Clip ends, masks, groups, tiles, layers and the device's settings, passed on unchanged.
void forwardStructure(fz_device* dev)
{
    dev->pop_clip = [](fz_context* c, fz_device* d) {
        fz_pop_clip(c, target(d));
    };
    dev->begin_mask = [](fz_context* c, fz_device* d, fz_rect r, int l, fz_colorspace* s,
                         const float* v, fz_color_params cp) {
        fz_begin_mask(c, target(d), r, l, s, v, cp);
    };
    dev->end_mask = [](fz_context* c, fz_device* d) {
        fz_end_mask(c, target(d));
    };
    dev->begin_group = [](fz_context* c, fz_device* d, fz_rect r, fz_colorspace* s, int i, int k,
                          int b, float a) {
        fz_begin_group(c, target(d), r, s, i, k, b, a);
    };
    dev->end_group = [](fz_context* c, fz_device* d) {
        fz_end_group(c, target(d));
    };
    dev->begin_tile = [](fz_context* c, fz_device* d, fz_rect a, fz_rect v, float x, float y,
                         fz_matrix m, int id) {
        return fz_begin_tile_id(c, target(d), a, v, x, y, m, id);
    };
    dev->end_tile = [](fz_context* c, fz_device* d) {
        fz_end_tile(c, target(d));
    };
    dev->render_flags = [](fz_context* c, fz_device* d, int set, int clear) {
        fz_render_flags(c, target(d), set, clear);
    };
    dev->set_default_colorspaces = [](fz_context* c, fz_device* d, fz_default_colorspaces* cs) {
        fz_set_default_colorspaces(c, target(d), cs);
    };
    dev->begin_layer = [](fz_context* c, fz_device* d, const char* name) {
        fz_begin_layer(c, target(d), name);
    };
    dev->end_layer = [](fz_context* c, fz_device* d) {
        fz_end_layer(c, target(d));
    };
}

fz_device* newTextlessDevice(fz_context* ctx, fz_device* to, const std::set<GlyphKey>& keep,
                             Type3Glyphs& type3, const std::set<int>& leaveOut)
{
    auto* device =
        reinterpret_cast<TextlessDevice*>(fz_new_device_of_size(ctx, sizeof(TextlessDevice)));
    device->target = to;
    device->keep = &keep;
    device->type3 = &type3;
    device->leaveOut = &leaveOut;
    device->images = 0;
    fz_device* dev = &device->super;
    forwardPaths(dev);
    forwardText(dev);
    forwardShadesAndImages(dev);
    forwardStructure(dev);
    return dev;
}

} // namespace

Pixels renderWithoutText(const PdfPages::Page& page, double scale, const std::set<GlyphKey>& keep,
                         const std::set<int>& leaveOut)
{
    fz_context* ctx = page.context();
    const fz_matrix ctm = fz_scale(static_cast<float>(scale), static_cast<float>(scale));
    const fz_rect bounds =
        fz_make_rect(static_cast<float>(page.originX()), static_cast<float>(page.originY()),
                     static_cast<float>(page.originX() + page.size().width),
                     static_cast<float>(page.originY() + page.size().height));
    const fz_irect box = fz_round_rect(fz_transform_rect(bounds, ctm));
    Pixels image;
    image.width = box.x1 - box.x0;
    image.height = box.y1 - box.y0;
    if (image.width <= 0 || image.height <= 0)
        throw DocumentError("page trop petite pour être dessinée");
    image.stride = image.width * 3;
    image.rgb.resize(static_cast<std::size_t>(image.stride) * image.height);
    unsigned char* pixels = image.rgb.data();
    fz_display_list* list = page.displayList();
    Type3Glyphs type3;

    fz_pixmap* pixmap = nullptr;
    fz_device* draw = nullptr;
    fz_device* filter = nullptr;
    fz_var(pixmap);
    fz_var(draw);
    fz_var(filter);
    std::string message;
    fz_try(ctx)
    {
        pixmap = fz_new_pixmap_with_bbox_and_data(ctx, fz_device_rgb(ctx), box, nullptr, 0, pixels);
        fz_clear_pixmap_with_value(ctx, pixmap, 0xFF);
        draw = fz_new_draw_device(ctx, fz_identity, pixmap);
        filter = newTextlessDevice(ctx, draw, keep, type3, leaveOut);
        fz_run_display_list(ctx, list, filter, ctm, fz_infinite_rect, nullptr);
        fz_close_device(ctx, filter);
        fz_close_device(ctx, draw);
    }
    fz_always(ctx)
    {
        fz_drop_device(ctx, filter);
        fz_drop_device(ctx, draw);
        fz_drop_pixmap(ctx, pixmap);
    }
    fz_catch(ctx)
    {
        message = fz_caught_message(ctx);
    }
    if (!message.empty())
        throw DocumentError("échec du rendu de la page (" + message + ")");
    return image;
}

namespace {

std::string shortNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string result = text;
    while (!result.empty() && result.back() == '0')
        result.pop_back();
    if (!result.empty() && result.back() == '.')
        result.pop_back();
    return result == "-0" ? "0" : result;
}

// One glyph as MuPDF's SVG output places it, its paint given when it is not opaque black:
//   <use data-text="C" xlink:href="#font_1_1" transform="matrix(11,0,0,-11,50,40)"/>
//   <use data-text="C" xlink:href="#font_1_1" transform="matrix(...)" fill="#0000ff"/>
struct GlyphUse
{
    std::string glyph; // the id after '#'
    double m[6];
    std::string paint; // " fill=..." and " fill-opacity=...", as written, or empty
};

// Whether `text` is nothing but fill and fill-opacity attributes, each led by a space.
bool onlyFillAttributes(std::string_view text)
{
    while (!text.empty()) {
        std::size_t nameLength = 0;
        if (text.substr(0, 7) == " fill=\"")
            nameLength = 7;
        else if (text.substr(0, 15) == " fill-opacity=\"")
            nameLength = 15;
        else
            return false;
        const auto end = text.find('"', nameLength);
        if (end == std::string_view::npos)
            return false;
        text.remove_prefix(end + 1);
    }
    return true;
}

bool parseGlyphUse(const std::string& line, GlyphUse& use)
{
    if (line.compare(0, 5, "<use ") != 0 || line.compare(line.size() - 2, 2, "/>") != 0)
        return false;
    const auto href = line.find("xlink:href=\"#");
    const auto matrix = line.find("transform=\"matrix(");
    if (href == std::string::npos || matrix == std::string::npos)
        return false;
    const auto hrefEnd = line.find('"', href + 13);
    if (hrefEnd == std::string::npos)
        return false;
    use.glyph = line.substr(href + 13, hrefEnd - href - 13);
    const char* at = line.c_str() + matrix + 18;
    for (double& value : use.m) {
        char* end = nullptr;
        value = std::strtod(at, &end);
        if (end == at || (*end != ',' && *end != ')'))
            return false;
        at = end + 1;
    }
    if (std::string_view(at - 1).substr(0, 2) != ")\"")
        return false;
    const std::size_t paintStart = static_cast<std::size_t>(at + 1 - line.c_str());
    const std::string_view paint =
        std::string_view(line).substr(paintStart, line.size() - 2 - paintStart);
    if (!onlyFillAttributes(paint))
        return false;
    use.paint = std::string(paint);
    return true;
}

// Glyph ids by order of first sight: "a" to "z", then "aa", "ab"... Other ids of MuPDF's
// output all hold an underscore, so none is taken twice.
class GlyphIds
{
public:
    const std::string& operator()(const std::string& id)
    {
        auto found = m_ids.find(id);
        if (found == m_ids.end()) {
            std::string name;
            for (std::size_t n = m_ids.size() + 1; n > 0; n = (n - 1) / 26)
                name.insert(name.begin(), static_cast<char>('a' + (n - 1) % 26));
            found = m_ids.emplace(id, name).first;
        }
        return found->second;
    }

private:
    std::map<std::string, std::string> m_ids;
};

// `line` with every glyph id it defines or refers to (id="font_1_a", href="#font_1_a",
// url(#font_1_a)) renamed as elsewhere in the file: a glyph stroked, used as a clip or drawn
// by a Type 3 glyph keeps MuPDF's own markup, and still finds its outline.
std::string renameGlyphIds(const std::string& line, GlyphIds& ids)
{
    const auto idCharacter = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '_';
    };
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = line.find("font_"); at != std::string::npos;
         at = line.find("font_", at + 1)) {
        const bool reference = at >= 1 && line[at - 1] == '#';
        const bool definition = at >= 4 && line.compare(at - 4, 4, "id=\"") == 0;
        if (!reference && !definition)
            continue;
        std::size_t end = at + 5;
        while (end < line.size() && idCharacter(line[end]))
            ++end;
        out.append(line, copied, at - copied);
        out += ids(line.substr(at, end - at));
        copied = end;
        at = end - 1;
    }
    out.append(line, copied, std::string::npos);
    return out;
}

// Path data with every number to three decimals: a thousandth of an em for glyphs.
std::string roundedPathData(std::string_view data)
{
    std::string out;
    out.reserve(data.size());
    std::size_t i = 0;
    while (i < data.size()) {
        const char c = data[i];
        if ((c >= '0' && c <= '9') || c == '.' || c == '-') {
            std::size_t end = i + 1;
            while (end < data.size() &&
                   ((data[end] >= '0' && data[end] <= '9') || data[end] == '.' ||
                    data[end] == 'e' || (data[end] == '-' && data[end - 1] == 'e')))
                ++end;
            // ".5.5" is two numbers; a second point starts the next one.
            const std::string_view token = data.substr(i, end - i);
            const auto firstPoint = token.find('.');
            const auto secondPoint =
                firstPoint == std::string_view::npos ? firstPoint : token.find('.', firstPoint + 1);
            if (secondPoint != std::string_view::npos)
                end = i + secondPoint;
            std::string number =
                shortNumber(std::strtod(std::string(data.substr(i, end - i)).c_str(), nullptr));
            if (number.compare(0, 2, "0.") == 0)
                number.erase(0, 1);
            else if (number.compare(0, 3, "-0.") == 0)
                number.erase(1, 1);
            // Numbers that were glued together (".5.5") are kept apart.
            if (!out.empty() && number[0] != '-' &&
                ((out.back() >= '0' && out.back() <= '9') || out.back() == '.'))
                out += ' ';
            out += number;
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace

// MuPDF places every glyph with a full matrix and a copy of its character: some 85 bytes
// a glyph, 450 KB for a page of small text. Glyphs of one line (same size, upright, same
// baseline, same paint) become one group that places each by its x offset alone, in ems;
// glyph ids are shortened wherever they appear and their outlines kept to a thousandth of
// an em. 25 bytes a glyph remain; nothing else changes.
std::string compactSvg(const std::string& svg)
{
    std::string out;
    out.reserve(svg.size() / 2);
    GlyphIds ids;
    std::vector<GlyphUse> run;
    const auto flush = [&] {
        if (run.size() == 1) {
            const GlyphUse& use = run.front();
            out += "<use href=\"#" + ids(use.glyph) + "\" transform=\"matrix(";
            for (int i = 0; i < 6; ++i)
                out += shortNumber(use.m[i]) + (i < 5 ? "," : ")\"");
            out += use.paint + "/>\n";
        } else if (!run.empty()) {
            const GlyphUse& first = run.front();
            out += "<g transform=\"matrix(" + shortNumber(first.m[0]) + ",0,0," +
                   shortNumber(first.m[3]) + "," + shortNumber(first.m[4]) + "," +
                   shortNumber(first.m[5]) + ")\"" + first.paint + ">";
            for (const GlyphUse& use : run) {
                out += "<use href=\"#" + ids(use.glyph) + "\"";
                const double x = (use.m[4] - first.m[4]) / first.m[0];
                std::string number = shortNumber(x);
                if (number.compare(0, 2, "0.") == 0)
                    number.erase(0, 1);
                if (number != "0")
                    out += " x=\"" + number + "\"";
                out += "/>";
            }
            out += "</g>\n";
        }
        run.clear();
    };
    std::size_t start = 0;
    while (start < svg.size()) {
        std::size_t end = svg.find('\n', start);
        if (end == std::string::npos)
            end = svg.size();
        const std::string line = svg.substr(start, end - start);
        start = end + 1;
        GlyphUse use;
        if (parseGlyphUse(line, use) && use.m[1] == 0 && use.m[2] == 0 && use.m[0] != 0) {
            if (!run.empty()) {
                const GlyphUse& first = run.front();
                if (first.m[0] != use.m[0] || first.m[3] != use.m[3] || first.m[5] != use.m[5] ||
                    first.paint != use.paint)
                    flush();
            }
            run.push_back(use);
            continue;
        }
        if (parseGlyphUse(line, use)) { // a turned glyph keeps its matrix
            flush();
            run.push_back(use);
            flush();
            continue;
        }
        flush();
        // <path id="font_1_1" d="..."/>: a glyph's outline.
        const std::string prefix = "<path id=\"font_";
        const auto idEnd = line.find('"', prefix.size());
        const auto data = line.find(" d=\"");
        if (line.compare(0, prefix.size(), prefix) == 0 && idEnd != std::string::npos &&
            data == idEnd + 1 && line.compare(line.size() - 3, 3, "\"/>") == 0) {
            const std::string id = line.substr(10, idEnd - 10);
            out += "<path id=\"" + ids(id) + "\" d=\"" +
                   roundedPathData(
                       std::string_view(line).substr(data + 4, line.size() - 3 - data - 4)) +
                   "\"/>\n";
        } else {
            out += renameGlyphIds(line, ids) + "\n";
        }
    }
    flush();
    return out;
}

std::vector<std::uint8_t> pageSvg(const PdfPages::Page& page)
{
    fz_context* ctx = page.context();
    const fz_matrix ctm =
        fz_translate(static_cast<float>(-page.originX()), static_cast<float>(-page.originY()));
    fz_buffer* buffer = nullptr;
    fz_output* out = nullptr;
    fz_device* device = nullptr;
    fz_var(buffer);
    fz_var(out);
    fz_var(device);
    std::vector<std::uint8_t> svg;
    std::string message;
    fz_try(ctx)
    {
        buffer = fz_new_buffer(ctx, 64 * 1024);
        out = fz_new_output_with_buffer(ctx, buffer);
        device = fz_new_svg_device(ctx, out, static_cast<float>(page.size().width),
                                   static_cast<float>(page.size().height), FZ_SVG_TEXT_AS_PATH, 1);
        fz_run_display_list(ctx, page.displayList(), device, ctm, fz_infinite_rect, nullptr);
        fz_close_device(ctx, device);
        fz_close_output(ctx, out);
    }
    fz_always(ctx)
    {
        fz_drop_device(ctx, device);
        fz_drop_output(ctx, out);
    }
    fz_catch(ctx)
    {
        message = fz_caught_message(ctx);
    }
    if (message.empty() && buffer) {
        unsigned char* data = nullptr;
        const std::size_t size = fz_buffer_storage(ctx, buffer, &data);
        const std::string compact =
            compactSvg(std::string(reinterpret_cast<const char*>(data), size));
        svg.assign(compact.begin(), compact.end());
    }
    fz_drop_buffer(ctx, buffer);
    if (!message.empty())
        throw DocumentError("échec de l'écriture SVG de la page (" + message + ")");
    return svg;
}

} // namespace vellora::converter::vector
