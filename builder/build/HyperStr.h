#pragma once

#include <QString>

// Small string routines of the page count. Positions are 1-based; 0 means "not found".
namespace vellora {

// Position of the last occurrence of Needle in Text (exact, case-sensitive), 0 when none.
int LastPos(const QString& Needle, const QString& Text);

// Position of the leftmost occurrence of Pattern in Source that begins at or after Start;
// 0 when there is none, when either text is empty, when Start lies outside Source or when
// Pattern is longer than 256 characters.
int SearchFrom(const QString& Source, const QString& Pattern, int Start);

// The text after the first StartMarker found at or after Position and before the next
// EndMarker. Position becomes the first character after that EndMarker, or 0 when nothing
// was found (and nothing is searched unless 0 < Position < Length(Source)).
QString TextBetween(const QString& Source, const QString& StartMarker, const QString& EndMarker,
                    int& Position);

} // namespace vellora
