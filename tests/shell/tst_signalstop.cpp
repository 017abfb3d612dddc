// The real program in a process of its own. SIGTERM, SIGINT and SIGHUP end it as "Fermer
// Vellora" does, also in the middle of a job: the interpreter child goes with it, and so do the
// temporary folders, its own and those of an earlier Vellora that was killed. Its job log tells
// what happened to a job, taken or failed.
#include "TestSupport.h"

#include <Paths.h>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using vellora::test::writeFile;

// Pages that each keep the interpreter busy for a moment: a run that progresses for minutes.
const QByteArray kLongDocument =
    "%!PS\n/Helvetica findfont 24 scalefont setfont\n"
    "1 1 100000 { 0 1 300000 { pop } for 72 720 moveto (Vellora) show showpage } for\n";
// A job that never gets anywhere.
const QByteArray kLoopingDocument = "%!PS\n{ } loop\n";

const QByteArray kOnePage = "%!PS\n/Helvetica findfont 24 scalefont setfont\n"
                            "72 720 moveto (Vellora) show showpage\n";
const QByteArray kUnreadable = "%!PS\n/Helvetica findfont 24 scalefont setfont\n"
                               "72 720 moveto (Vellora) show showpage\nnosuchoperator\n";

// The files a process holds open, by their paths.
QStringList openFiles(const QString& pid)
{
    QStringList paths;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
        paths << QFileInfo(fds.filePath(fd)).symLinkTarget();
    return paths;
}

// The interpreter program that runs a job: a waiting one reads its job from a pipe, a running
// one has standard input on /dev/null.
pid_t interpreterChild(qint64 parent)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(parent));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& child : children.readAll().split(' ')) {
            const QString pid = QString::fromLatin1(child.trimmed());
            QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (pid.isEmpty() || !command.open(QIODevice::ReadOnly) ||
                !command.readAll().split('\0').value(0).endsWith("vellora-interpreter"))
                continue;
            const QStringList files = openFiles(pid);
            if (files.value(0) != QLatin1String("/dev/null"))
                continue; // waiting for a job
            return pid_t(pid.toInt());
        }
    }
    return 0;
}

// Gone, or dead and waiting only for init to reap it.
bool processIsGone(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

// The log's lines with what changes from run to run masked: the time, durations, sizes.
QStringList maskedLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (QString& line : lines) {
        line.replace(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\t"), "TIME\t");
        line.replace(QRegularExpression(" \\d+,\\d s"), " T s");
        line.replace(QRegularExpression(" \\d+ octets"), " N octets");
    }
    return lines;
}

// One run of the real program on a spool folder with a print file in it, in folders of its
// own, with no print server and no system bus to talk to.
struct Launch
{
    QTemporaryDir spool, runtime, state;
    QProcess vellora;

    bool start(const QByteArray& document, const QString& mode)
    {
        const QString user = vellora::paths::CurrentUserName();
        if (!QDir(spool.path()).mkpath(user) ||
            !writeFile(spool.filePath(user + "/Vellora.ps"), document))
            return false;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        environment.insert("XDG_STATE_HOME", state.path());
        environment.insert("CUPS_SERVER", "/nonexistent/cups.sock");
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus.sock");
        vellora.setProcessEnvironment(environment);
        vellora.start(QStringLiteral(SIGNAL_TARGET), {spool.path(), mode});
        return true;
    }
    QString logPath() const { return state.filePath("vellora/travaux.log"); }
};

// Runs the program on one print file, takes it as a completed job, and stops it once `last`
// is in its log.
QStringList logOfOneJob(const QByteArray& document, const QString& last)
{
    Launch run;
    if (!run.start(document, "take"))
        return {"no spool folder"};
    const QString log = run.logPath();
    if (!QTest::qWaitFor([&] { return maskedLog(log).join(u'\n').contains(last); }, 60000))
        return QStringList{"no \"" + last + "\" in:"} + maskedLog(log);
    ::kill(pid_t(run.vellora.processId()), SIGTERM);
    run.vellora.waitForFinished(10000);
    return maskedLog(log);
}

} // namespace

