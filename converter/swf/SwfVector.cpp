#include "SwfVector.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace vellora::swf {

void ShapeEdges::moveTo(Twips x, Twips y, int fillStyle0, int fillStyle1, int lineStyle)
{
    m_records.push_back({'m', x, y, 0, 0, fillStyle0, fillStyle1, lineStyle});
    m_penX = x;
    m_penY = y;
    m_bounds.include(x, y);
}

void ShapeEdges::lineTo(Twips x, Twips y)
{
    const std::int64_t dx = std::int64_t{x} - m_penX, dy = std::int64_t{y} - m_penY;
    const std::int64_t longest = std::max(std::abs(dx), std::abs(dy));
    const std::int64_t pieces = (longest + kMaxEdgeDelta - 1) / kMaxEdgeDelta;
    const Twips fromX = m_penX, fromY = m_penY;
    for (std::int64_t i = 1; i < pieces; ++i) {
        const auto px = static_cast<Twips>(fromX + dx * i / pieces);
        const auto py = static_cast<Twips>(fromY + dy * i / pieces);
        m_records.push_back({'l', px, py, 0, 0, 0, 0, 0});
    }
    m_records.push_back({'l', x, y, 0, 0, 0, 0, 0});
    m_penX = x;
    m_penY = y;
    m_bounds.include(x, y);
}

void ShapeEdges::curveTo(Twips controlX, Twips controlY, Twips anchorX, Twips anchorY)
{
    const auto far = [](Twips a, Twips b) {
        return std::abs(std::int64_t{a} - b) > kMaxEdgeDelta;
    };
    if (far(controlX, m_penX) || far(controlY, m_penY) || far(anchorX, controlX) ||
        far(anchorY, controlY)) {
        // Halves of the curve (de Casteljau), each short enough or halved again.
        const auto mid = [](Twips a, Twips b) {
            return static_cast<Twips>((std::int64_t{a} + b) / 2);
        };
        const Twips c1x = mid(m_penX, controlX), c1y = mid(m_penY, controlY);
        const Twips c2x = mid(controlX, anchorX), c2y = mid(controlY, anchorY);
        const Twips mx = mid(c1x, c2x), my = mid(c1y, c2y);
        curveTo(c1x, c1y, mx, my);
        curveTo(c2x, c2y, anchorX, anchorY);
        return;
    }
    m_records.push_back({'c', anchorX, anchorY, controlX, controlY, 0, 0, 0});
    m_penX = anchorX;
    m_penY = anchorY;
    m_bounds.include(controlX, controlY);
    m_bounds.include(anchorX, anchorY);
}

namespace {

// Counts of style arrays: one byte, or 0xFF followed by the count on 16 bits.
void writeCount(ByteWriter& out, std::size_t count)
{
    if (count > 0xFFFF)
        throw std::length_error("too many styles in one shape");
    if (count < 0xFF) {
        out.u8(static_cast<std::uint8_t>(count));
    } else {
        out.u8(0xFF);
        out.u16(static_cast<std::uint16_t>(count));
    }
}

void writeRgba(ByteWriter& out, const Rgba& color)
{
    out.u8(color.red);
    out.u8(color.green);
    out.u8(color.blue);
    out.u8(color.alpha);
}

} // namespace

void ShapeEdges::write(Bytes& out, int fillBits, int lineBits) const
{
    BitWriter bits(out);
    bits.writeUnsigned(static_cast<std::uint32_t>(fillBits), 4);
    bits.writeUnsigned(static_cast<std::uint32_t>(lineBits), 4);
    Twips penX = 0, penY = 0;
    for (const Record& record : m_records) {
        if (record.kind == 'm') {
            writeMoveRecord(bits, record.x, record.y, record.fill0, record.fill1, record.line,
                            fillBits, lineBits);
        } else if (record.kind == 'l') {
            const Twips dx = record.x - penX, dy = record.y - penY;
            const int numBits = fieldBits({dx, dy}, 2);
            bits.writeUnsigned(3, 2); // straight edge
            bits.writeUnsigned(static_cast<std::uint32_t>(numBits - 2), 4);
            if (dx != 0 && dy != 0) {
                bits.writeUnsigned(1, 1); // general line
                bits.writeSigned(dx, numBits);
                bits.writeSigned(dy, numBits);
            } else {
                bits.writeUnsigned(0, 1);
                bits.writeUnsigned(dx == 0 ? 1 : 0, 1); // vertical
                bits.writeSigned(dx == 0 ? dy : dx, numBits);
            }
        } else {
            const Twips cx = record.controlX - penX, cy = record.controlY - penY;
            const Twips ax = record.x - record.controlX, ay = record.y - record.controlY;
            const int numBits = fieldBits({cx, cy, ax, ay}, 2);
            bits.writeUnsigned(2, 2); // curved edge
            bits.writeUnsigned(static_cast<std::uint32_t>(numBits - 2), 4);
            bits.writeSigned(cx, numBits);
            bits.writeSigned(cy, numBits);
            bits.writeSigned(ax, numBits);
            bits.writeSigned(ay, numBits);
        }
        penX = record.x;
        penY = record.y;
    }
    bits.writeUnsigned(0, 6); // end of shape
    bits.align();
}

