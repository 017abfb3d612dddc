#include "Paths.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>

namespace vellora::paths {

namespace {
QString& spoolOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString AppDataFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

ToolFolders FindToolFolders()
{
    const QString converter = QStringLiteral("/pdf2swf");
    const QString own = AppDataFolder() + u"/vellora";
    if (QFileInfo(own + converter).isExecutable())
        return {own, own};
    const QString prefix = QFileInfo(ProgramFolder() + u"/..").canonicalFilePath();
    if (!prefix.isEmpty()) {
        const QString programs = prefix + u"/lib/vellora";
        if (QFileInfo(programs + converter).isExecutable())
            return {programs, prefix + u"/share/vellora"};
    }
    return {own, own};
}

QString ToolFolder()
{
    return FindToolFolders().programs;
}

QString ViewerFolder()
{
    return FindToolFolders().viewer;
}

QString ProgramFolder()
{
    // The link names the program itself, whether or not a QCoreApplication exists yet.
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath())
        .absolutePath();
}

QString WorkPdf()
{
    return AppDataFolder() + u"/out.pdf";
}

QString BuildLogFile()
{
    return AppDataFolder() + u"/vellora.logs";
}

QString SpoolRoot()
{
    const QString& custom = spoolOverride();
    return custom.isEmpty() ? QStringLiteral("/var/spool/vellora") : custom;
}

QString PrintFile()
{
    return SpoolRoot() + u'/' + CurrentUserName() + u"/Vellora.ps";
}

QString CurrentUserName()
{
    // The password database, not $USER: the environment can claim any name.
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(::geteuid());
}

void setSpoolRootForTesting(const QString& folder)
{
    spoolOverride() = folder;
}

} // namespace vellora::paths
