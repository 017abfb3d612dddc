#include "SwfShape.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace vellora::swf {

int fieldBits(std::initializer_list<std::int32_t> values, int minimum)
{
    int bits = minimum;
    for (std::int32_t value : values)
        bits = std::max(bits, signedBitsFor(value));
    return bits;
}

void writeMoveRecord(BitWriter& bits, Twips x, Twips y, int fill0, int fill1, int line,
                     int fillBits, int lineBits)
{
    bits.writeUnsigned(0, 1); // non-edge record
    bits.writeUnsigned(0, 1); // no new styles
    bits.writeUnsigned(lineBits > 0 ? 1 : 0, 1);
    bits.writeUnsigned(fillBits > 0 ? 1 : 0, 1); // fill style 1
    bits.writeUnsigned(fillBits > 0 ? 1 : 0, 1); // fill style 0
    bits.writeUnsigned(1, 1);                    // move to
    const int moveBits = fieldBits({x, y}, 1);
    bits.writeUnsigned(static_cast<std::uint32_t>(moveBits), 5);
    bits.writeSigned(x, moveBits);
    bits.writeSigned(y, moveBits);
    if (fillBits > 0) {
        bits.writeUnsigned(static_cast<std::uint32_t>(fill0), fillBits);
        bits.writeUnsigned(static_cast<std::uint32_t>(fill1), fillBits);
    }
    if (lineBits > 0)
        bits.writeUnsigned(static_cast<std::uint32_t>(line), lineBits);
}

FillStyle FillStyle::solid(Rgb color)
{
    FillStyle style;
    style.kind = FillKind::Solid;
    style.color = color;
    return style;
}

FillStyle FillStyle::bitmap(std::uint16_t bitmapId, const Matrix& matrix, FillKind kind)
{
    FillStyle style;
    style.kind = kind;
    style.bitmapId = bitmapId;
    style.bitmapMatrix = matrix;
    return style;
}

int ShapeBuilder::addFillStyle(const FillStyle& style)
{
    if (m_fills.size() >= 255)
        throw std::length_error("too many fill styles in one shape");
    m_fills.push_back(style);
    return static_cast<int>(m_fills.size());
}

int ShapeBuilder::addLineStyle(const LineStyle& style)
{
    if (m_lines.size() >= 255)
        throw std::length_error("too many line styles in one shape");
    m_lines.push_back(style);
    return static_cast<int>(m_lines.size());
}

void ShapeBuilder::moveTo(Twips x, Twips y, int fillStyle0, int fillStyle1, int lineStyle)
{
    const auto fills = static_cast<int>(m_fills.size());
    const auto lines = static_cast<int>(m_lines.size());
    if (fillStyle0 < 0 || fillStyle0 > fills || fillStyle1 < 0 || fillStyle1 > fills ||
        lineStyle < 0 || lineStyle > lines)
        throw std::out_of_range("shape style index not defined");
    m_records.push_back({Record::Kind::StyleChange, x, y, 0, 0, fillStyle0, fillStyle1, lineStyle});
    m_penX = x;
    m_penY = y;
    m_bounds.include(x, y);
}

void ShapeBuilder::lineTo(Twips x, Twips y)
{
    m_records.push_back({Record::Kind::Line, x, y, 0, 0, 0, 0, 0});
    m_penX = x;
    m_penY = y;
    m_bounds.include(x, y);
}

void ShapeBuilder::curveTo(Twips controlX, Twips controlY, Twips anchorX, Twips anchorY)
{
    m_records.push_back({Record::Kind::Curve, anchorX, anchorY, controlX, controlY, 0, 0, 0});
    m_penX = anchorX;
    m_penY = anchorY;
    m_bounds.include(controlX, controlY);
    m_bounds.include(anchorX, anchorY);
}

Rect ShapeBuilder::bounds() const
{
    return m_bounds.rect();
}

