#include "DocumentSnapshot.h"

#include "PrivateFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace vellora {

std::shared_ptr<const TDocumentSnapshot> TDocumentSnapshot::Take(const QString& file)
{
    const QFileInfo info(file);
    const QString source = info.isRelative() ? info.absoluteFilePath() : file;
    if (!info.isFile())
        return std::shared_ptr<const TDocumentSnapshot>(
            new TDocumentSnapshot(source, source, false));

    QFile in(source);
    QTemporaryFile copy(SnapshotFolder() + u"/document-XXXXXX." + info.suffix());
    copy.setAutoRemove(false);
    bool copied = in.open(QIODevice::ReadOnly) && copy.open();
    while (copied && !in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        copied = !block.isEmpty() && copy.write(block) == block.size();
    }
    copied = copied && copy.flush();
    if (!copied) {
        copy.remove();
        return std::shared_ptr<const TDocumentSnapshot>(
            new TDocumentSnapshot(source, source, false));
    }
    return std::shared_ptr<const TDocumentSnapshot>(
        new TDocumentSnapshot(source, copy.fileName(), true));
}

TDocumentSnapshot::~TDocumentSnapshot()
{
    if (m_owned)
        QFile::remove(m_path);
}

} // namespace vellora
