#include "VectorMovie.h"

#include "PageMovie.h"
#include "SwfGlyph.h"
#include "SwfMovie.h"
#include "SwfWinding.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vellora::converter::vector {

namespace {

class MovieBuilder
{
public:
    MovieBuilder(swf::Movie& movie) : m_movie(movie) {}

    std::uint16_t nextId()
    {
        if (m_id == 0xFFFF)
            throw std::length_error("trop d'objets pour une animation");
        return ++m_id;
    }
    std::uint16_t nextDepth()
    {
        if (m_depth == 0xFFFF)
            throw std::length_error("trop d'objets pour une animation");
        return ++m_depth;
    }
    std::uint16_t depth() const { return m_depth; }

    // Outline edges with closed subpaths (fills and clips close them; strokes do not).
    static swf::ShapeEdges edges(const Outline& outline, bool close, int fill, int line)
    {
        swf::ShapeEdges shape;
        swf::Twips startX = 0, startY = 0, penX = 0, penY = 0;
        bool open = false;
        const auto closeSubpath = [&] {
            if (close && open && (penX != startX || penY != startY))
                shape.lineTo(startX, startY);
        };
        for (const Edge& edge : outline) {
            if (edge.kind == Edge::Kind::Move) {
                closeSubpath();
                shape.moveTo(edge.x, edge.y, fill, 0, line);
                startX = edge.x;
                startY = edge.y;
                open = true;
            } else if (!open) {
                continue; // an edge before any move: nothing to draw from
            } else if (edge.kind == Edge::Kind::Line) {
                shape.lineTo(edge.x, edge.y);
            } else {
                shape.curveTo(edge.controlX, edge.controlY, edge.x, edge.y);
            }
            penX = edge.x;
            penY = edge.y;
        }
        closeSubpath();
        return shape;
    }

    void place(std::uint16_t id) { m_movie.add(swf::placeObject2(nextDepth(), id)); }

private:
    swf::Movie& m_movie;
    std::uint16_t m_id = 0;
    std::uint16_t m_depth = 0;
};

// A font as the movie holds it: its character id, its units per em, and for each of the
// drawing's slots its glyph's index in the movie's font (-1: not in the movie).
struct MovieFont
{
    std::uint16_t id = 0;
    int unitsPerEm = swf::kFont3UnitsPerEm;
    std::vector<int> index;
};

// The longest side of a run's em on the page, in points: the largest singular value of
// its matrix.
double emLength(const TextRun& run)
{
    const double sum = run.a * run.a + run.b * run.b + run.c * run.c + run.d * run.d;
    const double determinant = run.a * run.d - run.b * run.c;
    return std::sqrt((sum + std::sqrt(std::max(0.0, sum * sum - 4 * determinant * determinant))) /
                     2);
}

// The text space of a DefineText2 for a run of glyphs sharing a transform (see TextRun), with
// its origin at one of the run's glyphs: the glyph's em at `em` twips with y downwards, which
// the matrix takes to the stage.
struct TextSpace
{
    swf::Matrix matrix;
    double determinant = 0; // 0 when the run has no size to draw at
    std::uint16_t height = 0;
    double em = 0;

    TextSpace(const TextRun& run, const MovieFont& font, const PlacedGlyph& origin)
    {
        const double size = std::sqrt(std::abs(run.a * run.d - run.b * run.c));
        if (!(size > 0) || !std::isfinite(size))
            return;
        height = swf::glyphHeight(size * swf::kTwipsPerPoint, font.unitsPerEm);
        em = swf::emOfHeight(height, font.unitsPerEm);
        const double k = swf::kTwipsPerPoint / em;
        matrix.scaleX = k * run.a;
        matrix.rotateSkew1 = -k * run.c;
        matrix.rotateSkew0 = k * run.b;
        matrix.scaleY = -k * run.d;
        const double d = matrix.scaleX * matrix.scaleY - matrix.rotateSkew0 * matrix.rotateSkew1;
        if (std::abs(d) < 1e-9)
            return;
        determinant = d;
        matrix.translateX = swf::pointsToTwips(origin.x);
        matrix.translateY = swf::pointsToTwips(origin.y);
    }

