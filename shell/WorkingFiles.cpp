#include "WorkingFiles.h"

#include "Paths.h"

#include <QFile>
#include <QFileInfo>

namespace vellora {

namespace {

// `out.pdf` is a generic name: a file there that is not a PDF is some other program's.
bool isPdf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == "%PDF-";
}

bool moveOne(const QString& old, const QString& now)
{
    const QFileInfo from(old);
    if (!from.isFile() || from.isSymLink())
        return false;
    const QFileInfo to(now);
    if (to.exists() && to.lastModified() >= from.lastModified())
        return false;
    if (to.exists() && !QFile::remove(now))
        return false;
    return QFile::rename(old, now); // copies and removes when the folders are on two disks
}

} // namespace

QStringList MoveOldWorkingFiles()
{
    const QString data = paths::AppDataFolder();
    if (data.isEmpty())
        return {};
    QStringList moved;
    const auto move = [&](const QString& old, const QString& now) {
        if (moveOne(old, now))
            moved << QStringLiteral("ancien fichier déplacé : %1 -> %2").arg(old, now);
    };
    if (const QString old = data + QStringLiteral("/out.pdf"); isPdf(old))
        move(old, paths::WorkPdf());
    move(data + QStringLiteral("/vellora.logs"), paths::BuildLogFile());
    return moved;
}

} // namespace vellora
