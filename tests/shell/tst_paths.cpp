// The folders the program reads and writes follow the user's XDG folders.
#include "Paths.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

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
    }

    // Vellora's own files sit in a folder of its own, made for this user alone.
    void workingFilesFollowXdgStateHome()
    {
        const QString state = QString::fromLocal8Bit(qgetenv("XDG_STATE_HOME"));
        QVERIFY(!state.isEmpty());
        QCOMPARE(paths::WorkPdf(), state + "/vellora/out.pdf");
        QCOMPARE(paths::BuildLogFile(), state + "/vellora/vellora.logs");
        QCOMPARE(paths::JobLogFile(), state + "/vellora/travaux.log");
        QCOMPARE(QFileInfo(state + "/vellora").permissions() & 0x0777, QFile::Permissions(0x0700));

        const QByteArray saved = qgetenv("XDG_STATE_HOME");
        qunsetenv("XDG_STATE_HOME");
        QCOMPARE(paths::StateFolder(), QDir::homePath() + "/.local/state/vellora");
        qputenv("XDG_STATE_HOME", saved);
    }

    void temporaryWorkFollowsXdgRuntimeDir()
    {
        const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
        QVERIFY(!runtime.isEmpty());
        QCOMPARE(paths::TemporaryFolder(), runtime + "/vellora");
        QVERIFY(QFileInfo(runtime + "/vellora").isDir());
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
