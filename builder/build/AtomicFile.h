#pragma once

#include "Errors.h"

#include <QByteArray>
#include <QString>

namespace vellora {

// Who may read a file the program writes.
enum class FileAccess
{
    // A file of the catalogue or another document of the user's: created as any program
    // creates files, so the user's umask decides.
    UserFile,
    // A file of the program's data folder (the working PDF, the log): the user's alone, 0600.
    Private,
    // A document that the user may have restricted: a file it replaces keeps its permissions,
    // a new one follows the umask.
    KeepPermissions,
};

// A file written beside its final place under a temporary name and renamed over it only when
// it is complete, so a reader never sees half a file and a failure leaves the old file as it
// was. Several staged files can be prepared first and committed together.
class StagedFile
{
public:
    // Writes `data` to a temporary file in the folder of `target`. Throws EVellora
    // "Impossible de créer le fichier <target>" when that is not possible.
    StagedFile(const QString& target, const QByteArray& data,
               FileAccess access = FileAccess::UserFile);
    ~StagedFile(); // removes the temporary file unless it was committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Renames the temporary file over the target. Throws EVellora as above on failure.
    void commit();

    const QString& target() const { return m_target; }
    // The temporary file's path until the commit.
    const QString& temporary() const { return m_temporary; }

private:
    QString m_target;
    QString m_temporary; // empty once committed
};

// The failure to write a file because the disk (or the user's quota) is full: the message
// says so and names the folder. A build stops at the first one, as every other file would
// fail alike.
class EDiskFull : public EVellora
{
public:
    EDiskFull(const QString& path);
};

// Writes the whole file or nothing; throws EVellora "Impossible de créer le fichier <path>".
void writeFileAtomically(const QString& path, const QByteArray& data,
                         FileAccess access = FileAccess::UserFile);

// Copies the file `source` to `target` whole or not at all, a piece at a time (a document may
// be larger than the memory at hand). Throws EVellora "Impossible d'ouvrir le fichier
// <source>" when it cannot be read, "Impossible de créer le fichier <target>" (EDiskFull when
// the disk is full) when the copy cannot be written.
void copyFileAtomically(const QString& source, const QString& target);

// The text of the file error raised when `path` cannot be created or written.
QString cannotCreateFileMessage(const QString& path);
// The text of that error when the disk holding `path` is full.
QString diskFullMessage(const QString& path);
// The text of the file error raised when `path` cannot be opened for reading.
QString cannotOpenFileMessage(const QString& path);

} // namespace vellora
