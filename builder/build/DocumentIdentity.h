#pragma once

#include <QString>
#include <QStringList>

namespace vellora {

// What a catalogue says about itself to browsers, search engines and share previews: its
// title, its description and the language of its text. Every value is plain text without
// control characters; it is escaped where it is written.
struct DocumentIdentity
{
    QString title;
    QString description;
    QString lang; // a language tag ("fr", "en-GB"), or "und" when the document does not say
};

// The title when nothing better is known.
inline const QString kDefaultTitle = QStringLiteral("Catalogue");
// Longest title and description kept, in characters.
constexpr qsizetype kTitleLength = 200;
constexpr qsizetype kDescriptionLength = 160;

// `text` on one line: control characters dropped, every run of blanks and line ends one
// space, no blank at either end.
QString singleLine(const QString& text);

// At most `length` characters of `text`, cut between characters (never inside a pair of
// surrogates) and ended with "…" when it was cut.
QString shortened(const QString& text, qsizetype length);

// The identity from the document's metadata and text. The title: /Title, else the first
// bookmark's, else the first line of page 1's text, else "Catalogue". The description:
// /Subject, else the start of the document's text (`pageTexts`, page by page). The language:
// /Lang when it is a well-formed language tag, else "und".
DocumentIdentity documentIdentity(const QString& metadataTitle, const QString& metadataSubject,
                                  const QString& metadataLang, const QString& firstBookmark,
                                  const QStringList& pageTexts);

} // namespace vellora
