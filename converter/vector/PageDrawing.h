#pragma once

// A page read as drawing operations rather than pixels: filled and stroked outlines, text
// as glyphs of fonts whose outlines are kept once, images with their placement, and clips.
// Collected by a MuPDF device of our own walking the page's display list.

#include "PdfPages.h"
#include "SwfPath.h"
#include "SwfVector.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct fz_image;

namespace vellora::converter::vector {

// Packed RGB pixels (3 bytes a pixel, `stride` bytes a row).
struct Pixels
{
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> rgb;
};

// Baseline JPEG of `pixels` at `quality` (0 to 100), with the border that bitmapBorder
// gives their size (see withEdgeBorder): the one place this code meets the converter's JPEG
// writer.
std::vector<std::uint8_t> jpegOf(const Pixels& pixels, int quality);

// One step of an outline, in twips of the page (origin top left, y downwards).
struct Edge
{
    enum class Kind : std::uint8_t
    {
        Move,
        Line,
        Curve // quadratic: control point, then end point
    } kind;
    swf::Twips controlX = 0, controlY = 0;
    swf::Twips x = 0, y = 0;
};
using Outline = std::vector<Edge>;

// A rectangle of the page in points, or of a glyph's em.
struct Box
{
    double x0 = 0, y0 = 0, x1 = -1, y1 = -1;

    bool empty() const { return x1 < x0 || y1 < y0; }
    bool meets(const Box& other) const
    {
        return !empty() && !other.empty() && x0 <= other.x1 && other.x0 <= x1 && y0 <= other.y1 &&
               other.y0 <= y1;
    }
    void include(double x, double y);
};

// A glyph drawn at one place: its slot in the font, its origin in points of the page, and
// which glyph of its MuPDF text it is (counted over the text's spans).
struct PlacedGlyph
{
    int slot = 0;
    double x = 0, y = 0;
    int index = 0;
};

// Glyphs of one font sharing one transform: `a b c d` map the glyph's em (y upwards) to
// points of the page, as a PDF text matrix times the page's does. `source` is the MuPDF
// text they come from, the same object each time the page's display list is run.
struct TextRun
{
    int font = 0;
    swf::Rgba color;
    double a = 1, b = 0, c = 0, d = 1;
    std::vector<PlacedGlyph> glyphs;
    const void* source = nullptr;
};

// A glyph of the page by where it comes from: its MuPDF text and its place in it.
struct GlyphKey
{
    const void* text = nullptr;
    int index = 0;

    friend auto operator<=>(const GlyphKey&, const GlyphKey&) = default;
};

struct Item
{
    enum class Kind : std::uint8_t
    {
        Fill,
        Stroke,
        Text,
        Image,
        ClipBegin,
        ClipEnd
    } kind = Kind::Fill;
    Outline outline;                       // Fill, Stroke, ClipBegin
    bool nonZero = true;                   // Fill, ClipBegin
    swf::Rgba color;                       // Fill
    swf::ShapeLine line;                   // Stroke
    TextRun text;                          // Text
    int image = -1;                        // Image
    double matrix[6] = {1, 0, 0, 1, 0, 0}; // Image: unit square to page points
    int imageWidth = 0, imageHeight = 0;   // Image: its pixels
    bool transparent = false;              // Image: with a mask or drawn see-through
};

struct Font
{
    std::string name;
    std::vector<swf::Path> outlines; // in ems, y downwards, origin on the baseline
    std::vector<Box> bounds;         // of each outline, in ems, y downwards
    std::vector<std::uint16_t> codes;
    std::map<int, int> slots; // glyph id in the font file -> slot
};

// Paint that has no item of its own (shades, image masks, text kept as an image), drawn
// after the first `after` items.
struct OtherPaint
{
    std::size_t after = 0;
    Box area;
};

// Where the page's drawing stands, in the order it is drawn.
class PageDrawing
{
public:
    ~PageDrawing();
    PageDrawing() = default;
    PageDrawing(const PageDrawing&) = delete;
    PageDrawing& operator=(const PageDrawing&) = delete;

    std::vector<Item> items;
    std::vector<Font> fonts;
    std::vector<fz_image*> images; // kept; decoded only when the movie embeds them
    std::vector<OtherPaint> otherPaint;

    std::size_t textGlyphs = 0; // glyphs drawn as vectors
    std::size_t shapeItems = 0; // fills, strokes, images and clips
    std::size_t shapeEdges = 0; // edges of those (glyph outlines not included)
    double imageArea = 0;       // square points covered by images, overlaps counted twice
    std::string unsupported;    // the first content that has no vector form, or empty
    bool seeThrough = false;    // soft masks or transparency groups, which blend what they hold

    // Decodes image `index` as packed RGB at most `maxSide` pixels on its longer side.
    Pixels imagePixels(int index, int maxSide) const;

private:
    friend std::unique_ptr<PageDrawing> readDrawing(const PdfPages::Page& page);
    void* m_context = nullptr;
};

// Walks the page once. Glyphs with outlines are kept as text, and so are Type 3 glyphs
// made only of fills and image masks in their text's colour (the masks traced pixel by
// pixel); other glyphs stay in the background, noted in `unsupported`. The rest is kept as
// outlines and images, or noted there.
std::unique_ptr<PageDrawing> readDrawing(const PdfPages::Page& page);

// Draws the page on white at `scale` pixels per point without the text that `readDrawing`
// keeps as glyphs, except the glyphs of `keep`, and without the images numbered in
// `leaveOut` (0 for the first image item, in drawing order): the background under vector
// text and images, with the text that later paint covers.
Pixels renderWithoutText(const PdfPages::Page& page, double scale,
                         const std::set<GlyphKey>& keep = {}, const std::set<int>& leaveOut = {});

// The page as a self-contained SVG document (MuPDF's SVG output: glyphs as shared
// symbols, images embedded).
std::vector<std::uint8_t> pageSvg(const PdfPages::Page& page);

} // namespace vellora::converter::vector