    // Where `glyph` lies in this space.
    std::pair<double, double> of(const PlacedGlyph& glyph) const
    {
        const double dx = glyph.x * swf::kTwipsPerPoint - matrix.translateX;
        const double dy = glyph.y * swf::kTwipsPerPoint - matrix.translateY;
        return {(matrix.scaleY * dx - matrix.rotateSkew1 * dy) / determinant,
                (-matrix.rotateSkew0 * dx + matrix.scaleX * dy) / determinant};
    }
    // A text record places its glyphs within ±32 000 units of the origin.
    bool reaches(const PlacedGlyph& glyph) const
    {
        const auto [x, y] = of(glyph);
        return std::abs(x) <= 32000 && std::abs(y) <= 32000;
    }
};

// A run as texts whose origins reach all of their glyphs: one text for most runs, several for
// a run whose glyphs lie far apart (a wide title on a poster), each glyph in the first text
// whose origin reaches it, in the run's order.
std::vector<TextRun> reachableTexts(const TextRun& run, const std::vector<MovieFont>& fonts)
{
    const MovieFont& font = fonts.at(static_cast<std::size_t>(run.font));
    std::vector<TextRun> texts;
    std::vector<PlacedGlyph> left = run.glyphs;
    while (!left.empty()) {
        const TextSpace space(run, font, left.front());
        if (space.determinant == 0)
            break;
        TextRun text = run;
        text.glyphs.clear();
        std::vector<PlacedGlyph> further;
        for (const PlacedGlyph& glyph : left)
            (space.reaches(glyph) ? text.glyphs : further).push_back(glyph);
        texts.push_back(std::move(text));
        left = std::move(further);
    }
    return texts;
}

// One DefineText2 for a text of reachableTexts, without the glyphs of `covered`.
void addText(swf::Movie& movie, MovieBuilder& builder, const TextRun& run,
             const std::vector<MovieFont>& fonts, const std::set<GlyphKey>& covered,
             std::uint16_t depth)
{
    const MovieFont& font = fonts.at(static_cast<std::size_t>(run.font));
    const TextSpace space(run, font, run.glyphs.front());
    if (space.determinant == 0)
        return;

    std::vector<swf::TextRun> records;
    swf::Bounds extent;
    extent.include(0, 0); // the first glyph's origin
    for (const PlacedGlyph& glyph : run.glyphs) {
        const int index = font.index.at(static_cast<std::size_t>(glyph.slot));
        if (index < 0 || covered.count({run.source, glyph.index}) || !space.reaches(glyph))
            continue;
        const auto [x, y] = space.of(glyph);
        const auto tx = static_cast<swf::Twips>(std::lround(x));
        const auto ty = static_cast<swf::Twips>(std::lround(y));
        extent.include(tx, ty);
        if (records.empty() || records.back().y != ty || records.back().glyphs.size() == 255) {
            swf::TextRun record;
            record.fontId = font.id;
            record.color = run.color;
            record.height = space.height;
            record.x = tx;
            record.y = ty;
            records.push_back(record);
        } else {
            // The previous glyph's advance brings the pen here.
            swf::TextRun& record = records.back();
            swf::Twips penX = record.x;
            for (std::size_t i = 0; i + 1 < record.glyphs.size(); ++i)
                penX += record.glyphs[i].advance;
            record.glyphs.back().advance = tx - penX;
        }
        records.back().glyphs.push_back({static_cast<std::uint16_t>(index), 0});
    }
    if (records.empty())
        return;
    const swf::Rect bounds =
        swf::grown(extent.rect(), static_cast<swf::Twips>(std::ceil(2 * space.em)));
    const std::uint16_t id = builder.nextId();
    movie.add(swf::defineText2(id, bounds, space.matrix, records));
    movie.add(swf::placeObject2(depth, id));
}

// The page without its vector text, stretched over the stage below everything else.
void addBackground(swf::Movie& movie, MovieBuilder& builder, const swf::Rect& stage,
                   const std::vector<std::uint8_t>& jpeg, int width, int height)
{
    const std::uint16_t bitmap = builder.nextId();
    movie.add(swf::defineBitsJpeg2(bitmap, jpeg));
    const std::uint16_t shape = builder.nextId();
    const int border = bitmapBorder(width, height);
    movie.add(swf::defineShape(
        shape, stage,
        swf::bitmapRectangleShape(bitmap, width + 2 * border, height + 2 * border, stage, border)));
    builder.place(shape);
}

// Each glyph the movie draws is stored once, in its font, at the precision the font's
// largest text on the page needs; every text places it by index. Glyphs of `covered` and
// fonts left with no glyph are not stored.
std::vector<MovieFont> addFonts(swf::Movie& movie, MovieBuilder& builder,
                                const PageDrawing& drawing, const std::set<GlyphKey>& covered)
{
    std::vector<MovieFont> fonts(drawing.fonts.size());
    std::vector<double> largestEm(drawing.fonts.size(), 0);
    for (std::size_t f = 0; f < fonts.size(); ++f)
        fonts[f].index.assign(drawing.fonts[f].outlines.size(), -1);
    for (const Item& item : drawing.items) {
        if (item.kind != Item::Kind::Text)
            continue;
        const auto f = static_cast<std::size_t>(item.text.font);
        for (const PlacedGlyph& glyph : item.text.glyphs) {
            if (covered.count({item.text.source, glyph.index}))
                continue;
            fonts[f].index.at(static_cast<std::size_t>(glyph.slot)) = 0;
            largestEm[f] = std::max(largestEm[f], emLength(item.text));
        }
    }
    for (std::size_t f = 0; f < fonts.size(); ++f) {
        const Font& font = drawing.fonts[f];
        const swf::GlyphPrecision precision = swf::glyphPrecision(largestEm[f]);
        std::vector<swf::ShapeEdges> glyphs;
        std::vector<std::uint16_t> codes;
        for (std::size_t slot = 0; slot < font.outlines.size(); ++slot) {
            if (fonts[f].index[slot] < 0)
                continue;
            fonts[f].index[slot] = static_cast<int>(glyphs.size());
            glyphs.push_back(swf::glyphShape(font.outlines[slot], precision));
            codes.push_back(font.codes[slot]);
        }
        if (glyphs.empty())
            continue;
        fonts[f].id = builder.nextId();
        fonts[f].unitsPerEm = precision.unitsPerEm;
        movie.add(swf::defineFont3(fonts[f].id, font.name, glyphs, codes));
    }
    return fonts;
}

// Per item of the drawing: its depth (0 for none), and for a clip the depth up to which it
// reaches.
struct Depths
{
    std::vector<std::uint16_t> item;
    std::vector<std::uint16_t> clip;
};

// Depths in drawing order, and the depth up to which each clip reaches: the last one
// placed before its end. A text item takes `texts[i]` depths in a row, from its own. An item
// that turns out to draw nothing leaves its depth empty. Without `vectors` only the text and
// the items of `lifted` are placed.
Depths assignDepths(const std::vector<Item>& items, const std::vector<std::size_t>& texts,
                    bool vectors, const std::set<std::size_t>& lifted, MovieBuilder& builder)
{
    Depths depths{std::vector<std::uint16_t>(items.size(), 0),
                  std::vector<std::uint16_t>(items.size(), 0)};
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        if (item.kind == Item::Kind::ClipEnd) {
            if (vectors && !open.empty()) {
                depths.clip[open.back()] = builder.depth();
                open.pop_back();
            }
            continue;
        }
        if (!vectors && item.kind != Item::Kind::Text && !lifted.count(i))
            continue;
        depths.item[i] = builder.nextDepth();
        for (std::size_t more = 1; more < texts[i]; ++more)
            builder.nextDepth();
        if (item.kind == Item::Kind::ClipBegin)
            open.push_back(i);
    }
    for (std::size_t index : open)
        depths.clip[index] = builder.depth();
    return depths;
}

