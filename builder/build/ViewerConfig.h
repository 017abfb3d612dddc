#pragma once

#include "builder/build/CatalogueSettings.h"
#include "builder/build/IndexGrid.h"
#include "builder/build/ScriptString.h"

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>

namespace vellora {

// The page size the viewer is told, always an upright 3:4 page.
struct ContentSize
{
    int width = 592;
    int height = 790;

    friend bool operator==(const ContentSize&, const ContentSize&) = default;
};

// Portrait (width < height) gives 592 x 790, landscape or square 580 x 773; an unknown first
// page gives the portrait size.
ContentSize contentSizeFor(const std::optional<QSizeF>& firstPage);

// The size of page 1 in the converter's page listing ("page=1 width=<w> height=<h>"), in
// points; nothing when the listing does not give it.
std::optional<QSizeF> firstPageSizeFromListing(const QString& listing);
// The same for any page.
std::optional<QSizeF> pageSizeFromListing(const QString& listing, int page);

// The file names the build writes beside the catalogue page.
inline const QString kViewerConfigFile = QStringLiteral("vellora.xml");
inline const QString kViewerConfigScriptFile = QStringLiteral("vellora-config.js");

// An attribute value made safe for XML: & < > " as entities, TAB CR LF as character
// references, other control characters dropped; every other character stays as it is.
QString xmlAttributeValue(const QString& value);

// Appends one "index" line per grid row after the header whose page cell is not empty.
void AddIndexEntries(QStringList& lines, const IndexGrid& index);

// The lines of "vellora.xml", without line ends.
QStringList viewerConfigLines(const CatalogueSettings& settings, const IndexGrid& index,
                              int pageCount, int width, int height, bool hardCover);

// The lines as the file holds them: UTF-8, every line followed by CR LF.
QByteArray viewerConfigText(const QStringList& lines);

// "vellora-config.js": the same text as a JavaScript string assigned to window.velloraConfig,
// for a viewer opened from disk, where it cannot read sibling files.
QByteArray viewerConfigScript(const QByteArray& xmlText);

// Writes "vellora.xml" and "vellora-config.js" into the folder of `htmlFile`, both or neither.
// Throws EVellora "Impossible de créer le fichier <path>" when they cannot be written.
void WriteViewerConfig(const QString& htmlFile, int pageCount, int width, int height,
                       bool hardCover, const CatalogueSettings& settings, const IndexGrid& index);

} // namespace vellora
