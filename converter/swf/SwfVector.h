#pragma once

// Vector drawing in SWF: DefineShape4 shapes (RGBA colours, caps and joins, non-zero or
// even-odd filling), DefineFont3 fonts whose glyphs are drawn once and DefineText2 texts
// that place them, and placements that clip the depths above them.

#include "SwfBits.h"
#include "SwfMovie.h"
#include "SwfShape.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellora::swf {

struct Rgba
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
};

inline constexpr std::uint16_t kDefineFont3 = 75;
inline constexpr std::uint16_t kDefineText2 = 33;
inline constexpr std::uint16_t kDefineShape4 = 83;

// The edges of one shape: moves that select styles, straight and quadratic edges. Points
// are absolute twips; the records store the deltas, and an edge longer than a record
// holds (65 535 twips either way) is written as several.
class ShapeEdges
{
public:
    void moveTo(Twips x, Twips y, int fillStyle0, int fillStyle1 = 0, int lineStyle = 0);
    void lineTo(Twips x, Twips y);
    void curveTo(Twips controlX, Twips controlY, Twips anchorX, Twips anchorY);

    bool empty() const { return m_records.empty(); }
    Rect bounds() const { return m_bounds.rect(); }

    // The records, NumFillBits and NumLineBits first, ending with the end-of-shape record.
    void write(Bytes& out, int fillBits, int lineBits) const;

private:
    struct Record
    {
        char kind; // 'm', 'l' or 'c'
        Twips x, y, controlX, controlY;
        int fill0, fill1, line;
    };

    std::vector<Record> m_records;
    Twips m_penX = 0, m_penY = 0;
    Bounds m_bounds;
};

// A solid colour or a bitmap shown once (clipped, smoothed) through a matrix.
struct ShapeFill
{
    Rgba color;
    std::uint16_t bitmapId = 0; // non-zero: bitmap fill
    Matrix bitmapMatrix;
};

enum class LineCap : std::uint8_t
{
    Round = 0,
    None = 1,
    Square = 2
};

enum class LineJoin : std::uint8_t
{
    Round = 0,
    Bevel = 1,
    Miter = 2
};

struct ShapeLine
{
    std::uint16_t width = 20; // twips
    Rgba color;
    LineCap cap = LineCap::Round;
    LineJoin join = LineJoin::Round;
    double miterLimit = 10; // miter joins only
};

// DefineShape4. `nonZero` selects the non-zero winding rule, otherwise even-odd. Style
// indices in `edges` count from 1 in the order of `fills` and `lines`.
Tag defineShape4(std::uint16_t shapeId, const std::vector<ShapeFill>& fills,
                 const std::vector<ShapeLine>& lines, const ShapeEdges& edges, bool nonZero);

// DefineFont3: glyph outlines in an em square of 20480 units (y downwards), each drawn with
// fill style 1 as fill style 0. `codes` holds one character code per glyph.
Tag defineFont3(std::uint16_t fontId, const std::string& name,
                const std::vector<ShapeEdges>& glyphs, const std::vector<std::uint16_t>& codes);

// One text record: glyphs of one font, colour and height, starting at (x, y) in text
// space; each glyph's advance moves the pen along x to the next one.
struct TextRun
{
    std::uint16_t fontId = 0;
    Rgba color;
    std::uint16_t height = 0; // twips per em
    Twips x = 0;
    Twips y = 0;
    struct Glyph
    {
        std::uint16_t index = 0;
        std::int32_t advance = 0;
    };
    std::vector<Glyph> glyphs;
};

// DefineText2: `matrix` maps text space (twips) to the stage.
Tag defineText2(std::uint16_t textId, const Rect& bounds, const Matrix& matrix,
                const std::vector<TextRun>& runs);

// PlaceObject2 of a clipping shape: it draws nothing and clips depths depth+1 to clipDepth.
Tag placeClip(std::uint16_t depth, std::uint16_t characterId, std::uint16_t clipDepth);

} // namespace vellora::swf
