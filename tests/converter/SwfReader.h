#pragma once

// Reads back what the SWF writer produces: header, frame size, tags, and the fields of the
// page movie's image, shape and placement. Independent of the writer's code.

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <stdexcept>

namespace vellora::test {

struct SwfRect
{
    int xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

struct SwfTag
{
    int code = 0;
    QByteArray body;
    bool longHeader = false;
};

struct SwfFile
{
    QByteArray signature;
    int version = 0;
    quint32 fileLength = 0;     // as the header says
    qsizetype actualLength = 0; // of the decompressed file
    SwfRect frameSize;
    double frameRate = 0;
    int frameCount = 0;
    QList<SwfTag> tags;
};

class SwfBitReader
{
public:
    SwfBitReader(const QByteArray& data, qsizetype offset = 0) : m_data(data), m_byte(offset) {}

    quint32 readUnsigned(int bits)
    {
        quint32 value = 0;
        for (int i = 0; i < bits; ++i) {
            if (m_byte >= m_data.size())
                throw std::runtime_error("SWF bit field past the end");
            const int bit = (static_cast<std::uint8_t>(m_data[m_byte]) >> (7 - m_bit)) & 1;
            value = (value << 1) | quint32(bit);
            if (++m_bit == 8) {
                m_bit = 0;
                ++m_byte;
            }
        }
        return value;
    }
    qint32 readSigned(int bits)
    {
        if (bits == 0)
            return 0;
        const quint32 value = readUnsigned(bits);
        const quint32 sign = 1u << (bits - 1);
        return qint32(value ^ sign) - qint32(sign);
    }
    void align()
    {
        if (m_bit != 0) {
            m_bit = 0;
            ++m_byte;
        }
    }
    qsizetype bytePosition() const { return m_byte; }
    quint8 u8()
    {
        align();
        return quint8(m_data.at(m_byte++));
    }
    quint16 u16()
    {
        const quint16 low = u8();
        return quint16(low | (u8() << 8));
    }
    SwfRect rect()
    {
        align();
        const int bits = int(readUnsigned(5));
        SwfRect r;
        r.xMin = readSigned(bits);
        r.xMax = readSigned(bits);
        r.yMin = readSigned(bits);
        r.yMax = readSigned(bits);
        align();
        return r;
    }
    struct Matrix
    {
        double scaleX = 1, scaleY = 1, skew0 = 0, skew1 = 0;
        int translateX = 0, translateY = 0;
    };
    Matrix matrix()
    {
        align();
        Matrix m;
        if (readUnsigned(1)) {
            const int bits = int(readUnsigned(5));
            m.scaleX = readSigned(bits) / 65536.0;
            m.scaleY = readSigned(bits) / 65536.0;
        }
        if (readUnsigned(1)) {
            const int bits = int(readUnsigned(5));
            m.skew0 = readSigned(bits) / 65536.0;
            m.skew1 = readSigned(bits) / 65536.0;
        }
        const int bits = int(readUnsigned(5));
        m.translateX = readSigned(bits);
        m.translateY = readSigned(bits);
        align();
        return m;
    }

private:
    const QByteArray& m_data;
    qsizetype m_byte = 0;
    int m_bit = 0;
};

inline quint32 readU32(const QByteArray& data, qsizetype at)
{
    return quint32(quint8(data[at])) | quint32(quint8(data[at + 1])) << 8 |
           quint32(quint8(data[at + 2])) << 16 | quint32(quint8(data[at + 3])) << 24;
}

// Throws std::runtime_error on anything malformed.
inline SwfFile readSwf(const QByteArray& file)
{
    if (file.size() < 8)
        throw std::runtime_error("SWF shorter than its header");
    SwfFile swf;
    swf.signature = file.left(3);
    swf.version = quint8(file[3]);
    swf.fileLength = readU32(file, 4);
    QByteArray body;
    if (swf.signature == "CWS") {
        // qUncompress wants the expected size in front, big-endian.
        QByteArray prefixed;
        const quint32 expected = swf.fileLength - 8;
        prefixed.append(char(expected >> 24)).append(char(expected >> 16));
        prefixed.append(char(expected >> 8)).append(char(expected));
        prefixed.append(file.mid(8));
        body = qUncompress(prefixed);
        if (body.isEmpty())
            throw std::runtime_error("CWS body does not decompress");
    } else if (swf.signature == "FWS") {
        body = file.mid(8);
    } else {
        throw std::runtime_error("not a SWF signature");
    }
    swf.actualLength = body.size() + 8;

    SwfBitReader reader(body);
    swf.frameSize = reader.rect();
    const quint16 rate = reader.u16();
    swf.frameRate = rate / 256.0;
    swf.frameCount = reader.u16();
    qsizetype at = reader.bytePosition();
    while (at < body.size()) {
        if (at + 2 > body.size())
            throw std::runtime_error("tag header past the end");
        const quint16 header = quint16(quint8(body[at]) | quint8(body[at + 1]) << 8);
        at += 2;
        SwfTag tag;
        tag.code = header >> 6;
        qsizetype length = header & 0x3F;
        if (length == 0x3F) {
            if (at + 4 > body.size())
                throw std::runtime_error("long tag header past the end");
            length = readU32(body, at);
            at += 4;
            tag.longHeader = true;
        }
        if (at + length > body.size())
            throw std::runtime_error("tag body past the end");
        tag.body = body.mid(at, length);
        at += length;
        swf.tags.append(tag);
        if (tag.code == 0)
            break;
    }
    if (at != body.size())
        throw std::runtime_error("bytes after the End tag");
    return swf;
}

} // namespace vellora::test
