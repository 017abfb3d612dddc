// One running copy per user, with the real program started as separate processes.
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <memory>
#include <sys/types.h>

namespace {
const QString kProgram = QStringLiteral(VELLORA_EXECUTABLE);
const QString kHolder = QStringLiteral(INSTANCE_HOLDER);

// A copy of the program with its start-up messages switched on.
std::unique_ptr<QProcess> startCopy(const QString& program = kProgram)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                       QStringLiteral("vellora.shell.info=true"));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(program, {});
    return process;
}

// Waits for a line in the copy's messages; keeps everything it said in `said`.
bool waitForMessage(QProcess& process, const QString& message, QString& said, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        said += QString::fromLocal8Bit(process.readAllStandardError());
        if (said.contains(message))
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(100);
    }
    return false;
}

void stop(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}
} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void laterCopyEndsAtOnceAndRaisesTheFirst()
    {
        auto first = startCopy();
        QString firstSaid;
        QVERIFY2(waitForMessage(*first, "event loop running", firstSaid), qPrintable(firstSaid));

        auto second = startCopy();
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QString secondSaid = QString::fromLocal8Bit(second->readAllStandardError());
        QVERIFY2(secondSaid.contains("another copy is running"), qPrintable(secondSaid));
        QVERIFY2(!secondSaid.contains("main window created"), qPrintable(secondSaid));

        QVERIFY2(waitForMessage(*first, "raise request received", firstSaid),
                 qPrintable(firstSaid));
        QCOMPARE(first->state(), QProcess::Running);
        stop(*first);
    }

    void killedCopyDoesNotBlockANewStart()
    {
        auto first = startCopy();
        QString said;
        QVERIFY2(waitForMessage(*first, "event loop running", said), qPrintable(said));
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(5000));

        auto next = startCopy();
        QString nextSaid;
        QVERIFY2(waitForMessage(*next, "main window created", nextSaid), qPrintable(nextSaid));
        QVERIFY2(waitForMessage(*next, "event loop running", nextSaid), qPrintable(nextSaid));

        // And it answers a later copy on the socket that replaced the dead one's.
        auto later = startCopy();
        QVERIFY(later->waitForFinished(10000));
        QCOMPARE(later->exitCode(), 0);
        QVERIFY2(waitForMessage(*next, "raise request received", nextSaid), qPrintable(nextSaid));
        stop(*next);
    }

    void childProcessDoesNotKeepTheLock()
    {
        QProcess holder;
        holder.start(kHolder, {});
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(holder.exitCode(), 0);
        bool ok = false;
        const pid_t child = pid_t(holder.readAllStandardOutput().trimmed().toLongLong(&ok));
        QVERIFY(ok && child > 0);
        const auto killChild = qScopeGuard([child] { ::kill(child, SIGKILL); });
        QCOMPARE(::kill(child, 0), 0); // the child outlives the copy that started it

        auto next = startCopy();
        QString said;
        // The window is made on the event loop's first turn, after the tray icon.
        QVERIFY2(waitForMessage(*next, "main window created", said), qPrintable(said));
        QVERIFY2(said.contains("event loop running"), qPrintable(said));
        stop(*next);
    }

    // Copies are told apart by the executable's file name.
    void differentlyNamedCopiesRunSideBySide()
    {
        const QString renamed = QDir::currentPath() + QStringLiteral("/vellora-copy");
        QFile::remove(renamed);
        QVERIFY(QFile::copy(kProgram, renamed));
        auto first = startCopy();
        auto second = startCopy(renamed);
        QString firstSaid, secondSaid;
        QVERIFY2(waitForMessage(*first, "event loop running", firstSaid), qPrintable(firstSaid));
        QVERIFY2(waitForMessage(*second, "event loop running", secondSaid), qPrintable(secondSaid));
        QVERIFY(!firstSaid.contains("another copy") && !secondSaid.contains("another copy"));
        stop(*first);
        stop(*second);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
