#include "builder/build/HyperStr.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vellora {

int LastPos(const QString& Needle, const QString& Text)
{
    for (qsizetype i = Text.size(); i >= 1; --i) {
        if (QStringView(Text).mid(i - 1, Needle.size()) == Needle)
            return static_cast<int>(i);
    }
    return 0;
}

namespace {

// The skip table is indexed by the low byte of a character. Characters that share a low
// byte share an entry; the later occurrence wins, which only ever shortens a skip, so the
// search still finds the leftmost match.
std::uint8_t tableIndex(QChar c)
{
    return static_cast<std::uint8_t>(c.unicode() & 0xFF);
}

} // namespace

int SearchFrom(const QString& Source, const QString& Pattern, int Start)
{
    const qsizetype sourceLength = Source.size();
    const qsizetype length = Pattern.size();
    if (sourceLength == 0 || length == 0 || Start < 1 || Start > sourceLength || length > 256 ||
        Start + length - 1 > sourceLength)
        return 0;

    // The skip distances are bytes: a 256-character pattern stores 0, the mismatch count
    // then keeps the search moving.
    std::array<std::uint8_t, 256> skip;
    skip.fill(static_cast<std::uint8_t>(length));
    for (qsizetype k = 0; k < length; ++k)
        skip[tableIndex(Pattern[k])] = static_cast<std::uint8_t>(length - 1 - k);

    qsizetype end = Start + length - 1; // 1-based position under the pattern's last character
    while (end <= sourceLength) {
        qsizetype i = end;
        qsizetype k = length - 1;
        qsizetype compared = 0;
        for (;;) {
            ++compared;
            if (Source[i - 1] == Pattern[k]) {
                if (k == 0)
                    return static_cast<int>(i);
                --i;
                --k;
                continue;
            }
            end = i + std::max<qsizetype>(skip[tableIndex(Source[i - 1])], compared);
            break;
        }
    }
    return 0;
}

QString TextBetween(const QString& Source, const QString& StartMarker, const QString& EndMarker,
                    int& Position)
{
    QString result;
    int q = 0;
    if (Position > 0 && Position < Source.size() && !StartMarker.isEmpty() &&
        !EndMarker.isEmpty()) {
        q = SearchFrom(Source, StartMarker, Position);
        if (q > 0) {
            q += static_cast<int>(StartMarker.size());
            const int e = SearchFrom(Source, EndMarker, q);
            if (e <= 0) {
                q = 0;
            } else {
                result = Source.mid(q - 1, e - q);
                q = e + static_cast<int>(EndMarker.size());
            }
        }
    }
    Position = q;
    return result;
}

} // namespace vellora
