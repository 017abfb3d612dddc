#pragma once

// Low-level writers for the SWF file format: little-endian bytes and the bit fields that
// rectangles, matrices and shape records are made of.

#include <cstdint>
#include <string_view>
#include <vector>

namespace vellora::swf {

using Bytes = std::vector<std::uint8_t>;

// One twentieth of a point (or of a pixel at 100 % zoom), the unit of every SWF coordinate.
using Twips = std::int32_t;

inline constexpr Twips kTwipsPerPoint = 20;

struct Rect
{
    Twips xMin = 0;
    Twips xMax = 0;
    Twips yMin = 0;
    Twips yMax = 0;

    friend bool operator==(const Rect&, const Rect&) = default;
};

// `rect` with every side moved out by `by` twips.
Rect grown(const Rect& rect, Twips by);

// The smallest rectangle holding every point included so far (all zero before the first).
class Bounds
{
public:
    void include(Twips x, Twips y);
    Rect rect() const { return m_rect; }

private:
    Rect m_rect;
    bool m_empty = true;
};

// A 2D transform: x' = scaleX * x + rotateSkew1 * y + translateX,
//                 y' = rotateSkew0 * x + scaleY * y + translateY.
// Scale and skew are plain numbers (stored as 16.16 fixed point), translation in twips.
struct Matrix
{
    double scaleX = 1.0;
    double scaleY = 1.0;
    double rotateSkew0 = 0.0;
    double rotateSkew1 = 0.0;
    Twips translateX = 0;
    Twips translateY = 0;
};

struct Rgb
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// Bits needed to hold `value` as a signed (two's complement) or unsigned bit field.
int signedBitsFor(std::int32_t value);
int unsignedBitsFor(std::uint32_t value);

// Appends bit fields, most significant bit first, as SWF packs them. Fields never span a
// byte boundary unless written by the same call; align() pads to the next byte with zeros.
class BitWriter
{
public:
    explicit BitWriter(Bytes& out) : m_out(out) {}
    ~BitWriter() { align(); }
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;

    void writeUnsigned(std::uint32_t value, int bits); // UB[bits]
    void writeSigned(std::int32_t value, int bits);    // SB[bits]
    void writeFixed(double value, int bits);           // FB[bits], 16.16 fixed point
    void align();

private:
    Bytes& m_out;
    std::uint8_t m_pending = 0;
    int m_pendingBits = 0;
};

// Appends byte-aligned values and the composite records of the format.
class ByteWriter
{
public:
    explicit ByteWriter(Bytes& out) : m_out(out) {}

    void u8(std::uint8_t value);
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void fixed8(double value); // FIXED8: 8.8 fixed point, e.g. the frame rate
    void bytes(const Bytes& data);
    void bytes(const std::uint8_t* data, std::size_t size);
    void string(std::string_view text); // null-terminated
    void rgb(const Rgb& color);
    void rect(const Rect& rect);
    void matrix(const Matrix& matrix);

    Bytes& out() { return m_out; }

private:
    Bytes& m_out;
};

// 16.16 fixed point, as MATRIX and FB fields hold it.
std::int32_t toFixed16(double value);

} // namespace vellora::swf