// The page's images as JPEG bitmaps, each stored once, at the size its first placement
// asks for.
class MovieImages
{
public:
    struct Bitmap
    {
        std::uint16_t id = 0;
        int width = 0;
        int height = 0;
    };

    MovieImages(const PageDrawing& drawing, int jpegQuality)
        : m_drawing(drawing), m_jpegQuality(jpegQuality), m_bitmaps(drawing.images.size())
    {}

    // The bitmap of `item`'s image, added to the movie the first time it is placed.
    const Bitmap& bitmapFor(swf::Movie& movie, MovieBuilder& builder, const Item& item)
    {
        Bitmap& bitmap = m_bitmaps.at(static_cast<std::size_t>(item.image));
        if (bitmap.id == 0) {
            const double* m = item.matrix;
            const double longSide = std::max(std::hypot(m[0], m[1]), std::hypot(m[2], m[3]));
            const Pixels pixels = m_drawing.imagePixels(
                item.image,
                std::max(16, static_cast<int>(std::ceil(longSide * kImageDotsPerInch / 72))));
            bitmap.id = builder.nextId();
            bitmap.width = pixels.width;
            bitmap.height = pixels.height;
            movie.add(swf::defineBitsJpeg2(bitmap.id, jpegOf(pixels, m_jpegQuality)));
        }
        return bitmap;
    }

private:
    const PageDrawing& m_drawing;
    int m_jpegQuality;
    std::vector<Bitmap> m_bitmaps;
};

