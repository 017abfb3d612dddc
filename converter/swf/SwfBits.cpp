#include "SwfBits.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vellora::swf {

int unsignedBitsFor(std::uint32_t value)
{
    int bits = 0;
    while (value != 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

int signedBitsFor(std::int32_t value)
{
    // One sign bit plus the magnitude bits of the value (or of its complement when negative).
    const auto magnitude =
        static_cast<std::uint32_t>(value < 0 ? ~static_cast<std::uint32_t>(value) : value);
    return unsignedBitsFor(magnitude) + 1;
}

Rect grown(const Rect& rect, Twips by)
{
    return {rect.xMin - by, rect.xMax + by, rect.yMin - by, rect.yMax + by};
}

void Bounds::include(Twips x, Twips y)
{
    if (m_empty) {
        m_rect = {x, x, y, y};
        m_empty = false;
        return;
    }
    m_rect.xMin = std::min(m_rect.xMin, x);
    m_rect.xMax = std::max(m_rect.xMax, x);
    m_rect.yMin = std::min(m_rect.yMin, y);
    m_rect.yMax = std::max(m_rect.yMax, y);
}

std::int32_t toFixed16(double value)
{
    const double scaled = std::round(value * 65536.0);
    if (scaled > 2147483647.0 || scaled < -2147483648.0)
        throw std::range_error("SWF fixed-point value out of range");
    return static_cast<std::int32_t>(scaled);
}

void BitWriter::writeUnsigned(std::uint32_t value, int bits)
{
    if (bits < 0 || bits > 32 || (bits < 32 && (value >> bits) != 0))
        throw std::range_error("SWF bit field too narrow for its value");
    for (int bit = bits - 1; bit >= 0; --bit) {
        m_pending = static_cast<std::uint8_t>((m_pending << 1) | ((value >> bit) & 1u));
        if (++m_pendingBits == 8) {
            m_out.push_back(m_pending);
            m_pending = 0;
            m_pendingBits = 0;
        }
    }
}

void BitWriter::writeSigned(std::int32_t value, int bits)
{
    if (bits < signedBitsFor(value) && !(bits == 0 && value == 0))
        throw std::range_error("SWF bit field too narrow for its value");
    const std::uint32_t mask = bits == 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
    writeUnsigned(static_cast<std::uint32_t>(value) & mask, bits);
}

void BitWriter::writeFixed(double value, int bits)
{
    writeSigned(toFixed16(value), bits);
}

void BitWriter::align()
{
    if (m_pendingBits == 0)
        return;
    m_out.push_back(static_cast<std::uint8_t>(m_pending << (8 - m_pendingBits)));
    m_pending = 0;
    m_pendingBits = 0;
}

void ByteWriter::u8(std::uint8_t value)
{
    m_out.push_back(value);
}

void ByteWriter::u16(std::uint16_t value)
{
    m_out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    m_out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void ByteWriter::u32(std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        m_out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

void ByteWriter::fixed8(double value)
{
    const long scaled = std::lround(value * 256.0);
    if (scaled < 0 || scaled > 0xFFFF)
        throw std::range_error("SWF 8.8 value out of range");
    u16(static_cast<std::uint16_t>(scaled));
}

void ByteWriter::bytes(const Bytes& data)
{
    m_out.insert(m_out.end(), data.begin(), data.end());
}

void ByteWriter::bytes(const std::uint8_t* data, std::size_t size)
{
    m_out.insert(m_out.end(), data, data + size);
}

void ByteWriter::string(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        throw std::invalid_argument("SWF string with an embedded null");
    m_out.insert(m_out.end(), text.begin(), text.end());
    m_out.push_back(0);
}

void ByteWriter::rgb(const Rgb& color)
{
    u8(color.red);
    u8(color.green);
    u8(color.blue);
}

void ByteWriter::rect(const Rect& rect)
{
    const int bits = std::max({signedBitsFor(rect.xMin), signedBitsFor(rect.xMax),
                               signedBitsFor(rect.yMin), signedBitsFor(rect.yMax)});
    BitWriter bitsOut(m_out);
    bitsOut.writeUnsigned(static_cast<std::uint32_t>(bits), 5);
    bitsOut.writeSigned(rect.xMin, bits);
    bitsOut.writeSigned(rect.xMax, bits);
    bitsOut.writeSigned(rect.yMin, bits);
    bitsOut.writeSigned(rect.yMax, bits);
}

void ByteWriter::matrix(const Matrix& matrix)
{
    BitWriter bitsOut(m_out);
    const bool hasScale = matrix.scaleX != 1.0 || matrix.scaleY != 1.0;
    bitsOut.writeUnsigned(hasScale ? 1 : 0, 1);
    if (hasScale) {
        const std::int32_t sx = toFixed16(matrix.scaleX);
        const std::int32_t sy = toFixed16(matrix.scaleY);
        const int bits = std::max(signedBitsFor(sx), signedBitsFor(sy));
        bitsOut.writeUnsigned(static_cast<std::uint32_t>(bits), 5);
        bitsOut.writeSigned(sx, bits);
        bitsOut.writeSigned(sy, bits);
    }
    const bool hasRotate = matrix.rotateSkew0 != 0.0 || matrix.rotateSkew1 != 0.0;
    bitsOut.writeUnsigned(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        const std::int32_t r0 = toFixed16(matrix.rotateSkew0);
        const std::int32_t r1 = toFixed16(matrix.rotateSkew1);
        const int bits = std::max(signedBitsFor(r0), signedBitsFor(r1));
        bitsOut.writeUnsigned(static_cast<std::uint32_t>(bits), 5);
        bitsOut.writeSigned(r0, bits);
        bitsOut.writeSigned(r1, bits);
    }
    const bool hasTranslate = matrix.translateX != 0 || matrix.translateY != 0;
    const int bits =
        hasTranslate ? std::max(signedBitsFor(matrix.translateX), signedBitsFor(matrix.translateY))
                     : 0;
    bitsOut.writeUnsigned(static_cast<std::uint32_t>(bits), 5);
    if (bits > 0) {
        bitsOut.writeSigned(matrix.translateX, bits);
        bitsOut.writeSigned(matrix.translateY, bits);
    }
}

} // namespace vellora::swf
