#include "builder/build/AtomicFile.h"

#include "Errors.h"

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
        throw EVellora(cannotCreateFileMessage(target));
    const bool written = writeAll(fd, data) && (!mode || ::fchmod(fd, *mode) == 0);
    if (::close(fd) != 0 || !written) {
        QFile::remove(m_temporary);
        throw EVellora(cannotCreateFileMessage(target));
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
        throw EVellora(cannotCreateFileMessage(m_target));
    m_temporary.clear();
}

void writeFileAtomically(const QString& path, const QByteArray& data, FileAccess access)
{
    StagedFile file(path, data, access);
    file.commit();
}

} // namespace vellora
