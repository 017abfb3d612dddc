#include "builder/build/CatalogueFolder.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace vellora {

namespace {

// The path with its links followed as far as it exists; the missing rest is appended as typed.
QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList missing;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        if (info.path() == existing)
            break;
        missing.prepend(info.fileName());
        existing = info.path();
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    missing.prepend(canonical.isEmpty() ? existing : canonical);
    return QDir::cleanPath(missing.join(u'/'));
}

} // namespace

QString systemErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permission refusée");
    case EROFS:
        return QStringLiteral("le support est en lecture seule");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("le disque est plein");
    case ENOTDIR:
    case EEXIST:
        return QStringLiteral("un fichier porte déjà ce nom");
    case ENAMETOOLONG:
        return QStringLiteral("le nom est trop long");
    case ELOOP:
        return QStringLiteral("trop de liens symboliques");
    case ENOENT:
        return QStringLiteral("le dossier parent n'existe pas");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

void makeCatalogueFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QStringList toMake;
    for (QString current = path; !QFileInfo(current).isDir();) {
        toMake.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            break;
        current = parent;
    }
    for (const QString& each : toMake) {
        if (::mkdir(QFile::encodeName(each).constData(), 0777) != 0) {
            const int error = errno;
            // Made by someone else in the meantime: fine as long as it is a folder.
            if (error == EEXIST && QFileInfo(each).isDir())
                continue;
            throw EVellora(QStringLiteral("Impossible de créer le dossier %1 : %2.")
                               .arg(each, systemErrorText(error)));
        }
    }
}

bool isProgramFolder(const QString& folder, const QStringList& programFolders)
{
    const QString resolved = resolvedPath(folder);
    for (const QString& program : programFolders) {
        if (!program.isEmpty() && resolvedPath(program) == resolved)
            return true;
    }
    return false;
}

QString programFolderMessage(const QString& folder)
{
    return QStringLiteral("Le dossier %1 contient les fichiers de Vellora : le catalogue les "
                          "remplacerait. Choisissez un autre dossier pour la page HTML.")
        .arg(QDir::cleanPath(folder));
}

} // namespace vellora
