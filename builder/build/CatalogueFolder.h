#pragma once

#include <QString>
#include <QStringList>

namespace vellora {

// Creates `folder` and the folders above it that are missing, with the user's permissions
// (the umask decides, as for any folder the user makes). Throws EVellora "Impossible de créer
// le dossier <the folder that failed> : <why>." naming the first folder that could not be made.
void makeCatalogueFolder(const QString& folder);

// Why a file operation failed, in French, for the system's error number.
QString systemErrorText(int error);

// True when `folder`, once its links are followed, is one of `programFolders`: the tool folder
// (the converter and the viewer files) and the data folder (the working PDF, the log). A
// catalogue written there would replace the program's own files. Folders that do not exist yet
// are compared as they would be once created.
bool isProgramFolder(const QString& folder, const QStringList& programFolders);
QString programFolderMessage(const QString& folder);

} // namespace vellora
