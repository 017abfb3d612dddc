#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QTemporaryFile;

namespace vellora {

// A file written beside its final place under a temporary name and renamed over it only when
// it is complete, so a reader never sees half a file and a failure leaves the old file as it
// was. Several staged files can be prepared first and committed together.
class StagedFile
{
public:
    // Writes `data` to a temporary file in the folder of `target`. Throws EVellora
    // "Impossible de créer le fichier <target>" when that is not possible.
    StagedFile(const QString& target, const QByteArray& data);
    ~StagedFile(); // removes the temporary file unless it was committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Renames the temporary file over the target. Throws EVellora as above on failure.
    void commit();

    const QString& target() const { return m_target; }

private:
    QString m_target;
    std::unique_ptr<QTemporaryFile> m_file;
};

// Writes the whole file or nothing; throws EVellora "Impossible de créer le fichier <path>".
void writeFileAtomically(const QString& path, const QByteArray& data);

// The text of the file error raised when `path` cannot be created or written.
QString cannotCreateFileMessage(const QString& path);
// The text of the file error raised when `path` cannot be opened for reading.
QString cannotOpenFileMessage(const QString& path);

} // namespace vellora
