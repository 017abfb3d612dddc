#include "SwfMovie.h"

#include <cmath>
#include <stdexcept>
#include <zlib.h>

namespace vellora::swf {

Tag tag(std::uint16_t code, Bytes body, bool longHeader)
{
    if (code > 0x3FF)
        throw std::invalid_argument("SWF tag code out of range");
    return Tag{code, std::move(body), longHeader};
}

Tag tag(TagCode code, Bytes body, bool longHeader)
{
    return tag(static_cast<std::uint16_t>(code), std::move(body), longHeader);
}

void writeTag(Bytes& out, const Tag& tag)
{
    ByteWriter writer(out);
    const std::size_t length = tag.body.size();
    if (length > 0x7FFFFFFF)
        throw std::length_error("SWF tag too long");
    if (!tag.longHeader && length < 0x3F) {
        writer.u16(static_cast<std::uint16_t>((tag.code << 6) | length));
    } else {
        writer.u16(static_cast<std::uint16_t>((tag.code << 6) | 0x3F));
        writer.u32(static_cast<std::uint32_t>(length));
    }
    writer.bytes(tag.body);
}

Tag fileAttributes(std::uint32_t flags)
{
    Bytes body;
    ByteWriter(body).u32(flags);
    return tag(TagCode::FileAttributes, std::move(body));
}

Tag setBackgroundColor(const Rgb& color)
{
    Bytes body;
    ByteWriter(body).rgb(color);
    return tag(TagCode::SetBackgroundColor, std::move(body));
}

Tag showFrame()
{
    return tag(TagCode::ShowFrame, {});
}

Tag end()
{
    return tag(TagCode::End, {});
}

Tag defineBitsJpeg2(std::uint16_t characterId, const Bytes& jpeg)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        throw std::invalid_argument("not JPEG data");
    Bytes body;
    ByteWriter writer(body);
    writer.u16(characterId);
    writer.bytes(jpeg);
    // Image tags always take the long header: some players insist on it.
    return tag(TagCode::DefineBitsJpeg2, std::move(body), true);
}

Tag defineShape(std::uint16_t shapeId, const Rect& bounds, const Bytes& shapeWithStyle)
{
    Bytes body;
    ByteWriter writer(body);
    writer.u16(shapeId);
    writer.rect(bounds);
    writer.bytes(shapeWithStyle);
    return tag(TagCode::DefineShape, std::move(body));
}

Tag placeObject2(std::uint16_t depth, std::uint16_t characterId,
                 const std::optional<Matrix>& matrix)
{
    Bytes body;
    ByteWriter writer(body);
    const std::uint8_t hasCharacter = 0x02, hasMatrix = 0x04;
    writer.u8(static_cast<std::uint8_t>(hasCharacter | (matrix ? hasMatrix : 0)));
    writer.u16(depth);
    writer.u16(characterId);
    if (matrix)
        writer.matrix(*matrix);
    return tag(TagCode::PlaceObject2, std::move(body));
}

Movie::Movie(const Rect& frameSize, double frameRate, std::uint8_t version)
    : m_frameSize(frameSize), m_frameRate(frameRate), m_version(version)
{}

void Movie::add(const Tag& tag)
{
    if (m_ended)
        throw std::logic_error("SWF tag added after the End tag");
    writeTag(m_tags, tag);
    if (tag.code == static_cast<std::uint16_t>(TagCode::ShowFrame))
        ++m_frames;
    if (tag.code == static_cast<std::uint16_t>(TagCode::End))
        m_ended = true;
}

namespace {

Bytes deflate(const Bytes& input)
{
    uLongf size = compressBound(static_cast<uLong>(input.size()));
    Bytes output(size);
    if (compress2(output.data(), &size, input.data(), static_cast<uLong>(input.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib compression failed");
    output.resize(size);
    return output;
}

} // namespace

Bytes Movie::finish(Compression compression) const
{
    // Everything after the first 8 bytes: what CWS compresses.
    Bytes rest;
    ByteWriter writer(rest);
    writer.rect(m_frameSize);
    writer.fixed8(m_frameRate);
    writer.u16(m_frames);
    writer.bytes(m_tags);
    if (!m_ended)
        writeTag(rest, end());

    const std::size_t fileLength = 8 + rest.size();
    if (fileLength > 0xFFFFFFFFu)
        throw std::length_error("SWF file too long");

    Bytes file;
    ByteWriter header(file);
    header.u8(compression == Compression::Zlib ? 'C' : 'F');
    header.u8('W');
    header.u8('S');
    header.u8(m_version);
    header.u32(static_cast<std::uint32_t>(fileLength)); // always the uncompressed length
    header.bytes(compression == Compression::Zlib ? deflate(rest) : rest);
    return file;
}

Twips pointsToTwips(double points)
{
    const double twips = std::round(points * kTwipsPerPoint);
    if (!(std::abs(twips) < 1e9))
        throw std::range_error("length out of range for SWF");
    return static_cast<Twips>(twips);
}

} // namespace vellora::swf