namespace {

void writeFillStyle(ByteWriter& out, const FillStyle& style)
{
    out.u8(static_cast<std::uint8_t>(style.kind));
    if (style.kind == FillKind::Solid) {
        out.rgb(style.color);
        return;
    }
    out.u16(style.bitmapId);
    out.matrix(style.bitmapMatrix);
}

bool fitsEdge(std::initializer_list<std::int32_t> deltas)
{
    for (std::int32_t delta : deltas) {
        if (delta > kMaxEdgeDelta || delta < -kMaxEdgeDelta)
            return false;
    }
    return true;
}

void writeLine(BitWriter& bits, Twips dx, Twips dy)
{
    if (!fitsEdge({dx, dy})) {
        // Equal parts, each ending on a whole twip of the exact line, the last at its end.
        const std::int64_t longest =
            std::max(std::abs(std::int64_t{dx}), std::abs(std::int64_t{dy}));
        const std::int64_t parts = (longest + kMaxEdgeDelta - 1) / kMaxEdgeDelta;
        std::int64_t doneX = 0, doneY = 0;
        for (std::int64_t part = 1; part <= parts; ++part) {
            const std::int64_t x = dx * part / parts, y = dy * part / parts;
            writeLine(bits, static_cast<Twips>(x - doneX), static_cast<Twips>(y - doneY));
            doneX = x;
            doneY = y;
        }
        return;
    }
    const int numBits = fieldBits({dx, dy}, 2);
    bits.writeUnsigned(1, 1); // edge
    bits.writeUnsigned(1, 1); // straight
    bits.writeUnsigned(static_cast<std::uint32_t>(numBits - 2), 4);
    bits.writeUnsigned(1, 1); // general line: both deltas
    bits.writeSigned(dx, numBits);
    bits.writeSigned(dy, numBits);
}

// A quadratic curve given by its two deltas (pen to control point, control point to anchor).
void writeCurve(BitWriter& bits, Twips cx, Twips cy, Twips ax, Twips ay)
{
    if (!fitsEdge({cx, cy, ax, ay})) {
        // Split in two halves at its middle (de Casteljau); each half has half the deltas.
        const std::int64_t controlX = cx, controlY = cy, anchorX = std::int64_t{cx} + ax,
                           anchorY = std::int64_t{cy} + ay;
        const std::int64_t firstX = controlX / 2, firstY = controlY / 2;
        const std::int64_t secondX = (controlX + anchorX) / 2, secondY = (controlY + anchorY) / 2;
        const std::int64_t middleX = (firstX + secondX) / 2, middleY = (firstY + secondY) / 2;
        writeCurve(bits, static_cast<Twips>(firstX), static_cast<Twips>(firstY),
                   static_cast<Twips>(middleX - firstX), static_cast<Twips>(middleY - firstY));
        writeCurve(bits, static_cast<Twips>(secondX - middleX),
                   static_cast<Twips>(secondY - middleY), static_cast<Twips>(anchorX - secondX),
                   static_cast<Twips>(anchorY - secondY));
        return;
    }
    const int numBits = fieldBits({cx, cy, ax, ay}, 2);
    bits.writeUnsigned(1, 1); // edge
    bits.writeUnsigned(0, 1); // curved
    bits.writeUnsigned(static_cast<std::uint32_t>(numBits - 2), 4);
    bits.writeSigned(cx, numBits);
    bits.writeSigned(cy, numBits);
    bits.writeSigned(ax, numBits);
    bits.writeSigned(ay, numBits);
}

} // namespace

Bytes ShapeBuilder::finish() const
{
    Bytes bytes;
    ByteWriter out(bytes);
    out.u8(static_cast<std::uint8_t>(m_fills.size()));
    for (const FillStyle& fill : m_fills)
        writeFillStyle(out, fill);
    out.u8(static_cast<std::uint8_t>(m_lines.size()));
    for (const LineStyle& line : m_lines) {
        out.u16(line.width);
        out.rgb(line.color);
    }

    const int fillBits = unsignedBitsFor(static_cast<std::uint32_t>(m_fills.size()));
    const int lineBits = unsignedBitsFor(static_cast<std::uint32_t>(m_lines.size()));
    BitWriter bits(bytes);
    bits.writeUnsigned(static_cast<std::uint32_t>(fillBits), 4);
    bits.writeUnsigned(static_cast<std::uint32_t>(lineBits), 4);

    Twips penX = 0, penY = 0;
    for (const Record& record : m_records) {
        switch (record.kind) {
        case Record::Kind::StyleChange:
            writeMoveRecord(bits, record.x, record.y, record.fill0, record.fill1, record.line,
                            fillBits, lineBits);
            break;
        case Record::Kind::Line:
            writeLine(bits, record.x - penX, record.y - penY);
            break;
        case Record::Kind::Curve:
            writeCurve(bits, record.controlX - penX, record.controlY - penY,
                       record.x - record.controlX, record.y - record.controlY);
            break;
        }
        penX = record.x;
        penY = record.y;
    }
    bits.writeUnsigned(0, 6); // end of shape
    bits.align();
    return bytes;
}

Bytes bitmapRectangleShape(std::uint16_t bitmapId, int widthPixels, int heightPixels,
                           const Rect& area, int border)
{
    if (border < 0 || widthPixels <= 2 * border || heightPixels <= 2 * border)
        throw std::invalid_argument("empty bitmap");
    Matrix matrix;
    matrix.scaleX = static_cast<double>(area.xMax - area.xMin) / (widthPixels - 2 * border);
    matrix.scaleY = static_cast<double>(area.yMax - area.yMin) / (heightPixels - 2 * border);
    matrix.translateX = static_cast<Twips>(std::lround(area.xMin - matrix.scaleX * border));
    matrix.translateY = static_cast<Twips>(std::lround(area.yMin - matrix.scaleY * border));

    ShapeBuilder shape;
    const int fill = shape.addFillStyle(FillStyle::bitmap(bitmapId, matrix));
    shape.moveTo(area.xMin, area.yMin, 0, fill);
    shape.lineTo(area.xMax, area.yMin);
    shape.lineTo(area.xMax, area.yMax);
    shape.lineTo(area.xMin, area.yMax);
    shape.lineTo(area.xMin, area.yMin);
    return shape.finish();
}

} // namespace vellora::swf
