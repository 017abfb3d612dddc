// The "vellora" queue's policy, in a private cupsd: whose printout lands in whose folder.
#include <PrivateCups.h>
#include <PrivateCupsJobs.h>
#include <QtTest>
#include <TestSupport.h>

using vellora::test::PrivateCups;
using vellora::test::PrivateCupsJobs;

namespace {

int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class TestQueue : public QObject
{
    Q_OBJECT

    PrivateCups m_cups;

private Q_SLOTS:
    void initTestCase()
    {
        VELLORA_REQUIRE_PRIVATE_CUPS(m_cups, {});
        // A queue with the stock policy, which believes any name a local client claims.
        QVERIFY(PrivateCups::addQueue(QStringLiteral("stock"), QStringLiteral("default")));
    }

    void cleanupTestCase() { m_cups.stop(); }

    void forgedOwnerCannotMoveAJobOntoTheQueue()
    {
        const QString job = QDir::temp().filePath(QStringLiteral("vellora-queue-test.ps"));
        QFile file(job);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("%!PS\nshowpage\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        // nobody submits a held job as "daemon" on the stock queue, then moves it as "daemon".
        const int id = PrivateCups::print({QStringLiteral("-U"), QStringLiteral("daemon"),
                                           QStringLiteral("-d"), QStringLiteral("stock"),
                                           QStringLiteral("-H"), QStringLiteral("hold"), job},
                                          QStringLiteral("nobody"));
        QVERIFY(id > 0);
        QCOMPARE(PrivateCupsJobs::job(id).user, QStringLiteral("daemon"));
        const QString jobName = QStringLiteral("stock-%1").arg(id);
        // lpmove has no -U: libcups takes the claimed name from CUPS_USER.
        QVERIFY(run(QStringLiteral("runuser"),
                    {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                     QStringLiteral("env"), QStringLiteral("CUPS_USER=daemon"),
                     QStringLiteral("lpmove"), jobName, QStringLiteral("vellora")}) != 0);
        QCOMPARE(PrivateCupsJobs::job(id).printer, QStringLiteral("stock"));
        // Root still moves jobs; released there, it prints into "daemon"'s folder as asked.
        QCOMPARE(run(QStringLiteral("lpmove"), {jobName, QStringLiteral("vellora")}), 0);
        QCOMPARE(PrivateCupsJobs::job(id).printer, QStringLiteral("vellora"));
        QCOMPARE(run(QStringLiteral("cancel"), {QString::number(id)}), 0);
        QVERIFY(!QFile::exists(m_cups.spoolRoot() + QStringLiteral("/daemon/Vellora.ps")));
    }
};

VELLORA_TEST_GUILESS_MAIN(TestQueue)
#include "tst_queue.moc"
