#include "builder/build/CatalogueManifest.h"

#include "builder/build/AtomicFile.h"
#include "builder/build/ScriptString.h"
#include "builder/build/SearchFile.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace vellora {

namespace {

void appendString(QString& out, const QString& text)
{
    out += javaScriptStringLiteral(text, ScriptDialect::Json);
}

void appendOptionalString(QString& out, const QString& text)
{
    if (text.isEmpty())
        out += u"null";
    else
        appendString(out, text);
}

void appendNumber(QString& out, double value)
{
    out += QString::number(value, 'g', QLocale::FloatingPointShortest);
}

void appendStrings(QString& out, const QStringList& list)
{
    out += u'[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += u',';
        appendString(out, list[i]);
    }
    out += u']';
}

void appendOutline(QString& out, const QList<OutlineEntry>& entries)
{
    out += u'[';
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i > 0)
            out += u',';
        out += u"{\"title\":";
        appendString(out, entries[i].title);
        out += u",\"page\":";
        if (entries[i].page >= 1)
            out += QString::number(entries[i].page);
        else
            out += u"null";
        out += u",\"children\":";
        appendOutline(out, entries[i].children);
        out += u'}';
    }
    out += u']';
}

} // namespace

std::vector<std::optional<QSizeF>> pageSizesFromListing(const QString& listing, int pageCount)
{
    std::vector<std::optional<QSizeF>> sizes(std::size_t(std::max(pageCount, 0)));
    static const QRegularExpression line(
        QStringLiteral("^page=([0-9]+) width=([0-9]+(?:\\.[0-9]+)?) "
                       "height=([0-9]+(?:\\.[0-9]+)?)\\s*$"),
        QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(listing); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        bool ok = false;
        const int page = match.captured(1).toInt(&ok);
        const QSizeF size(match.captured(2).toDouble(), match.captured(3).toDouble());
        if (ok && page >= 1 && page <= pageCount && !size.isEmpty())
            sizes[std::size_t(page - 1)] = size;
    }
    return sizes;
}

QStringList pageFilesIn(const QString& folder, int page)
{
    const QString stem = QStringLiteral("page%1").arg(page);
    QStringList files;
    for (const QString& suffix :
         {QStringLiteral(".swf"), QStringLiteral(".jpg"), QStringLiteral("-m.jpg"),
          QStringLiteral("-t.jpg"), QStringLiteral(".svg"), QStringLiteral(".js")}) {
        if (QFileInfo(folder + u'/' + stem + suffix).isFile())
            files.append(stem + suffix);
    }
    return files;
}

QByteArray catalogueManifestScript(const CatalogueManifest& manifest)
{
    QString out = QStringLiteral("window.velloraCatalogue = {\"version\":1,\"pages\":[");
    for (qsizetype i = 0; i < manifest.pages.size(); ++i) {
        const CatalogueManifest::Page& page = manifest.pages[i];
        if (i > 0)
            out += u',';
        out += u"{\"width\":";
        if (page.size)
            appendNumber(out, page.size->width());
        else
            out += u"null";
        out += u",\"height\":";
        if (page.size)
            appendNumber(out, page.size->height());
        else
            out += u"null";
        out += u",\"files\":";
        appendStrings(out, page.files);
        out += u'}';
    }
    out += u"],\"outline\":";
    appendOutline(out, manifest.outline);
    out += u",\"direction\":";
    appendString(out, manifest.direction == u"rtl" ? QStringLiteral("rtl") : QStringLiteral("ltr"));
    out += u",\"search\":";
    // One search file by its name; a file in parts as the list of the parts.
    if (manifest.search.isEmpty())
        out += u"null";
    else if (manifest.search == QStringList{kSearchFile})
        appendString(out, kSearchFile);
    else
        appendStrings(out, manifest.search);
    out += u",\"title\":";
    appendString(out, manifest.title);
    out += u",\"description\":";
    appendString(out, manifest.description);
    out += u",\"lang\":";
    appendString(out, manifest.lang);
    out += u",\"url\":";
    appendOptionalString(out, manifest.url);
    out += u",\"pdf\":";
    appendOptionalString(out, manifest.pdf);
    if (!manifest.catalogue.isEmpty()) {
        out += u",\"catalogue\":";
        appendString(out, manifest.catalogue);
    }
    out += u",\"files\":";
    appendStrings(out, manifest.files);
    out += u"};\n";
    return out.toUtf8();
}

CatalogueManifest catalogueManifestFor(const QString& htmlFile,
                                       const std::vector<std::optional<QSizeF>>& pageSizes,
                                       int pageCount, const QStringList& otherFiles)
{
    const QString folder = QFileInfo(htmlFile).absolutePath();
    CatalogueManifest manifest;
    manifest.files = otherFiles;
    for (int page = 1; page <= pageCount; ++page) {
        CatalogueManifest::Page entry;
        if (std::size_t(page) <= pageSizes.size())
            entry.size = pageSizes[std::size_t(page - 1)];
        entry.files = pageFilesIn(folder, page);
        manifest.files += entry.files;
        manifest.pages.append(std::move(entry));
    }
    manifest.files.append(kCatalogueManifestFile);
    return manifest;
}

void WriteCatalogueManifest(const QString& htmlFile, const CatalogueManifest& manifest)
{
    writeFileAtomically(QFileInfo(htmlFile).absolutePath() + u'/' + kCatalogueManifestFile,
                        catalogueManifestScript(manifest));
}

} // namespace vellora
