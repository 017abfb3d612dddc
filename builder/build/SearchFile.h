#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vellora {

// "vellora-search.js": the plain text of every page, which the viewer loads the first time
// the reader searches: velloraSearch({"pages":["text of page 1","text of page 2",...]});
inline const QString kSearchFile = QStringLiteral("vellora-search.js");

// The plain text of one page script "page<i>.js" as the converter writes it: the words of a
// line joined by blanks, lines joined by line ends. Empty for a script that is not one.
QString PageScriptText(const QByteArray& script);

// The whole text of the search file for these page texts (page 1 first).
QByteArray SearchScript(const QStringList& pageTexts);

// Reads page1.js..page<pageCount>.js in `folder` (ending with its separator) and, when any
// page has text, writes the search file there atomically and returns true. Returns false,
// writing nothing, when no page has text. Throws EVellora "Impossible de créer le fichier
// <path>" when the file cannot be written.
bool WriteSearchFile(const QString& folder, int pageCount);

} // namespace vellora
