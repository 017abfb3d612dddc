#pragma once

#include "builder/build/DocumentIdentity.h"

#include <QByteArray>
#include <QString>

namespace vellora {

// The catalogue page "NAME.html" is the tool folder's viewer page with two places filled in:
// its head between the markers "<!--vellora:head-->" and "<!--/vellora:head-->" (description,
// title, share tags, canonical link, embed comment), and "<!--vellora:noscript-->" right after
// <body> (the list of the text pages, for readers and crawlers without script). A viewer page
// without the markers is copied as it stands.
inline const QByteArray kHeadStart = QByteArrayLiteral("<!--vellora:head-->");
inline const QByteArray kHeadEnd = QByteArrayLiteral("<!--/vellora:head-->");
inline const QByteArray kNoscriptMark = QByteArrayLiteral("<!--vellora:noscript-->");

inline const QString kCoverFile = QStringLiteral("vellora-cover.jpg");

struct CataloguePageFacts
{
    DocumentIdentity identity;
    QString catalogueName; // the page's own file name
    int pageCount = 0;
    QString url; // the publication address, or empty: then no absolute URL is written
};

// The head block, the noscript block and the embed snippet of a catalogue page.
QString cataloguePageHead(const CataloguePageFacts& facts);
QString cataloguePageNoscript(const CataloguePageFacts& facts);
QString embedSnippet(const CataloguePageFacts& facts);

// The viewer page with its places filled in.
QByteArray filledCataloguePage(const QByteArray& viewerPage, const CataloguePageFacts& facts);

} // namespace vellora
