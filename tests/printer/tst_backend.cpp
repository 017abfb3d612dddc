// The backend of the "vellora" printer, run as cupsd runs it: as root, with the job's user.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <TestSupport.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString error;
};

uid_t uidOf(const char* name)
{
    const passwd* entry = ::getpwnam(name);
    return entry ? entry->pw_uid : uid_t(-1);
}

struct stat statOf(const QString& path)
{
    struct stat info
    {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

const QByteArray kJob = "%!PS-Adobe-3.0\n%%Pages: 1\nshowpage\n%%EOF\n";

} // namespace

class TestBackend : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_backend;
    QString m_job;

    QString spool() const { return m_root.path() + QStringLiteral("/spool"); }

    Run runBackend(const QStringList& arguments, const QByteArray& input = QByteArray(),
                   const QString& deviceUri = QString())
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VELLORA_SPOOL_ROOT"), spool());
        if (!deviceUri.isEmpty())
            environment.insert(QStringLiteral("DEVICE_URI"), deviceUri);
        process.setProcessEnvironment(environment);
        process.start(m_backend, arguments);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(30000);
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
    }

    Run printAs(const QString& user)
    {
        return runBackend({QStringLiteral("12"), user, QStringLiteral("title"), QStringLiteral("1"),
                           QString(), m_job});
    }

