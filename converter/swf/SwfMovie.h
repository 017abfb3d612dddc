#pragma once

// A small SWF movie writer: header, tags, zlib-compressed ("CWS") or plain ("FWS") output.
//
//   vellora::swf::Movie movie({0, 595 * 20, 0, 842 * 20});   // frame size in twips
//   movie.add(swf::fileAttributes(0));
//   movie.add(swf::setBackgroundColor({255, 255, 255}));
//   movie.add(swf::defineBitsJpeg2(1, jpegBytes));
//   movie.add(swf::defineShape(2, area, swf::bitmapRectangleShape(1, w, h, area)));
//   movie.add(swf::placeObject2(1, 2));
//   movie.add(swf::showFrame());
//   swf::Bytes file = movie.finish(swf::Compression::Zlib);   // the End tag is added here
//
// Tags that this file has no builder for are made with tag(code, body).

#include "SwfBits.h"
#include "SwfShape.h"

#include <cstdint>
#include <optional>

namespace vellora::swf {

enum class TagCode : std::uint16_t
{
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    SetBackgroundColor = 9,
    DefineBitsJpeg2 = 21,
    DefineShape2 = 22,
    PlaceObject2 = 26,
    DefineShape3 = 32,
    FileAttributes = 69,
};

// A complete tag record: the short header when the body is under 63 bytes and `longHeader`
// is not asked for, the long one otherwise.
struct Tag
{
    std::uint16_t code = 0;
    Bytes body;
    bool longHeader = false;
};

Tag tag(TagCode code, Bytes body, bool longHeader = false);
Tag tag(std::uint16_t code, Bytes body, bool longHeader = false);

// Appends the tag's header and body.
void writeTag(Bytes& out, const Tag& tag);

// FileAttributes flags.
inline constexpr std::uint32_t kUseNetwork = 0x01;
inline constexpr std::uint32_t kActionScript3 = 0x08;
inline constexpr std::uint32_t kHasMetadata = 0x10;

Tag fileAttributes(std::uint32_t flags);
Tag setBackgroundColor(const Rgb& color);
Tag showFrame();
Tag end();

// A JPEG image (SOI to EOI, baseline recommended). The tables travel inside the data.
Tag defineBitsJpeg2(std::uint16_t characterId, const Bytes& jpeg);

// DefineShape with the given bounds and SHAPEWITHSTYLE record (see ShapeBuilder).
Tag defineShape(std::uint16_t shapeId, const Rect& bounds, const Bytes& shapeWithStyle);

// Places a character on a depth, optionally transformed.
Tag placeObject2(std::uint16_t depth, std::uint16_t characterId,
                 const std::optional<Matrix>& matrix = std::nullopt);

enum class Compression
{
    None,
    Zlib
};

class Movie
{
public:
    // Version 10 is what current players (Ruffle included) expect for images and shapes.
    explicit Movie(const Rect& frameSize, double frameRate = 12.0, std::uint8_t version = 10);

    void add(const Tag& tag);

    // Number of ShowFrame tags added so far: the frame count written into the header.
    std::uint16_t frameCount() const { return m_frames; }

    // The whole file. An End tag is appended when the last tag added is not one.
    Bytes finish(Compression compression = Compression::Zlib) const;

private:
    Rect m_frameSize;
    double m_frameRate;
    std::uint8_t m_version;
    std::uint16_t m_frames = 0;
    bool m_ended = false;
    Bytes m_tags;
};

// Twips for a length in points, rounded to the nearest twip.
Twips pointsToTwips(double points);

} // namespace vellora::swf
