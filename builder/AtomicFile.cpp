#include "AtomicFile.h"

#include "Errors.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>

namespace vellora {

QString cannotCreateFileMessage(const QString& path)
{
    return QStringLiteral("Impossible de créer le fichier %1").arg(path);
}

QString cannotOpenFileMessage(const QString& path)
{
    return QStringLiteral("Impossible d'ouvrir le fichier %1").arg(path);
}

StagedFile::StagedFile(const QString& target, const QByteArray& data) : m_target(target)
{
    const QFileInfo info(target);
    // A hidden name in the same folder, so the rename stays on one file system.
    m_file = std::make_unique<QTemporaryFile>(info.absolutePath() + u"/." + info.fileName() +
                                              u".XXXXXX");
    if (!m_file->open() || m_file->write(data) != data.size() || !m_file->flush())
        throw EVellora(cannotCreateFileMessage(target));
    // The catalogue is meant to be published: readable by everyone, like any new file.
    m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                           QFileDevice::ReadGroup | QFileDevice::ReadOther);
    m_file->close();
}

StagedFile::~StagedFile() = default;

void StagedFile::commit()
{
    // rename() replaces an existing target in one step, which QFile::rename does not.
    const QByteArray from = QFile::encodeName(m_file->fileName());
    const QByteArray to = QFile::encodeName(QFileInfo(m_target).absoluteFilePath());
    if (std::rename(from.constData(), to.constData()) != 0)
        throw EVellora(cannotCreateFileMessage(m_target));
    m_file->setAutoRemove(false);
}

void writeFileAtomically(const QString& path, const QByteArray& data)
{
    StagedFile file(path, data);
    file.commit();
}

} // namespace vellora
