// write-catalogue-texts: writes a catalogue's configuration and copies its viewer files with
// the builder's own code, so the viewer tests open exactly what a build leaves.
//   write-catalogue-texts <html file> <page count> <tool folder> <text>
// The page files must be in the folder already: the manifest, written last, lists them.
// <text> becomes the next button's tooltip and an index description; the colours are pure red
// to pure blue; the print button is hidden; the index also holds rows a viewer must skip.

#include "Errors.h"
#include "builder/build/CatalogueManifest.h"
#include "builder/build/CatalogueSettings.h"
#include "builder/build/IndexGrid.h"
#include "builder/build/OutputFolder.h"
#include "builder/build/ViewerConfig.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

using namespace vellora;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: write-catalogue-texts <html> <pages> <tool folder> <text>\n");
        return 2;
    }
    const QString html = args[1];
    const int pages = args[2].toInt();
    const QString text = args[4];

    CatalogueSettings settings;
    settings.colorStart = 0x0000FF;
    settings.colorEnd = 0xFF0000;
    settings.button(ViewerButton::Next).alt = text;
    settings.button(ViewerButton::Print).visible = false;

    IndexGrid index = IndexGrid::initial();
    index.rows = {index.rows.first(),
                  {QStringLiteral("2"), text},
                  {QString(), QStringLiteral("sans page")},
                  {QStringLiteral("abc"), QStringLiteral("pas un nombre")},
                  {QString::number(pages + 1), QStringLiteral("trop loin")},
                  {QStringLiteral("3"), QStringLiteral("Café & thé")}};
    try {
        WriteViewerConfig(html, pages, 592, 790, true, settings, index);
        const QStringList missing = CopyViewerFiles(html, args[3]);
        if (!missing.isEmpty()) {
            std::fprintf(stderr, "missing viewer files: %s\n", qPrintable(missing.join(u' ')));
            return 1;
        }
        WriteCatalogueManifest(html, catalogueManifestFor(html, {}, pages, {}));
    } catch (const EVellora& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
