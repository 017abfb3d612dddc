#include "JsonText.h"

#include <cmath>
#include <cstdint>

namespace vellora::converter {

namespace {

constexpr int kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `at`; returns the code point and moves `at` past it.
int decodeUtf8(std::string_view text, std::size_t& at)
{
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint8_t>(text[i]);
    };
    const std::uint8_t lead = byte(at);
    int length = 0;
    int value = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        ++at;
        return kReplacement;
    }
    if (at + length > text.size()) {
        at = text.size();
        return kReplacement;
    }
    for (int i = 1; i < length; ++i) {
        const std::uint8_t next = byte(at + i);
        if ((next & 0xC0) != 0x80) {
            at += i;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    at += length;
    static constexpr int kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length])
        return kReplacement; // overlong form
    return value;
}

// "\u" and four lowercase hex digits: every character this escapes is below U+10000.
void appendUnicodeEscape(std::string& out, int c)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHexDigits[(c >> shift) & 0xF];
}

} // namespace

void appendUtf8(std::string& out, int c)
{
    if (c < 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        const int c = decodeUtf8(text, at);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
            appendUnicodeEscape(out, c);
        } else {
            appendUtf8(out, c);
        }
    }
    out += '"';
}

void appendTenth(std::string& out, double value)
{
    if (!std::isfinite(value))
        value = 0;
    long tenths = std::lround(value * 10);
    if (tenths < 0) {
        out += '-';
        tenths = -tenths;
    }
    out += std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + tenths % 10);
    }
}

} // namespace vellora::converter
