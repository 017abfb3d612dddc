#pragma once

#include "builder/build/DocumentIdentity.h"

#include <QByteArray>
#include <QJsonObject>
#include <QSize>
#include <QString>
#include <QStringList>

namespace vellora {

// The text version of a catalogue: "page<i>.html" for every page, a small HTML page without
// script that search engines index and that every reader can read, and their one style sheet.
inline const QString kTextStyleFile = QStringLiteral("vellora-text.css");

// The name of page `page`'s text version.
QString TextPageFile(int page);

// What every text page of a catalogue shares.
struct TextPageFacts
{
    DocumentIdentity identity;
    QString catalogueName; // the catalogue page's file name ("NAME.html")
    int pageCount = 0;
    int firstPage = 1; // catalogue page k is the document's page firstPage + k - 1
    bool rightToLeft = false;
    QString url; // the publication address, or empty
};

// The text page of catalogue page `page` from its page script's data (PageScriptData): its
// lines gathered into paragraphs in reading order, the words its links cover as links, the
// links that cover no word listed after the text; `image` the size of its screen image, or
// empty when it has none.
QByteArray textPageHtml(const QJsonObject& script, int page, const TextPageFacts& facts,
                        QSize image);

// The words of one page script line, gathered into paragraphs: consecutive lines of the same
// direction and size, each close below the one before, form one paragraph.
QStringList textParagraphs(const QJsonObject& script);

QByteArray textStyleSheet();

// Writes the style sheet and page1.html..page<N>.html into `folder` (ending with its
// separator), from the page scripts and screen images there, atomically; returns the names
// written. Throws EVellora "Impossible de créer le fichier <path>" (EDiskFull when the disk
// is full).
QStringList WriteTextPages(const QString& folder, const TextPageFacts& facts);

} // namespace vellora
