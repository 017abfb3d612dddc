#pragma once

#include <QString>

namespace vellora {

// The JPEG quality goes to the converter as typed: it must be empty (the converter's default)
// or a whole number from 0 to 100.
bool isValidQuality(const QString& qualite);
QString invalidQualityMessage(const QString& qualite);

// True when a catalogue page named `fileName` would overwrite one of the catalogue's own files:
// the configuration and its script, the readme, the viewer files, the site map, a page file
// (page<i>.swf, .jpg, -m.jpg, -t.jpg, .svg, .js, .html) or any "vellora-..." file. Case is ignored,
// since catalogues are published to file systems that ignore it.
bool isReservedOutputName(const QString& fileName);

// Why a document of `pages` pages gives no catalogue (one page, or none); empty when it gives one.
QString pageCountProblem(int pages);
QString reservedOutputNameMessage(const QString& fileName);

} // namespace vellora
