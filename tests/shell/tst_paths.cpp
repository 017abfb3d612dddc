// The folders the program reads and writes follow the user's XDG data folder.
#include "Paths.h"
#include "TestSupport.h"

#include <QDir>

using namespace vellora;

class PathsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void foldersFollowXdgDataHome()
    {
        const QString data = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
        QVERIFY(!data.isEmpty());
        QCOMPARE(paths::AppDataFolder(), QDir::cleanPath(data));
        QCOMPARE(paths::ToolFolder(), paths::AppDataFolder() + "/vellora");
        QCOMPARE(paths::WorkPdf(), paths::AppDataFolder() + "/out.pdf");
        QCOMPARE(paths::BuildLogFile(), paths::AppDataFolder() + "/vellora.logs");
    }

    void trailingSeparatorIsDropped()
    {
        qputenv("XDG_DATA_HOME", qgetenv("XDG_DATA_HOME") + "/");
        QVERIFY(!paths::AppDataFolder().endsWith('/'));
    }

    void printFileIsPerUser()
    {
        QCOMPARE(paths::PrintFile(),
                 "/var/spool/vellora/" + paths::CurrentUserName() + "/Vellora.ps");
        paths::setSpoolRootForTesting("/tmp/spool");
        QCOMPARE(paths::PrintFile(), "/tmp/spool/" + paths::CurrentUserName() + "/Vellora.ps");
        paths::setSpoolRootForTesting({});
    }
};

QTEST_GUILESS_MAIN(PathsTest)
#include "tst_paths.moc"
