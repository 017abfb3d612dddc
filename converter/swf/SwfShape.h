#pragma once

// Shape records: the drawing commands inside DefineShape tags.

#include "SwfBits.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace vellora::swf {

// Edge records hold deltas of at most 17 bits (a 4-bit field gives their size, plus 2): about
// 3276 points either way. Longer edges are written as several shorter ones along the same path.
inline constexpr Twips kMaxEdgeDelta = 65535;

// Bits of a signed record field that holds each of `values`, at least `minimum`.
int fieldBits(std::initializer_list<std::int32_t> values, int minimum);

// A style-change record that moves the pen to (x, y) and selects fill styles 0 and 1 and the
// line style. A shape without fill or line styles (0 bits) leaves those fields out.
void writeMoveRecord(BitWriter& bits, Twips x, Twips y, int fill0, int fill1, int line,
                     int fillBits, int lineBits);

enum class FillKind : std::uint8_t
{
    Solid = 0x00,
    RepeatingBitmap = 0x40,
    ClippedBitmap = 0x41, // the bitmap shown once, smoothed: the fill for page images
    NonSmoothedRepeatingBitmap = 0x42,
    NonSmoothedClippedBitmap = 0x43,
};

struct FillStyle
{
    FillKind kind = FillKind::Solid;
    Rgb color;                  // Solid
    std::uint16_t bitmapId = 0; // bitmap fills
    Matrix bitmapMatrix;        // bitmap pixels to shape twips (20 = one pixel per point)

    static FillStyle solid(Rgb color);
    static FillStyle bitmap(std::uint16_t bitmapId, const Matrix& matrix,
                            FillKind kind = FillKind::ClippedBitmap);
};

struct LineStyle
{
    std::uint16_t width = 20; // twips
    Rgb color;
};

// Builds the SHAPEWITHSTYLE record of a DefineShape tag (shape version 1: up to 255 styles,
// RGB colours). Coordinates are absolute twips; the records store the deltas.
class ShapeBuilder
{
public:
    // Styles are numbered from 1 in the order they are added; 0 means "none".
    int addFillStyle(const FillStyle& style);
    int addLineStyle(const LineStyle& style);

    // Selects the styles for the edges that follow and moves the pen without drawing.
    void moveTo(Twips x, Twips y, int fillStyle0, int fillStyle1 = 0, int lineStyle = 0);
    void lineTo(Twips x, Twips y);
    void curveTo(Twips controlX, Twips controlY, Twips anchorX, Twips anchorY);

    // Serializes the styles and records, ending with the end-of-shape record.
    Bytes finish() const;

    // Bounds of every point drawn so far (the pen positions and control points).
    Rect bounds() const;

private:
    struct Record
    {
        enum class Kind
        {
            StyleChange,
            Line,
            Curve
        } kind;
        Twips x = 0, y = 0;               // move target, line end or curve anchor
        Twips controlX = 0, controlY = 0; // curve control point
        int fill0 = 0, fill1 = 0, line = 0;
    };

    std::vector<FillStyle> m_fills;
    std::vector<LineStyle> m_lines;
    std::vector<Record> m_records;
    Twips m_penX = 0, m_penY = 0;
    Bounds m_bounds;
};

// A rectangle of the given size filled with a bitmap of widthPixels x heightPixels, scaled
// so that the bitmap less `border` pixels on each side covers it exactly: the page image of
// a converted page.
Bytes bitmapRectangleShape(std::uint16_t bitmapId, int widthPixels, int heightPixels,
                           const Rect& area, int border = 0);

} // namespace vellora::swf
