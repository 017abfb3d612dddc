// The print-queue monitor against a private cupsd and its own system bus.
#include <CupsClient.h>
#include <Paths.h>
#include <PrintersMonitor.h>
#include <PrivateCups.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QtTest>
#include <TestSupport.h>
#include <memory>

using namespace vellora;
using vellora::test::PrivateCups;

namespace {

struct Report
{
    QString printer;
    QString document;
    QString user;
    std::uint32_t jobId;
    TJobStatus status;
};

// A monitor wired as the main window wires it: all three events to one handler.
class RecordingMonitor
{
public:
    RecordingMonitor() : monitor(std::make_unique<TPrintersMonitor>(nullptr))
    {
        const TJobEvent record = [this](const TJobInformation& job) {
            reports.push_back(
                {job.PrinterName, job.DocumentName, job.UserName, job.JobId, job.Status});
        };
        monitor->OnNewJob = record;
        monitor->OnJobChange = record;
        monitor->OnJobComplete = record;
        monitor->SetActive(true);
    }

    int count(std::uint32_t jobId, TJobStatus status) const
    {
        return int(std::count_if(reports.begin(), reports.end(), [&](const Report& report) {
            return report.jobId == jobId && report.status == status;
        }));
    }
    int countFor(std::uint32_t jobId) const
    {
        return int(std::count_if(reports.begin(), reports.end(),
                                 [&](const Report& report) { return report.jobId == jobId; }));
    }

    std::unique_ptr<TPrintersMonitor> monitor;
    std::vector<Report> reports;
};

QString writeFile(const QString& name, const QByteArray& content)
{
    const QString path = QDir::temp().filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

} // namespace

// Sends every signal it hears once more, as a second notifier would.
class Repeater : public QObject
{
    Q_OBJECT
public:
    explicit Repeater(QDBusConnection bus) : m_bus(std::move(bus)) {}
    int repeated = 0;
public Q_SLOTS:
    void repeat(const QDBusMessage& message)
    {
        if (message.service() == m_bus.baseService())
            return;
        QDBusMessage copy =
            QDBusMessage::createSignal(message.path(), message.interface(), message.member());
        copy.setArguments(message.arguments());
        m_bus.send(copy);
        ++repeated;
    }

private:
    QDBusConnection m_bus;
};

class TestMonitor : public QObject
{
    Q_OBJECT

    PrivateCups m_cups;
    QString m_text;
    QString m_postscript;

    bool ready(RecordingMonitor& recording)
    {
        return QTest::qWaitFor([&] { return recording.monitor->IsSubscribed(); }, 10000) &&
               QTest::qWaitFor(
                   [&] {
                       return recording.monitor->WatchedPrinters().contains(
                           QStringLiteral("vellora"));
                   },
                   10000);
    }

    // Prints one job of ours and waits for its two completion reports.
    int printAndWait(RecordingMonitor& recording, const QString& printer = "vellora")
    {
        const int id = PrivateCups::print({QStringLiteral("-d"), printer, QStringLiteral("-t"),
                                           QStringLiteral("marker.ps"), m_postscript});
        if (id > 0)
            (void)QTest::qWaitFor([&] { return recording.count(id, jsCompleted) >= 2; }, 30000);
        return id;
    }

private Q_SLOTS:
    void initTestCase()
    {
        VELLORA_REQUIRE_PRIVATE_CUPS(m_cups, {QStringLiteral("other")});
        m_text = writeFile(QStringLiteral("vellora-monitor-test.txt"), "Bonjour de Vellora\n");
        // PostScript goes through the queue without a conversion: quick for many jobs.
        m_postscript = writeFile(QStringLiteral("vellora-monitor-test.ps"),
                                 "%!PS\n/Helvetica findfont 24 scalefont setfont\n"
                                 "72 720 moveto (Vellora) show showpage\n");
    }

    void cleanupTestCase() { m_cups.stop(); }

