#include "PrivateFolders.h"

#include "Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace vellora {

namespace {

constexpr const char* kAreaPrefix = "vellora-render-";
// Held, locked, for as long as the area's process runs.
constexpr const char* kOwnerLock = "owner.lock";
// An area without its lock is one being made right now, or one of a version before the lock.
constexpr int kUnlockedAreaGraceSeconds = 60;

// The lock is taken under a name of its own and only then renamed into place, so that a lock
// file anyone finds is always held while its owner runs.
int holdOwnerLock(const QString& folder)
{
    const QByteArray taking =
        QFile::encodeName(folder + QStringLiteral("/.owner-%1").arg(::getpid()));
    const int fd =
        ::open(taking.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX) != 0 ||
        ::rename(taking.constData(),
                 QFile::encodeName(folder + u'/' + QLatin1String(kOwnerLock)).constData()) != 0) {
        ::unlink(taking.constData());
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ownerIsGone(const QFileInfo& area)
{
    const QByteArray lock = QFile::encodeName(area.filePath() + u'/' + QLatin1String(kOwnerLock));
    const int fd = ::open(lock.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT &&
               area.lastModified().secsTo(QDateTime::currentDateTime()) > kUnlockedAreaGraceSeconds;
    const bool gone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return gone;
}

// What an earlier Vellora of this user left when it was killed, or when the session ended
// under it: its copies of print files, the interpreter's temporary files.
void removeAreasOfEndedProcesses(const QString& base)
{
    const QFileInfoList areas =
        QDir(base).entryInfoList({QLatin1String(kAreaPrefix) + u'*'}, QDir::Dirs | QDir::Hidden);
    for (const QFileInfo& found : areas)
        if (!found.isSymLink() && ownerIsGone(found))
            QDir(found.filePath()).removeRecursively();
}

struct Area
{
    QTemporaryDir root;
    QString temp;
    QString snapshots;
    int ownerLock = -1;

    explicit Area(const QString& base) : root(base + u'/' + QLatin1String(kAreaPrefix) + u"XXXXXX")
    {
        ownerLock = holdOwnerLock(root.path());
        temp = root.filePath(QStringLiteral("tmp"));
        snapshots = root.filePath(QStringLiteral("snapshots"));
        QDir().mkpath(temp);
        QDir().mkpath(snapshots);
        for (const QString& folder : {temp, snapshots})
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~Area()
    {
        if (ownerLock >= 0)
            ::close(ownerLock);
    }
    Area(const Area&) = delete;
    Area& operator=(const Area&) = delete;
};

std::unique_ptr<Area>& instance()
{
    static std::unique_ptr<Area> area;
    return area;
}

Area& area()
{
    std::unique_ptr<Area>& made = instance();
    if (!made) {
        const QString base = paths::TemporaryFolder();
        removeAreasOfEndedProcesses(base);
        made = std::make_unique<Area>(base);
        qputenv("TMPDIR", QFile::encodeName(made->temp));
    }
    return *made;
}

} // namespace

void PrepareInterpreterEnvironment()
{
    area();
}

QString InterpreterTempFolder()
{
    return area().temp;
}

QString SnapshotFolder()
{
    return area().snapshots;
}

} // namespace vellora
