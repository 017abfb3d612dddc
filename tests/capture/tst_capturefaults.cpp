// Print capture under faults, against a private cupsd and its own system bus: whatever goes
// wrong (a flooded or killed notifier, a crashed cupsd, a restarted bus, a queue made again),
// every completed job of ours on "vellora" is taken exactly once, and no other.
#include <Paths.h>
#include <PrintersMonitor.h>
#include <PrivateCups.h>
#include <PrivateCupsJobs.h>
#include <QtTest>
#include <TestSupport.h>
#include <algorithm>
#include <memory>

using namespace vellora;
using vellora::test::PrivateCups;
using vellora::test::PrivateCupsJobs;

namespace {

constexpr int kFinished = 7; // IPP job-state canceled and beyond
constexpr int kCompleted = 9;

// The intake's rule, as the main window applies it: completions of our jobs on "vellora",
// each job (by its key) taken once.
class Intake
{
public:
    Intake() : monitor(std::make_unique<TPrintersMonitor>(nullptr))
    {
        monitor->OnJobComplete = [this](const TJobInformation& job) {
            if (job.PrinterName.toLower() != QLatin1String("vellora"))
                return;
            ++completions[job.JobKey];
            if (job.UserName != paths::CurrentUserName()) {
                foreign << job.JobId;
                return;
            }
            if (!job.JobKey.isEmpty() && !taken.contains(job.JobKey)) {
                taken << job.JobKey;
                takenIds << int(job.JobId);
            }
        };
        monitor->SetActive(true);
    }

    std::unique_ptr<TPrintersMonitor> monitor;
    QStringList taken;
    QList<int> takenIds;
    QHash<QString, int> completions;
    QList<std::uint32_t> foreign;
};

QByteArray postscriptPages(int pages)
{
    QByteArray text = "%!PS-Adobe-3.0\n%%Pages: " + QByteArray::number(pages) + "\n%%EndComments\n";
    for (int page = 1; page <= pages; ++page)
        text += "%%Page: " + QByteArray::number(page) + ' ' + QByteArray::number(page) +
                "\n/Helvetica findfont 24 scalefont setfont 72 720 moveto (Page " +
                QByteArray::number(page) + ") show showpage\n";
    return text + "%%EOF\n";
}

QString writeFile(const QString& name, const QByteArray& content)
{
    const QString path = QDir::temp().filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    return path;
}

} // namespace

class TestCaptureFaults : public QObject
{
    Q_OBJECT

    PrivateCups m_cups;
    QString m_small;
    QString m_large;

    QList<int> print(int count, const QString& file, const QString& asUser = QString())
    {
        QList<int> ids;
        for (int i = 0; i < count; ++i) {
            // A cupsd that has just been restarted refuses jobs for a moment: ask again.
            int id = 0;
            (void)QTest::qWaitFor(
                [&] {
                    id = PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"),
                                             QStringLiteral("-t"),
                                             QStringLiteral("faults %1").arg(i), file},
                                            asUser);
                    return id != 0;
                },
                10000);
            if (id)
                ids << id;
        }
        return ids;
    }

    // Waits until cupsd has finished every job, then gives the keys of those it completed.
    static QStringList completedKeys(const QList<int>& ids)
    {
        (void)QTest::qWaitFor(
            [&] {
                return std::all_of(ids.begin(), ids.end(), [](int id) {
                    const int state = PrivateCupsJobs::job(id).state;
                    return state == 0 || state >= kFinished;
                });
            },
            60000);
        QStringList keys;
        for (int id : ids)
            if (const PrivateCupsJobs::Job job = PrivateCupsJobs::job(id); job.state == kCompleted)
                keys << job.uuid;
        return keys;
    }