    void jobIsReportedFromNewToCompleted()
    {
        RecordingMonitor recording;
        QVERIFY(ready(recording));
        QCOMPARE(recording.monitor->WatchedPrinters(),
                 (QStringList{QStringLiteral("other"), QStringLiteral("vellora")}));
        const int id =
            PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"),
                                QStringLiteral("-t"), QStringLiteral("Facture mars.txt"), m_text});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(recording.count(id, jsCompleted), 2, 30000);
        QCOMPARE(recording.count(id, jsNew), 1);
        QVERIFY(recording.count(id, jsProcessing) >= 1);
        const auto first =
            std::find_if(recording.reports.begin(), recording.reports.end(),
                         [&](const Report& r) { return r.jobId == std::uint32_t(id); });
        QCOMPARE(first->status, jsNew);
        for (const Report& report : recording.reports) {
            if (report.jobId != std::uint32_t(id))
                continue;
            QCOMPARE(report.printer, QStringLiteral("vellora"));
            QCOMPARE(report.document, QStringLiteral("Facture mars.txt"));
            QCOMPARE(report.user, paths::CurrentUserName());
        }
        // The last reports are the completions, and the print file is complete by then.
        QCOMPARE(recording.reports.back().status, jsCompleted);
        QFile printFile(m_cups.spoolRoot() + u'/' + paths::CurrentUserName() +
                        QStringLiteral("/Vellora.ps"));
        QVERIFY(printFile.open(QIODevice::ReadOnly));
        const QByteArray content = printFile.readAll();
        QVERIFY(content.startsWith("%!PS"));
        QVERIFY(content.right(64).contains("%%EOF"));
    }

    void everyPrinterIsReportedAndOthersJobsAreNot()
    {
        RecordingMonitor recording;
        QVERIFY(ready(recording));
        const int theirs =
            PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"), m_postscript},
                               QStringLiteral("nobody"));
        QVERIFY(theirs > 0);
        const int onOther = printAndWait(recording, QStringLiteral("other"));
        QVERIFY(onOther > 0);
        QCOMPARE(recording.count(onOther, jsCompleted), 2);
        QVERIFY(std::all_of(recording.reports.begin(), recording.reports.end(), [&](auto& r) {
            return r.jobId != std::uint32_t(onOther) || r.printer == QLatin1String("other");
        }));
        // Signals reach one watcher in order: by the time our later job on the same printer is
        // done, the other user's job has been seen and dropped.
        const int ours = printAndWait(recording);
        QCOMPARE(recording.count(ours, jsCompleted), 2);
        QCOMPARE(recording.countFor(theirs), 0);
    }

    void signalsRepeatedByAnotherSenderAreDropped()
    {
        RecordingMonitor recording;
        QVERIFY(ready(recording));
        // Another subscriber's notifier: repeat every job signal at once.
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("repeater"));
        QVERIFY(bus.isConnected());
        Repeater repeater(bus);
        for (const char* member : {"JobCreated", "JobState", "JobProgress", "JobCompleted"})
            QVERIFY(bus.connect(QString(), QStringLiteral("/org/cups/cupsd/Notifier"),
                                QStringLiteral("org.cups.cupsd.Notifier"),
                                QString::fromLatin1(member), &repeater,
                                SLOT(repeat(QDBusMessage))));
        const int id = printAndWait(recording);
        QVERIFY(id > 0);
        // Created, processing, completed.
        QTRY_VERIFY(repeater.repeated >= 3);
        // One more job through the same watcher flushes anything still queued.
        const int next = printAndWait(recording);
        QVERIFY(next > 0);
        QCOMPARE(recording.count(id, jsCompleted), 2);
        QCOMPARE(recording.count(id, jsNew), 1);
        QDBusConnection::disconnectFromBus(QStringLiteral("repeater"));
    }

    void staleSubscriptionsAreCancelledAndOursAtExit()
    {
        const QByteArray tag = QByteArrayLiteral("vellora ") + paths::CurrentUserName().toUtf8();
        CupsClient client(2000);
        // Left behind by a copy that crashed.
        QVERIFY(client.CreateSubscription(tag) > 0);
        QVERIFY(client.CreateSubscription(tag) > 0);
        int ours = 0;
        {
            RecordingMonitor recording;
            QVERIFY(ready(recording));
            const auto tagged = client.SubscriptionsTagged(tag);
            QVERIFY(tagged);
            QCOMPARE(tagged->size(), 1);
            ours = tagged->first();
        }
        QVERIFY(ours > 0);
        QCOMPARE(client.SubscriptionExists(ours), std::optional<bool>(false));
        QCOMPARE(client.SubscriptionsTagged(tag)->size(), 0);
    }

    void cupsdRestartLosesAndDoublesNothing()
    {
        RecordingMonitor recording;
        QVERIFY(ready(recording));
        const int before = printAndWait(recording);
        QCOMPARE(recording.count(before, jsCompleted), 2);
        QVERIFY(m_cups.restartCupsd());
        const QByteArray tag = QByteArrayLiteral("vellora ") + paths::CurrentUserName().toUtf8();
        CupsClient client(2000);
        QTRY_VERIFY_WITH_TIMEOUT(recording.monitor->IsSubscribed(), 10000);
        const int after = printAndWait(recording);
        QVERIFY(after > 0);
        QCOMPARE(recording.count(after, jsCompleted), 2);
        QCOMPARE(recording.count(after, jsNew), 1);
        QCOMPARE(client.SubscriptionsTagged(tag)->size(), 1);
    }

    void burstOfFiftyJobsIsReportedOnce()
    {
        RecordingMonitor recording;
        QVERIFY(ready(recording));
        QList<int> ids;
        for (int i = 0; i < 50; ++i) {
            const int id = PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"),
                                               QStringLiteral("-t"),
                                               QStringLiteral("burst %1").arg(i), m_postscript});
            QVERIFY(id > 0);
            ids << id;
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(ids.begin(), ids.end(),
                        [&](int id) { return recording.count(id, jsCompleted) >= 2; }),
            120000);
        for (int i = 0; i < ids.size(); ++i) {
            QCOMPARE(recording.count(ids[i], jsCompleted), 2);
            for (const Report& report : recording.reports)
                if (report.jobId == std::uint32_t(ids[i]))
                    QCOMPARE(report.document, QStringLiteral("burst %1").arg(i));
        }
    }

    void printerAddedAfterStartIsWatched()
    {
        RecordingMonitor recording;
        QVERIFY(ready(recording));
        QVERIFY(PrivateCups::lpadmin({QStringLiteral("-p"), QStringLiteral("late"),
                                      QStringLiteral("-E"), QStringLiteral("-v"),
                                      QStringLiteral("vellora:/"), QStringLiteral("-m"),
                                      QStringLiteral("drv:///sample.drv/generic.ppd")}));
        const int id =
            PrivateCups::print({QStringLiteral("-d"), QStringLiteral("late"), m_postscript});
        QVERIFY(id > 0);
        QTRY_COMPARE_WITH_TIMEOUT(recording.count(id, jsCompleted), 2, 30000);
        QVERIFY(recording.monitor->WatchedPrinters().contains(QStringLiteral("late")));
        QVERIFY(PrivateCups::lpadmin({QStringLiteral("-x"), QStringLiteral("late")}));
    }

    void startsWatchingWhenCupsdAppears()
    {
        QVERIFY(m_cups.stopCupsd());
        RecordingMonitor recording;
        QVERIFY(!recording.monitor->IsSubscribed());
        QVERIFY(recording.monitor->WatchedPrinters().isEmpty());
        QVERIFY(m_cups.startCupsd());
        QVERIFY(ready(recording));
        const int id = printAndWait(recording);
        QVERIFY(id > 0);
        QCOMPARE(recording.count(id, jsCompleted), 2);
    }

    void shutdownWhileWatchersWait()
    {
        auto recording = std::make_unique<RecordingMonitor>();
        QVERIFY(ready(*recording));
        // Every watcher is blocked in its wait; destruction wakes and joins them all.
        recording.reset();
        // A monitor never activated ends without ever starting its watchers.
        TPrintersMonitor idle(nullptr);
        QVERIFY(!idle.Active());
    }

    void outOfRangeIndexIsRefused_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("-1") << -1;
        QTest::newRow("count") << 2;
    }
    void outOfRangeIndexIsRefused()
    {
        QFETCH(int, index);
        const QList<CupsPrinter> printers{{QStringLiteral("a"), QString(), false},
                                          {QStringLiteral("b"), QString(), false}};
        try {
            TPrintMonitor::CreateMonitor(index, printers, {}, QStringLiteral("me"));
            QFAIL("no error");
        } catch (const EPrinterMonitorError& error) {
            QCOMPARE(error.message(),
                     QStringLiteral("TPrintMonitor.CreateMonitor: index %1 is out of range. "
                                    "Valid indices are 0..1.")
                         .arg(index));
        }
    }
};

VELLORA_TEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
