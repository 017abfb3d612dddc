#include "Paths.h"

#include "Errors.h"
#include "linux/LinuxSingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellora::paths {

namespace {
QString& spoolOverride()
{
    static QString folder;
    return folder;
}

// Where a folder is missing it is made, open to its owner alone; one that exists is left as
// it is (a user may have chosen its mode).
void ensurePrivateFolder(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return;
    QDir().mkpath(QFileInfo(folder).path());
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return; // whoever writes there reports the failure
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

QString StateFolder()
{
    QString base = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + u"/.local/state";
    const QString folder = QDir::cleanPath(base + u"/vellora");
    ensurePrivateFolder(folder);
    return folder;
}

QString WorkPdf()
{
    return StateFolder() + u"/out.pdf";
}

QString BuildLogFile()
{
    return StateFolder() + u"/vellora.logs";
}

QString JobLogFile()
{
    return StateFolder() + u"/travaux.log";
}

QString TemporaryFolder()
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        const QString folder = QDir::cleanPath(runtime + u"/vellora");
        ensurePrivateFolder(folder);
        return folder;
    }
    try {
        return LinuxSingleInstance::privateFolder(
            QStringLiteral("/tmp/vellora-%1").arg(::getuid()));
    } catch (const EVellora&) {
        // Someone else holds that name: the callers make private folders of random names.
        return QDir::tempPath();
    }
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
