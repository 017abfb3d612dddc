#include "WorkFolders.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <csignal>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace vellora::cli {

namespace {

const QString kPrefix = QStringLiteral("vellora-build-");

// The process that made the folder `name`, or 0 when the name is not one of ours.
pid_t ownerOf(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\Avellora-build-([1-9][0-9]{0,9})-[A-Za-z0-9]{6}\\z"));
    const QRegularExpressionMatch match = pattern.match(name);
    bool ok = false;
    const qlonglong pid = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
    return ok && pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? pid_t(pid) : 0;
}

bool isOwnFolder(const QString& path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid();
}

bool isGone(pid_t pid)
{
    return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

QString workFolderTemplate(const QString& tempFolder)
{
    return tempFolder + u'/' + kPrefix + QString::number(::getpid()) + QStringLiteral("-XXXXXX");
}

int sweepAbandonedWorkFolders(const QString& tempFolder)
{
    int removed = 0;
    const QStringList names =
        QDir(tempFolder)
            .entryList({kPrefix + u'*'}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const pid_t owner = ownerOf(name);
        const QString path = tempFolder + u'/' + name;
        if (owner > 0 && isGone(owner) && isOwnFolder(path) && QDir(path).removeRecursively())
            ++removed;
    }
    return removed;
}

} // namespace vellora::cli
