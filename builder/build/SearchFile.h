#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace vellora {

// "vellora-search.js": the plain text of every page, which the viewer loads the first time
// the reader searches: velloraSearch({"pages":["text of page 1","text of page 2",...]});
// A larger text is split into parts "vellora-search-<k>.js" (k from 1), each the text of a run
// of pages from its first: velloraSearch({"first":51,"pages":["text of page 51",...]});
// loaded one after the other, each is short work for the page and searched as it comes.
inline const QString kSearchFile = QStringLiteral("vellora-search.js");

// A search text larger than this (in bytes) is split, into parts of about a quarter of it.
constexpr qsizetype kSearchSplitBytes = 256 * 1024;

// The name of part `part` (from 1).
QString SearchPartFile(int part);

// The data of one page script "page<i>.js" (the object inside velloraPage(i, {...});), empty
// for a script that is not one.
QJsonObject PageScriptData(const QByteArray& script);

// The plain text of one page script "page<i>.js" as the converter writes it: the words of a
// line joined by blanks, lines joined by line ends. Empty for a script that is not one.
QString PageScriptText(const QByteArray& script);

// The whole text of the search file, or of a part, for these page texts (page `firstPage`
// first).
QByteArray SearchScript(const QStringList& pageTexts, int firstPage = 1);

// Reads page1.js..page<pageCount>.js in `folder` (ending with its separator) and, when any
// page has text, writes the search file, or its parts when the text is large, there
// atomically; returns the names written, in page order. Returns none, writing nothing, when
// no page has text. Throws EVellora "Impossible de créer le fichier <path>" when a file cannot
// be written.
QStringList WriteSearchFiles(const QString& folder, int pageCount);

// The plain text of page1.js..page<pageCount>.js in `folder`, one entry a page (empty for a
// page without a script); and the search files written from such texts.
QStringList ReadPageTexts(const QString& folder, int pageCount);
QStringList WriteSearchFiles(const QString& folder, const QStringList& pageTexts);

} // namespace vellora
