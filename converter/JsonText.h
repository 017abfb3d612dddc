#pragma once

#include <string>
#include <string_view>

namespace vellora::converter {

// Appends `text` (UTF-8) as a JSON string literal. Control characters and the two line
// separators that end a statement in older script engines are escaped; invalid UTF-8
// becomes U+FFFD, so the file always parses.
void appendJsonString(std::string& out, std::string_view text);

// Appends a Unicode code point as UTF-8 (U+FFFD for values that are not characters).
void appendUtf8(std::string& out, int codePoint);

// Appends `value` rounded to one decimal, without a trailing ".0" ("12.5", "3", "-0.2").
void appendTenth(std::string& out, double value);

} // namespace vellora::converter
