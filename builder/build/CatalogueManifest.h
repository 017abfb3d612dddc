#pragma once

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace vellora {

// "vellora-catalogue.js": what the viewers learn about a catalogue beyond "vellora.xml" (the
// true size and the files of every page, the outline, the reading direction, the search file)
// and the list of every file the build wrote. The build writes it last, after every other
// file, so a folder holding it is complete.
inline const QString kCatalogueManifestFile = QStringLiteral("vellora-catalogue.js");

struct OutlineEntry
{
    QString title;
    int page = 1; // 0: the bookmark leads nowhere in the catalogue, written as null
    QList<OutlineEntry> children;
};

struct CatalogueManifest
{
    struct Page
    {
        std::optional<QSizeF> size; // in points; written as null when the listing lacked it
        QStringList files;
    };

    QList<Page> pages;
    QList<OutlineEntry> outline;
    QString direction = QStringLiteral("ltr"); // "ltr" or "rtl"
    // The search file's name, or its parts' names; none writes null.
    QStringList search;
    // The catalogue page's file name: a later build removes that page of the folder, and no
    // other, when it no longer writes it. Empty: not written (a folder of an older build).
    QString catalogue;
    // The document's identity, the publication address (empty: none) and the PDF copy's name
    // (empty: none).
    QString title;
    QString description;
    QString lang = QStringLiteral("und");
    QString url;
    QString pdf;
    QStringList files; // every file the build wrote, the manifest itself last
};

// The size of every page 1..pageCount in the converter's page listing
// ("page=<i> width=<w> height=<h>" lines); nothing for a page the listing does not give.
std::vector<std::optional<QSizeF>> pageSizesFromListing(const QString& listing, int pageCount);

// The files of page `page` in `folder` that the converter writes, in a fixed order:
// page<i>.swf, page<i>.jpg, page<i>-m.jpg, page<i>-t.jpg, page<i>.svg, page<i>.js.
QStringList pageFilesIn(const QString& folder, int page);

// The whole text of the file: "window.velloraCatalogue = " + one-line JSON + ";\n".
QByteArray catalogueManifestScript(const CatalogueManifest& manifest);

// The manifest of a finished build in the folder of `htmlFile`: the sizes given and the page
// files found on disk; its file list is `otherFiles` (what the build wrote besides the pages),
// the page files, then the manifest itself. Outline, direction, search and the catalogue
// page keep their defaults.
CatalogueManifest catalogueManifestFor(const QString& htmlFile,
                                       const std::vector<std::optional<QSizeF>>& pageSizes,
                                       int pageCount, const QStringList& otherFiles);

// Writes the manifest beside `htmlFile`, atomically. Throws EVellora
// "Impossible de créer le fichier <path>" when it cannot be written.
void WriteCatalogueManifest(const QString& htmlFile, const CatalogueManifest& manifest);

} // namespace vellora
