#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace vellora {

// The viewer files that the tool folder holds beside the converter.
inline const QString kViewerPage = QStringLiteral("vellora.html");
inline const QString kViewerScript = QStringLiteral("swfobject.js");
inline const QString kViewerMovie = QStringLiteral("vellora.swf");

// True when both paths name the same file, following links; false when either is missing.
bool isSameFile(const QString& a, const QString& b);

// Finishes a catalogue folder: the viewer page copied under the chosen name `htmlFile` (through
// `fillPage` when given: what it returns is written), the readme, the embedding script and the
// viewer movie. Returns the names of the viewer files the tool folder lacks (their copies are
// left out). Throws EVellora "Impossible de créer le fichier <path>" when a file cannot be
// written into the folder.
QStringList CopyViewerFiles(const QString& htmlFile, const QString& toolFolder,
                            const std::function<QByteArray(const QByteArray&)>& fillPage = {});

} // namespace vellora