// The bitmap's pixels within its border (see jpegOf) to the unit square, then the image's
// matrix `m`, in twips.
swf::Matrix imageFillMatrix(const double* m, int width, int height)
{
    const double border = bitmapBorder(width, height);
    swf::Matrix fill;
    const double t = swf::kTwipsPerPoint;
    fill.scaleX = t * m[0] / width;
    fill.rotateSkew0 = t * m[1] / width;
    fill.rotateSkew1 = t * m[2] / height;
    fill.scaleY = t * m[3] / height;
    fill.translateX = swf::pointsToTwips(m[4] - border * (m[0] / width + m[2] / height));
    fill.translateY = swf::pointsToTwips(m[5] - border * (m[1] / width + m[3] / height));
    return fill;
}

// The unit square taken by the image's matrix `m` to the page: the area the bitmap fills.
swf::ShapeEdges imageOutline(const double* m)
{
    const auto corner = [&](double u, double v, char axis) {
        return swf::pointsToTwips(axis == 'x' ? m[0] * u + m[2] * v + m[4]
                                              : m[1] * u + m[3] * v + m[5]);
    };
    swf::ShapeEdges edges;
    edges.moveTo(corner(0, 0, 'x'), corner(0, 0, 'y'), 1);
    edges.lineTo(corner(1, 0, 'x'), corner(1, 0, 'y'));
    edges.lineTo(corner(1, 1, 'x'), corner(1, 1, 'y'));
    edges.lineTo(corner(0, 1, 'x'), corner(0, 1, 'y'));
    edges.lineTo(corner(0, 0, 'x'), corner(0, 0, 'y'));
    return edges;
}

// The area a fill or a clip covers, as every player fills it: overlapping subpaths of a
// non-zero fill as the boundary of what they cover.
swf::ShapeEdges fillEdges(const Item& item)
{
    if (!item.nonZero)
        return MovieBuilder::edges(item.outline, true, 1, 0);
    swf::Path path;
    for (const Edge& edge : item.outline) {
        if (edge.kind == Edge::Kind::Move)
            path.moveTo({static_cast<double>(edge.x), static_cast<double>(edge.y)});
        else if (edge.kind == Edge::Kind::Line)
            path.lineTo({static_cast<double>(edge.x), static_cast<double>(edge.y)});
        else
            path.quadTo({static_cast<double>(edge.controlX), static_cast<double>(edge.controlY)},
                        {static_cast<double>(edge.x), static_cast<double>(edge.y)});
    }
    return swf::nonZeroEdges(path, 1);
}

