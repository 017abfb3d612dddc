#include "builder/build/DocumentIdentity.h"

#include <QRegularExpression>

namespace vellora {

namespace {

// Characters that are no text: C0 and C1 controls, the separators that end lines in script
// and the byte order mark. Blanks among them (tab, line ends) separate words instead.
bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0xFEFF;
}

QString firstNonEmptyLine(const QString& text)
{
    for (const QString& line : text.split(u'\n')) {
        if (const QString clean = singleLine(line); !clean.isEmpty())
            return clean;
    }
    return {};
}

} // namespace

QString singleLine(const QString& text)
{
    QString out;
    out.reserve(text.size());
    bool pendingBlank = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            pendingBlank = !out.isEmpty();
            continue;
        }
        if (isControl(c.unicode()))
            continue;
        if (pendingBlank)
            out += u' ';
        pendingBlank = false;
        out += c;
    }
    return out;
}

QString shortened(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype cut = length - 1; // room for the ellipsis
    if (cut > 0 && text.at(cut).isLowSurrogate())
        --cut;
    return text.left(cut).trimmed() + u'…';
}

DocumentIdentity documentIdentity(const QString& metadataTitle, const QString& metadataSubject,
                                  const QString& metadataLang, const QString& firstBookmark,
                                  const QStringList& pageTexts)
{
    DocumentIdentity identity;
    identity.title = singleLine(metadataTitle);
    if (identity.title.isEmpty())
        identity.title = singleLine(firstBookmark);
    if (identity.title.isEmpty() && !pageTexts.isEmpty())
        identity.title = firstNonEmptyLine(pageTexts.first());
    if (identity.title.isEmpty())
        identity.title = kDefaultTitle;
    identity.title = shortened(identity.title, kTitleLength);

    identity.description = singleLine(metadataSubject);
    if (identity.description.isEmpty()) {
        // Only as much of the text as a description can hold is looked at.
        QString start;
        for (qsizetype page = 0; page < pageTexts.size() && start.size() < 2 * kDescriptionLength;
             ++page)
            start += pageTexts[page].left(2 * kDescriptionLength) + u'\n';
        identity.description = singleLine(start);
    }
    identity.description = shortened(identity.description, kDescriptionLength);

    // BCP 47 in its usual shape: a language of two or three letters (or "i-"/"x-" forms
    // aside), then subtags of letters and digits.
    static const QRegularExpression tag(
        QStringLiteral("\\A[A-Za-z]{2,3}(-[A-Za-z0-9]{1,8}){0,6}\\z"));
    const QString lang = metadataLang.trimmed();
    identity.lang = tag.match(lang).hasMatch() ? lang : QStringLiteral("und");
    return identity;
}

} // namespace vellora