Tag defineShape4(std::uint16_t shapeId, const std::vector<ShapeFill>& fills,
                 const std::vector<ShapeLine>& lines, const ShapeEdges& edges, bool nonZero)
{
    Twips widest = 0;
    for (const ShapeLine& line : lines)
        widest = std::max<Twips>(widest, line.width);
    Bytes body;
    ByteWriter out(body);
    out.u16(shapeId);
    out.rect(grown(edges.bounds(), (widest + 1) / 2));
    out.rect(edges.bounds());
    out.u8(nonZero ? 0x04 : 0x00);

    writeCount(out, fills.size());
    for (const ShapeFill& fill : fills) {
        if (fill.bitmapId == 0) {
            out.u8(0x00);
            writeRgba(out, fill.color);
        } else {
            out.u8(0x41); // clipped, smoothed bitmap
            out.u16(fill.bitmapId);
            out.matrix(fill.bitmapMatrix);
        }
    }
    writeCount(out, lines.size());
    for (const ShapeLine& line : lines) {
        out.u16(line.width);
        const auto cap = static_cast<std::uint8_t>(line.cap);
        const auto join = static_cast<std::uint8_t>(line.join);
        out.u8(static_cast<std::uint8_t>(cap << 6 | join << 4)); // no fill, scaled both ways
        out.u8(cap);                                             // no close flag: end cap
        if (line.join == LineJoin::Miter)
            out.fixed8(std::clamp(line.miterLimit, 1.0, 255.0));
        writeRgba(out, line.color);
    }
    edges.write(body, unsignedBitsFor(static_cast<std::uint32_t>(fills.size())),
                unsignedBitsFor(static_cast<std::uint32_t>(lines.size())));
    return tag(kDefineShape4, std::move(body), true);
}

Tag defineFont3(std::uint16_t fontId, const std::string& name,
                const std::vector<ShapeEdges>& glyphs, const std::vector<std::uint16_t>& codes)
{
    if (glyphs.size() != codes.size() || glyphs.size() > 0xFFFF)
        throw std::invalid_argument("font glyphs and codes differ");
    std::vector<Bytes> shapes;
    std::size_t shapeBytes = 0;
    for (const ShapeEdges& glyph : glyphs) {
        shapes.emplace_back();
        glyph.write(shapes.back(), 1, 0);
        shapeBytes += shapes.back().size();
    }
    const bool wide = (glyphs.size() + 1) * 2 + shapeBytes > 0xFFFF;
    const std::size_t offsetSize = wide ? 4 : 2;

    Bytes body;
    ByteWriter out(body);
    out.u16(fontId);
    out.u8(wide ? 0x0C : 0x04); // wide codes, wide offsets when needed, no layout
    out.u8(0);                  // language
    const std::string shortName = name.substr(0, 255);
    out.u8(static_cast<std::uint8_t>(shortName.size()));
    for (char c : shortName)
        out.u8(static_cast<std::uint8_t>(c));
    out.u16(static_cast<std::uint16_t>(glyphs.size()));
    std::size_t offset = (glyphs.size() + 1) * offsetSize;
    const auto writeOffset = [&](std::size_t value) {
        if (wide)
            out.u32(static_cast<std::uint32_t>(value));
        else
            out.u16(static_cast<std::uint16_t>(value));
    };
    for (const Bytes& shape : shapes) {
        writeOffset(offset);
        offset += shape.size();
    }
    writeOffset(offset); // where the code table starts
    for (const Bytes& shape : shapes)
        out.bytes(shape);
    for (std::uint16_t code : codes)
        out.u16(code);
    return tag(kDefineFont3, std::move(body), true);
}

Tag defineText2(std::uint16_t textId, const Rect& bounds, const Matrix& matrix,
                const std::vector<TextRun>& runs)
{
    int glyphBits = 1, advanceBits = 1;
    for (const TextRun& run : runs) {
        if (run.glyphs.empty() || run.glyphs.size() > 255)
            throw std::invalid_argument("a text record holds 1 to 255 glyphs");
        if (run.x < -32768 || run.x > 32767 || run.y < -32768 || run.y > 32767)
            throw std::range_error("text record offset out of range");
        for (const TextRun::Glyph& glyph : run.glyphs) {
            glyphBits = std::max(glyphBits, unsignedBitsFor(glyph.index));
            advanceBits = std::max(advanceBits, signedBitsFor(glyph.advance));
        }
    }
    Bytes body;
    ByteWriter out(body);
    out.u16(textId);
    out.rect(bounds);
    out.matrix(matrix);
    out.u8(static_cast<std::uint8_t>(glyphBits));
    out.u8(static_cast<std::uint8_t>(advanceBits));
    for (const TextRun& run : runs) {
        out.u8(0x8F); // text record with font, colour, x and y
        out.u16(run.fontId);
        writeRgba(out, run.color);
        out.u16(static_cast<std::uint16_t>(run.x));
        out.u16(static_cast<std::uint16_t>(run.y));
        out.u16(run.height);
        out.u8(static_cast<std::uint8_t>(run.glyphs.size()));
        BitWriter bits(body);
        for (const TextRun::Glyph& glyph : run.glyphs) {
            bits.writeUnsigned(glyph.index, glyphBits);
            bits.writeSigned(glyph.advance, advanceBits);
        }
    }
    out.u8(0); // end of records
    return tag(kDefineText2, std::move(body), true);
}

Tag placeClip(std::uint16_t depth, std::uint16_t characterId, std::uint16_t clipDepth)
{
    Bytes body;
    ByteWriter out(body);
    out.u8(0x42); // has clip depth, has character
    out.u16(depth);
    out.u16(characterId);
    out.u16(clipDepth);
    return tag(TagCode::PlaceObject2, std::move(body));
}

} // namespace vellora::swf
