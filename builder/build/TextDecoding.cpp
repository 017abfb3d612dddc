#include "builder/build/TextDecoding.h"

#include <array>

namespace vellora {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned bytes keep their C1 code points.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t windows1252(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kWindows1252High[byte - 0x80];
    return byte;
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at `at` and its code point; 0 when invalid.
int utf8Sequence(const QByteArray& bytes, qsizetype at, char32_t& codePoint)
{
    const auto byte = [&](qsizetype i) {
        return static_cast<unsigned char>(bytes[i]);
    };
    const unsigned char lead = byte(at);
    int length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(byte(at + i)))
            return 0;
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString decodeUtf8OrWindows1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype at = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < bytes.size()) {
        char32_t codePoint = 0;
        if (const int length = utf8Sequence(bytes, at, codePoint)) {
            if (codePoint > 0xFFFF) {
                text.append(QChar(QChar::highSurrogate(codePoint)));
                text.append(QChar(QChar::lowSurrogate(codePoint)));
            } else {
                text.append(QChar(char16_t(codePoint)));
            }
            at += length;
        } else {
            text.append(QChar(windows1252(static_cast<unsigned char>(bytes[at]))));
            ++at;
        }
    }
    return text;
}

} // namespace vellora
