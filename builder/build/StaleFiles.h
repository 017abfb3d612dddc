#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace vellora {

// The page number of one of a catalogue's page files (page<i>.swf, page<i>.jpg,
// page<i>-m.jpg, page<i>-t.jpg, page<i>.svg, page<i>.js, with i written without leading
// zeros); 0 for any other name.
int catalogueFilePage(const QString& name);

// What the manifest "vellora-catalogue.js" of the previous build in a folder says about it.
struct PreviousCatalogue
{
    QStringList files; // its "files" list
    QString page;      // its catalogue page ("catalogue"); empty when it names none
    QString pdf;       // its PDF copy ("pdf"); empty when it names none
};

// The manifest that the previous build left in `folder`; nothing when there is none or it
// cannot be read.
std::optional<PreviousCatalogue> previousCatalogue(const QString& folder);

// What a successful build of `pageCount` pages leaves behind of the previous one in `folder`:
// the files the previous manifest listed and this build did not write (`writtenNow`, plus the
// page files of pages 1 to pageCount, which the converter looks after); without a manifest, the
// page files above pageCount. Only names that a catalogue can hold are ever returned: a file
// of the user's is never one of them, whatever a manifest says. An HTML page is one only when
// the manifest names it as its catalogue page, not merely lists it.
QStringList staleCatalogueFiles(const QString& folder,
                                const std::optional<PreviousCatalogue>& previous,
                                const QStringList& writtenNow, int pageCount);

// Removes the stale files; a file that cannot be removed stays.
void removeStaleCatalogueFiles(const QString& folder,
                               const std::optional<PreviousCatalogue>& previous,
                               const QStringList& writtenNow, int pageCount);

} // namespace vellora