class TestSignalStop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endsLikeFermerVellora_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("logged");
        QTest::newRow("SIGTERM during a long conversion")
            << int(SIGTERM) << "convert" << kLongDocument
            << "signal SIGTERM reçu : Vellora se ferme";
        QTest::newRow("SIGHUP during a looping job")
            << int(SIGHUP) << "take" << kLoopingDocument << "signal SIGHUP reçu : Vellora se ferme";
        QTest::newRow("SIGINT during a looping job")
            << int(SIGINT) << "take" << kLoopingDocument << "signal SIGINT reçu : Vellora se ferme";
    }
    void endsLikeFermerVellora()
    {
        QFETCH(int, signal);
        QFETCH(QString, mode);
        QFETCH(QByteArray, document);
        QFETCH(QString, logged);
        Launch run;

        // What two earlier copies left: one was killed, the other still runs.
        const QString areas = run.runtime.filePath("vellora");
        QVERIFY(QDir(areas).mkpath("vellora-render-killed/snapshots"));
        QVERIFY(writeFile(areas + "/vellora-render-killed/owner.lock", {}));
        QVERIFY(writeFile(areas + "/vellora-render-killed/snapshots/document-x.ps", document));
        QVERIFY(QDir(areas).mkpath("vellora-render-alive"));
        QVERIFY(writeFile(areas + "/vellora-render-alive/owner.lock", {}));
        const int alive = ::open(QFile::encodeName(areas + "/vellora-render-alive/owner.lock"),
                                 O_RDONLY | O_CLOEXEC);
        QVERIFY(alive >= 0 && ::flock(alive, LOCK_EX) == 0);
        const auto release = qScopeGuard([alive] { ::close(alive); });

        QVERIFY(run.start(document, mode));
        QProcess& vellora = run.vellora;
        QVERIFY(vellora.waitForReadyRead(30000));
        QCOMPARE(vellora.readAllStandardOutput(), QByteArray("running\n"));
        pid_t interpreter = 0;
        QTRY_VERIFY_WITH_TIMEOUT((interpreter = interpreterChild(vellora.processId())), 30000);

        QVERIFY(::kill(pid_t(vellora.processId()), signal) == 0);
        QVERIFY(vellora.waitForFinished(10000));
        QCOMPARE(vellora.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vellora.exitCode(), 0);
        QTRY_VERIFY(processIsGone(interpreter));
        QCOMPARE(QDir(areas).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"vellora-render-alive"});
        QFile log(run.logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY2(QString::fromUtf8(log.readAll()).contains(logged), qPrintable(logged));
    }

    void jobLogTellsWhatHappened_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QStringList>("expected");
        const QString job = "TIME\t7\turn:uuid:0007\tRelevé\\tjuin.ps\t";
        QTest::newRow("a job taken")
            << kOnePage
            << QStringList{"TIME\t-\t-\t-\tVellora démarre",
                           job + "travail pris",
                           job + "aperçu : 1 page en T s",
                           job + "conversion en PDF : N octets en T s",
                           "TIME\t-\t-\t-\tsignal SIGTERM reçu : Vellora se ferme",
                           "TIME\t-\t-\t-\tVellora se termine"};
        QTest::newRow("a job that fails")
            << kUnreadable
            << QStringList{"TIME\t-\t-\t-\tVellora démarre",
                           job + "travail pris",
                           job + "aperçu : 1 page en T s",
                           job + "conversion en PDF échouée : raison inconnue",
                           job + "message « Erreur » : Le document imprimé n'a pas pu être "
                                 "converti en PDF.\\nLe fichier de travail a été supprimé : "
                                 "imprimez le document à nouveau avant de créer le prospectus.",
                           "TIME\t-\t-\t-\tsignal SIGTERM reçu : Vellora se ferme",
                           "TIME\t-\t-\t-\tVellora se termine"};
    }
    void jobLogTellsWhatHappened()
    {
        QFETCH(QByteArray, document);
        QFETCH(QStringList, expected);
        // Stopped once the job's last event is in the log.
        const auto last = std::find_if(expected.rbegin(), expected.rend(), [](const QString& line) {
            return line.contains("\turn:uuid:0007\t");
        });
        QCOMPARE(logOfOneJob(document, last->section(u'\t', 4)), expected);
    }
};

QTEST_GUILESS_MAIN(TestSignalStop)
#include "tst_signalstop.moc"