// One fill, stroke, clip or image of the Vector form as shape `id` placed at `depth`; a clip
// reaches up to `clipDepth`.
void addShape(swf::Movie& movie, MovieBuilder& builder, MovieImages& images, const Item& item,
              std::uint16_t id, std::uint16_t depth, std::uint16_t clipDepth)
{
    switch (item.kind) {
    case Item::Kind::Fill:
        movie.add(swf::defineShape4(id, {swf::ShapeFill{item.color, 0, {}}}, {}, fillEdges(item),
                                    item.nonZero));
        movie.add(swf::placeObject2(depth, id));
        break;
    case Item::Kind::Stroke:
        movie.add(swf::defineShape4(id, {}, {item.line},
                                    MovieBuilder::edges(item.outline, false, 0, 1), false));
        movie.add(swf::placeObject2(depth, id));
        break;
    case Item::Kind::ClipBegin:
        movie.add(swf::defineShape4(id, {swf::ShapeFill{}}, {}, fillEdges(item), item.nonZero));
        movie.add(swf::placeClip(depth, id, std::max(clipDepth, depth)));
        break;
    case Item::Kind::Image: {
        const MovieImages::Bitmap& bitmap = images.bitmapFor(movie, builder, item);
        const swf::Matrix fill = imageFillMatrix(item.matrix, bitmap.width, bitmap.height);
        movie.add(swf::defineShape4(id, {swf::ShapeFill{{}, bitmap.id, fill}}, {},
                                    imageOutline(item.matrix), false));
        movie.add(swf::placeObject2(depth, id));
        break;
    }
    default:
        break;
    }
}

} // namespace

swf::Bytes vectorMovie(const PageDrawing& drawing, VectorForm form, const PageSize& size,
                       const std::vector<std::uint8_t>& backgroundJpeg, int backgroundWidth,
                       int backgroundHeight, int jpegQuality, const std::set<GlyphKey>& covered,
                       const std::set<std::size_t>& lifted)
{
    const swf::Rect stage{0, swf::pointsToTwips(size.width), 0, swf::pointsToTwips(size.height)};
    swf::Movie movie(stage);
    movie.add(swf::fileAttributes(0));
    movie.add(swf::setBackgroundColor({255, 255, 255}));
    MovieBuilder builder(movie);
    if (form == VectorForm::TextOverImage)
        addBackground(movie, builder, stage, backgroundJpeg, backgroundWidth, backgroundHeight);
    const std::vector<MovieFont> fonts = addFonts(movie, builder, drawing, covered);

    std::vector<std::vector<TextRun>> texts(drawing.items.size());
    std::vector<std::size_t> textCounts(drawing.items.size(), 1);
    for (std::size_t i = 0; i < drawing.items.size(); ++i) {
        if (drawing.items[i].kind == Item::Kind::Text) {
            texts[i] = reachableTexts(drawing.items[i].text, fonts);
            textCounts[i] = std::max<std::size_t>(texts[i].size(), 1);
        }
    }

    const bool vectors = form == VectorForm::Vector;
    const Depths depths = assignDepths(drawing.items, textCounts, vectors, lifted, builder);
    MovieImages images(drawing, jpegQuality);
    for (std::size_t i = 0; i < drawing.items.size(); ++i) {
        const Item& item = drawing.items[i];
        if (item.kind == Item::Kind::Text) {
            for (std::size_t t = 0; t < texts[i].size(); ++t)
                addText(movie, builder, texts[i][t], fonts, covered,
                        static_cast<std::uint16_t>(depths.item[i] + t));
        } else if ((vectors || lifted.count(i)) && item.kind != Item::Kind::ClipEnd) {
            const std::uint16_t id = builder.nextId();
            addShape(movie, builder, images, item, id, depths.item[i], depths.clip[i]);
        }
    }
    movie.add(swf::showFrame());
    return movie.finish(swf::Compression::Zlib);
}

} // namespace vellora::converter::vector