private Q_SLOTS:
    void initTestCase()
    {
        VELLORA_REQUIRE(::geteuid() == 0, QStringLiteral("root (the backend runs as root)"));
        VELLORA_REQUIRE(uidOf("nobody") != uid_t(-1), QStringLiteral("the user nobody"));
        VELLORA_REQUIRE(uidOf("daemon") != uid_t(-1), QStringLiteral("the user daemon"));
        m_backend = vellora::test::binaryDir() + QStringLiteral("/printer/vellora_backend_testing");
        QVERIFY(QFile::exists(m_backend));
        QVERIFY(m_root.isValid());
        // The job file belongs to root, as cupsd's spool does.
        m_job = m_root.filePath(QStringLiteral("job.ps"));
        QFile job(m_job);
        QVERIFY(job.open(QIODevice::WriteOnly));
        job.write(kJob);
    }

    void init()
    {
        QDir(spool()).removeRecursively();
        QVERIFY(QDir().mkpath(spool()));
        QVERIFY(::chmod(QFile::encodeName(spool()).constData(), 0755) == 0);
    }

    void listsItsDevice()
    {
        QProcess process;
        process.start(m_backend, QStringList());
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().startsWith("file vellora:/var/spool/vellora "));
    }

    void writesEachUsersOwnFile_data()
    {
        QTest::addColumn<QString>("user");
        QTest::newRow("root") << QStringLiteral("root");
        QTest::newRow("nobody") << QStringLiteral("nobody");
    }
    void writesEachUsersOwnFile()
    {
        QFETCH(QString, user);
        const Run run = printAs(user);
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        const uid_t owner = uidOf(user.toLocal8Bit().constData());
        const QString folder = spool() + u'/' + user;
        const struct stat folderInfo = statOf(folder);
        QVERIFY(S_ISDIR(folderInfo.st_mode));
        QCOMPARE(folderInfo.st_uid, owner);
        QCOMPARE(folderInfo.st_mode & 07777, mode_t(0700));
        const QString file = folder + QStringLiteral("/Vellora.ps");
        const struct stat fileInfo = statOf(file);
        QVERIFY(S_ISREG(fileInfo.st_mode));
        QCOMPARE(fileInfo.st_uid, owner);
        QCOMPARE(fileInfo.st_mode & 07777, mode_t(0600));
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), kJob);
        // Nothing but the print file is left behind.
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Vellora.ps")});
    }

    void replacesTheEarlierPrintFileAndReadsStandardInput()
    {
        QVERIFY(printAs(QStringLiteral("nobody")).exitCode == 0);
        const QByteArray second = "%!PS\n(second) print showpage\n";
        const Run run = runBackend({QStringLiteral("13"), QStringLiteral("nobody"),
                                    QStringLiteral("t"), QStringLiteral("1"), QString()},
                                   second);
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QFile written(spool() + QStringLiteral("/nobody/Vellora.ps"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), second);
    }

    void refusesBadUserNames_data()
    {
        QTest::addColumn<QString>("user");
        QTest::newRow("empty") << QString();
        QTest::newRow("parent") << QStringLiteral("..");
        QTest::newRow("climbing") << QStringLiteral("../root");
        QTest::newRow("slash") << QStringLiteral("nobody/x");
        QTest::newRow("dots inside") << QStringLiteral("no..body");
        QTest::newRow("hidden") << QStringLiteral(".nobody");
        QTest::newRow("unknown") << QStringLiteral("vellora-no-such-user");
    }
    void refusesBadUserNames()
    {
        QFETCH(QString, user);
        const Run run = printAs(user);
        QCOMPARE(run.exitCode, 5); // this job is cancelled, the queue goes on
        QVERIFY(run.error.contains(QLatin1String("ERROR:")));
        QVERIFY(QDir(spool()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(!QFile::exists(m_root.filePath(QStringLiteral("Vellora.ps"))));
    }

    void refusesAPlantedFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("symlink to a folder of the user") << QStringLiteral("symlink");
        QTest::newRow("folder of another user") << QStringLiteral("foreign");
        QTest::newRow("a file") << QStringLiteral("file");
    }
    void refusesAPlantedFolder()
    {
        QFETCH(QString, kind);
        const QString target = m_root.filePath(QStringLiteral("target"));
        QDir(target).removeRecursively();
        QVERIFY(QDir().mkpath(target));
        QVERIFY(::chown(QFile::encodeName(target).constData(), uidOf("nobody"), gid_t(-1)) == 0);
        const QString planted = spool() + QStringLiteral("/nobody");
        const QByteArray plantedPath = QFile::encodeName(planted);
        if (kind == QLatin1String("symlink")) {
            QVERIFY(::symlink(QFile::encodeName(target).constData(), plantedPath.constData()) == 0);
        } else if (kind == QLatin1String("foreign")) {
            QVERIFY(QDir().mkdir(planted));
            QVERIFY(::chown(plantedPath.constData(), uidOf("daemon"), gid_t(-1)) == 0);
        } else {
            QFile file(planted);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const Run run = printAs(QStringLiteral("nobody"));
        QCOMPARE(run.exitCode, 5);
        QVERIFY(QDir(target).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        if (kind == QLatin1String("foreign"))
            QVERIFY(QDir(planted).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QCOMPARE(statOf(planted).st_uid,
                 kind == QLatin1String("foreign") ? uidOf("daemon") : uid_t(0));
    }

    void cancelledJobLeavesNoTemporaryFile()
    {
        QVERIFY(printAs(QStringLiteral("nobody")).exitCode == 0);
        const QString folder = spool() + QStringLiteral("/nobody");
        QProcess backend;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VELLORA_SPOOL_ROOT"), spool());
        backend.setProcessEnvironment(environment);
        backend.start(m_backend, {QStringLiteral("14"), QStringLiteral("nobody"),
                                  QStringLiteral("t"), QStringLiteral("1"), QString()});
        QVERIFY(backend.waitForStarted());
        backend.write(QByteArray(256 * 1024, 'x')); // still open: the backend waits for more
        const auto temporaries = [&] {
            return QDir(folder).entryList({QStringLiteral(".Vellora.ps.*")},
                                          QDir::Files | QDir::Hidden);
        };
        QTRY_COMPARE(temporaries().size(), 1);
        backend.terminate(); // SIGTERM, as cupsd cancels a job
        QVERIFY(backend.waitForFinished(10000));
        QVERIFY(temporaries().isEmpty());
        QFile kept(folder + QStringLiteral("/Vellora.ps"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), kJob);
    }

    void staleTemporariesOfKilledBackendsAreSwept()
    {
        QVERIFY(printAs(QStringLiteral("nobody")).exitCode == 0);
        const QString folder = spool() + QStringLiteral("/nobody");
        // A backend that was killed: its process is gone.
        QProcess gone;
        gone.start(QStringLiteral("true"), QStringList());
        QVERIFY(gone.waitForStarted());
        const qint64 deadPid = gone.processId();
        QVERIFY(gone.waitForFinished());
        const QString stale = folder + QStringLiteral("/.Vellora.ps.9.%1.tmp").arg(deadPid);
        // A writer still running (this test) keeps its file.
        const QString live =
            folder +
            QStringLiteral("/.Vellora.ps.10.%1.tmp").arg(QCoreApplication::applicationPid());
        for (const QString& path : {stale, live}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("partial");
        }
        QVERIFY(printAs(QStringLiteral("nobody")).exitCode == 0);
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(live));
    }

    void oversizedJobIsCancelledAndKeepsThePreviousFile_data()
    {
        QTest::addColumn<QString>("deviceUri");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("written");
        QTest::newRow("within the queue's limit") << "vellora:/var/spool/vellora?max-size=100"
                                                  << "" << 100 << true;
        QTest::newRow("over the queue's limit") << "vellora:/var/spool/vellora?max-size=100"
                                                << "" << 101 << false;
        QTest::newRow("in kilobytes") << "vellora:/x?max-size=1K"
                                      << "" << 1025 << false;
        QTest::newRow("printer default lowers it")
            << ""
            << "number-up=1 vellora-max-size=10 job-uuid=urn:uuid:1" << 11 << false;
        QTest::newRow("a job cannot raise it") << "vellora:/x?max-size=100"
                                               << "vellora-max-size=1G" << 101 << false;
        QTest::newRow("default 2 GiB") << ""
                                       << "" << 4096 << true;
    }
    void oversizedJobIsCancelledAndKeepsThePreviousFile()
    {
        QFETCH(QString, deviceUri);
        QFETCH(QString, options);
        QFETCH(int, size);
        QFETCH(bool, written);
        QVERIFY(printAs(QStringLiteral("nobody")).exitCode == 0);
        const QByteArray job = "%!PS\n" + QByteArray(size - 5, '%');
        const Run run = runBackend({QStringLiteral("15"), QStringLiteral("nobody"),
                                    QStringLiteral("t"), QStringLiteral("1"), options},
                                   job, deviceUri);
        const QString folder = spool() + QStringLiteral("/nobody");
        QFile printFile(folder + QStringLiteral("/Vellora.ps"));
        QVERIFY(printFile.open(QIODevice::ReadOnly));
        if (written) {
            QVERIFY2(run.exitCode == 0, qPrintable(run.error));
            QCOMPARE(printFile.readAll(), job);
        } else {
            QCOMPARE(run.exitCode, 5); // this job is cancelled, the queue goes on
            QVERIFY2(run.error.contains(QStringLiteral("dépasse la limite")),
                     qPrintable(run.error));
            QCOMPARE(printFile.readAll(), kJob);
        }
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Vellora.ps")});
    }

    void refusesASpoolOthersCanWrite()
    {
        QVERIFY(::chmod(QFile::encodeName(spool()).constData(), 0777) == 0);
        const Run run = printAs(QStringLiteral("nobody"));
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!QFile::exists(spool() + QStringLiteral("/nobody")));
    }
};

VELLORA_TEST_GUILESS_MAIN(TestBackend)
#include "tst_backend.moc"
