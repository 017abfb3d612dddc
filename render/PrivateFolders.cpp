#include "PrivateFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

namespace vellora {

namespace {

struct Area
{
    QTemporaryDir root;
    QString temp;
    QString snapshots;

    explicit Area(const QString& base) : root(base + QStringLiteral("/vellora-render-XXXXXX"))
    {
        temp = root.filePath(QStringLiteral("tmp"));
        snapshots = root.filePath(QStringLiteral("snapshots"));
        QDir().mkpath(temp);
        QDir().mkpath(snapshots);
        for (const QString& folder : {temp, snapshots})
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

Area& area()
{
    static std::unique_ptr<Area> instance;
    if (!instance) {
        QString base = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
        if (base.isEmpty() || !QFileInfo(base).isDir())
            base = QDir::tempPath();
        instance = std::make_unique<Area>(base);
        qputenv("TMPDIR", QFile::encodeName(instance->temp));
    }
    return *instance;
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
