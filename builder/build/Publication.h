#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vellora {

// How a catalogue is to be published: the address of its folder on the web, which makes the
// share tags, the canonical links and the site map, and whether the document goes along as a
// PDF to download.
struct Publication
{
    QString url; // absolute http or https, ending with "/"; empty: none
    bool pdfCopy = false;
};

inline const QString kSitemapFile = QStringLiteral("sitemap.xml");

// The publication address as the build uses it, or nothing when `text` is not an absolute http
// or https URL of a folder (with a host, without a query, a fragment or blanks). A missing
// final "/" is added.
std::optional<QString> publicationAddress(const QString& text);
QString invalidAddressMessage(const QString& text);

// The PDF copy of the catalogue page `htmlFile`: its name with ".pdf" for its extension.
QString pdfCopyName(const QString& htmlFile);
// Why the copy is refused when a file of that name is already there and is not the build's.
QString pdfCopyTakenMessage(const QString& path);

// "sitemap.xml": the catalogue page and every text page, as absolute URLs under `url`.
QByteArray sitemapXml(const QString& url, const QString& catalogueName, int pageCount);

} // namespace vellora