private Q_SLOTS:
    void initTestCase()
    {
        VELLORA_REQUIRE_PRIVATE_CUPS(m_cups, {QStringLiteral("other")});
        paths::setSpoolRootForTesting(m_cups.spoolRoot());
        m_small = writeFile(QStringLiteral("vellora-faults-small.ps"), postscriptPages(1));
        m_large = writeFile(QStringLiteral("vellora-faults-large.ps"), postscriptPages(400));
        // The user's drop folder exists from the first printout on.
        QVERIFY(!completedKeys(print(1, m_small)).isEmpty());
    }

    void cleanupTestCase()
    {
        paths::setSpoolRootForTesting(QString());
        m_cups.stop();
    }

    void everyCompletedJobIsTakenOnce_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("400-page job amid small ones") << QStringLiteral("large");
        QTest::newRow("notifier killed") << QStringLiteral("notifier");
        QTest::newRow("another program's subscription first") << QStringLiteral("narrow");
        QTest::newRow("fresh account, another program's subscription first")
            << QStringLiteral("fresh");
        QTest::newRow("cupsd killed mid-burst") << QStringLiteral("crash");
        QTest::newRow("cupsd killed 2 s after subscribing") << QStringLiteral("young");
        QTest::newRow("dbus-daemon restarted") << QStringLiteral("bus");
        QTest::newRow("printer removed and added again") << QStringLiteral("readded");
    }
    void everyCompletedJobIsTakenOnce()
    {
        QFETCH(QString, fault);
        int narrow = 0;
        if (fault == QLatin1String("narrow") || fault == QLatin1String("fresh")) {
            // Its notifier starts first, on the first event of "other", and holds the lock.
            narrow = PrivateCupsJobs::subscribe("nobody", QStringLiteral("other"), "job-completed");
            QVERIFY(narrow > 0);
            const int started = PrivateCups::print(
                {QStringLiteral("-d"), QStringLiteral("other"), m_small}, QStringLiteral("nobody"));
            QVERIFY(!completedKeys({started}).isEmpty());
        }
        if (fault == QLatin1String("fresh")) {
            // This user has never printed: the backend makes the folder at the first job.
            QDir folder(m_cups.spoolRoot() + u'/' + paths::CurrentUserName());
            QVERIFY(folder.removeRecursively());
        }
        Intake intake;
        QVERIFY(QTest::qWaitFor([&] { return intake.monitor->IsSubscribed(); }, 10000));

        QList<int> ours;
        QStringList expected;
        QList<int> theirs;
        int lastBeforeCrash = 0;
        if (fault == QLatin1String("large")) {
            ours << print(5, m_small) << print(1, m_large) << print(5, m_small);
            theirs << print(1, m_small, QStringLiteral("nobody"));
        } else if (fault == QLatin1String("notifier")) {
            ours << print(1, m_small);
            expected << completedKeys(ours);
            QVERIFY(m_cups.killNotifiers());
            ours << print(6, m_small);
        } else if (fault == QLatin1String("narrow") || fault == QLatin1String("fresh")) {
            ours << print(5, m_small);
        } else if (fault == QLatin1String("crash")) {
            ours << print(4, m_small);
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return std::count_if(ours.begin(), ours.end(), [](int id) {
                               return PrivateCupsJobs::job(id).state == kCompleted;
                           }) >= 2;
                },
                30000));
            for (int id : ours)
                if (const PrivateCupsJobs::Job job = PrivateCupsJobs::job(id);
                    job.state == kCompleted)
                    expected << job.uuid;
            lastBeforeCrash = *std::max_element(ours.begin(), ours.end());
            QVERIFY(m_cups.killCupsd());
            QVERIFY(m_cups.startCupsd());
            ours << print(4, m_small);
        } else if (fault == QLatin1String("young")) {
            QTest::qWait(2000);
            QVERIFY(m_cups.killCupsd());
            QVERIFY(m_cups.startCupsd());
            ours << print(3, m_small);
        } else if (fault == QLatin1String("bus")) {
            QVERIFY(m_cups.restartBus());
            ours << print(3, m_small);
        } else if (fault == QLatin1String("readded")) {
            QVERIFY(PrivateCups::lpadmin({QStringLiteral("-x"), QStringLiteral("vellora")}));
            QVERIFY(PrivateCups::addQueue(QStringLiteral("vellora")));
            ours << print(3, m_small);
        }
        QVERIFY(!ours.isEmpty());
        expected << completedKeys(ours);
        expected.removeDuplicates();
        QVERIFY(!expected.isEmpty());
        QVERIFY(completedKeys(theirs).size() == theirs.size());

        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(expected.begin(), expected.end(),
                        [&](const QString& key) { return intake.taken.contains(key); }),
            30000);
        // A later look at cupsd (the window opened) finds nothing new to take.
        intake.monitor->Reconcile();
        QTest::qWait(1500);

        QStringList taken = intake.taken;
        if (fault == QLatin1String("crash")) {
            // A job that completed in the moment before the crash and that cupsd forgot is
            // still one of ours.
            for (qsizetype i = 0; i < intake.taken.size(); ++i)
                if (!expected.contains(intake.taken[i]) && intake.takenIds[i] <= lastBeforeCrash &&
                    ours.contains(intake.takenIds[i]))
                    taken.removeOne(intake.taken[i]);
        }
        taken.sort();
        expected.sort();
        if (taken != expected)
            qInfo() << "taken" << intake.takenIds << "ours" << ours;
        QCOMPARE(taken, expected);
        for (const QString& key : expected)
            QVERIFY2(intake.completions.value(key) <= 2, qPrintable(key));
        QVERIFY(intake.foreign.isEmpty());

        if (narrow || fault == QLatin1String("notifier"))
            QVERIFY(m_cups.restartCupsd()); // the notifiers' lock is free again
    }

    // Quitting while cupsd is stopped in the middle of a request: the monitor ends all the
    // same, and the next start takes every later job of ours once, although the subscription
    // could not be cancelled.
    void quitWhileCupsdIsStopped()
    {
        {
            Intake intake;
            QVERIFY(QTest::qWaitFor([&] { return intake.monitor->IsSubscribed(); }, 10000));
            QVERIFY(m_cups.freezeCupsd(true));
            const auto thaw = qScopeGuard([this] { m_cups.freezeCupsd(false); });
            intake.monitor->Reconcile(); // the bus thread asks the stopped server
            QTest::qWait(100);
            intake.monitor.reset(); // a monitor that waited for cupsd would never end here
        }
        Intake next;
        QVERIFY(QTest::qWaitFor([&] { return next.monitor->IsSubscribed(); }, 10000));
        const QStringList expected = completedKeys(print(3, m_small));
        QCOMPARE(expected.size(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(next.taken.size(), 3, 30000);
        QStringList taken = next.taken;
        taken.sort();
        QStringList sorted = expected;
        sorted.sort();
        QCOMPARE(taken, sorted);
        QVERIFY(next.foreign.isEmpty());
    }
};

VELLORA_TEST_GUILESS_MAIN(TestCaptureFaults)
#include "tst_capturefaults.moc"
