#include "builder/build/AtomicFile.h"

#include "Errors.h"
#include "SystemErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vellora {

namespace {

constexpr int kNameAttempts = 100;

QString randomSuffix()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(62)]);
    return suffix;
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// The permissions the file gets, or nothing to let the umask decide at creation.
std::optional<mode_t> wantedMode(const QString& target, FileAccess access)
{
    if (access == FileAccess::Private)
        return S_IRUSR | S_IWUSR;
    if (access == FileAccess::KeepPermissions) {
        struct stat existing = {};
        if (::stat(QFile::encodeName(target).constData(), &existing) == 0 &&
            S_ISREG(existing.st_mode))
            return existing.st_mode & 07777;
    }
    return std::nullopt;
}

} // namespace

QString cannotCreateFileMessage(const QString& path)
{
    return QStringLiteral("Impossible de créer le fichier %1").arg(path);
}

QString diskFullMessage(const QString& path)
{
    return QStringLiteral("Impossible de créer le fichier %1 : le disque est plein (dossier %2).")
        .arg(path, QFileInfo(path).absolutePath());
}

EDiskFull::EDiskFull(const QString& path) : EVellora(diskFullMessage(path)) {}

namespace {
// The failure to write `target`, from the error number the system gave.
[[noreturn]] void throwWriteFailure(const QString& target, int error)
{
    if (isDiskFull(error))
        throw EDiskFull(target);
    throw EVellora(cannotCreateFileMessage(target));
}
} // namespace

QString cannotOpenFileMessage(const QString& path)
{
    return QStringLiteral("Impossible d'ouvrir le fichier %1").arg(path);
}

StagedFile::StagedFile(const QString& target, const QByteArray& data, FileAccess access)
    : m_target(target)
{
    const QFileInfo info(target);
    const std::optional<mode_t> mode = wantedMode(target, access);
    // Created with 0666 like any new file, so the umask applies; a private file never
    // exists with wider permissions, not even for a moment.
    const mode_t createMode = mode && *mode == (S_IRUSR | S_IWUSR) ? *mode : 0666;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        // A hidden name in the same folder, so the rename stays on one file system.
        const QString name = info.absolutePath() + u"/." + info.fileName() + u'.' + randomSuffix();
        fd = ::open(QFile::encodeName(name).constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, createMode);
        if (fd >= 0)
            m_temporary = name;
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0)
        throwWriteFailure(target, errno);
    bool written = writeAll(fd, data) && (!mode || ::fchmod(fd, *mode) == 0);
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        QFile::remove(m_temporary);
        throwWriteFailure(target, error);
    }
}

StagedFile::~StagedFile()
{
    if (!m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

void StagedFile::commit()
{
    // rename() replaces an existing target in one step, which QFile::rename does not.
    const QByteArray from = QFile::encodeName(m_temporary);
    const QByteArray to = QFile::encodeName(QFileInfo(m_target).absoluteFilePath());
    if (std::rename(from.constData(), to.constData()) != 0)
        throwWriteFailure(m_target, errno);
    m_temporary.clear();
}

void writeFileAtomically(const QString& path, const QByteArray& data, FileAccess access)
{
    StagedFile file(path, data, access);
    file.commit();
}

void copyFileAtomically(const QString& source, const QString& target)
{
    constexpr qint64 kPiece = 4 * 1024 * 1024;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw EVellora(cannotOpenFileMessage(source));
    // The first piece makes the staged file, the others are appended to it before the rename.
    StagedFile staged(target, in.read(kPiece));
    if (in.error() != QFileDevice::NoError)
        throw EVellora(cannotOpenFileMessage(source));
    if (!in.atEnd()) {
        const int fd = ::open(QFile::encodeName(staged.temporary()).constData(),
                              O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            throwWriteFailure(target, errno);
        int error = 0;
        while (!in.atEnd() && error == 0) {
            const QByteArray piece = in.read(kPiece);
            if (in.error() != QFileDevice::NoError) {
                ::close(fd);
                throw EVellora(cannotOpenFileMessage(source));
            }
            if (!writeAll(fd, piece))
                error = errno;
        }
        if (::close(fd) != 0 && error == 0)
            error = errno;
        if (error != 0)
            throwWriteFailure(target, error);
    }
    staged.commit();
}

} // namespace vellora
