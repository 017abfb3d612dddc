// How one signal of cupsd's notifier becomes change words and entries, and so statuses.
#include <CupsChange.h>
#include <CupsServerWatcher.h>
#include <QtTest>

using namespace vellora;
using namespace vellora::notify;

namespace {

CupsNotifierSignal jobSignal(const QString& member, std::uint32_t state)
{
    CupsNotifierSignal signal;
    signal.Member = member;
    signal.Text = QStringLiteral("Job event");
    signal.PrinterName = QStringLiteral("vellora");
    signal.JobId = 31;
    signal.JobState = state;
    signal.JobName = QStringLiteral("rapport.ps");
    signal.Impressions = 2;
    return signal;
}

CupsJobAttributes attributes(std::uint32_t state)
{
    CupsJobAttributes job;
    job.UserName = QStringLiteral("anne");
    job.HostName = QStringLiteral("localhost");
    job.JobName = QStringLiteral("from-server.ps");
    job.JobState = state;
    job.Copies = 3;
    job.Orientation = 4;
    job.KOctets = 10;
    job.KOctetsProcessed = 5;
    job.Impressions = 7;
    return job;
}

QList<TJobStatus> statusesOf(const QList<TPrinterChange>& changes)
{
    QList<TJobStatus> statuses;
    for (const TPrinterChange& change : changes)
        statuses << StatusFromChange(change.ChangeWord, change.Info ? &*change.Info : nullptr);
    return statuses;
}

} // namespace

class TestCupsChange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signalToChanges_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<std::uint32_t>("signalState");
        QTest::addColumn<std::uint32_t>("serverState"); // 0: cupsd no longer knows the job
        QTest::addColumn<QList<std::uint32_t>>("words");
        QTest::addColumn<QList<TJobStatus>>("statuses");
        using L = QList<std::uint32_t>;
        using S = QList<TJobStatus>;
        const std::uint32_t set = PRINTER_CHANGE_SET_JOB;
        QTest::newRow("created, held")
            << "JobCreated" << 4u << 4u << L{PRINTER_CHANGE_ADD_JOB} << S{jsNew};
        QTest::newRow("created, pending")
            << "JobCreated" << 3u << 3u << L{PRINTER_CHANGE_ADD_JOB} << S{jsNew};
        QTest::newRow("state pending") << "JobState" << 3u << 3u << L{set} << S{jsNone};
        QTest::newRow("state held") << "JobState" << 4u << 4u << L{set} << S{jsPaused};
        QTest::newRow("state processing") << "JobState" << 5u << 5u << L{set} << S{jsProcessing};
        QTest::newRow("state stopped") << "JobState" << 6u << 6u << L{set} << S{jsError};
        QTest::newRow("stopped signal") << "JobStopped" << 6u << 6u << L{set} << S{jsError};
        QTest::newRow("config changed") << "JobConfigChanged" << 4u << 4u << L{set} << S{jsPaused};
        QTest::newRow("progress") << "JobProgress" << 5u << 5u
                                  << L{PRINTER_CHANGE_SET_JOB | PRINTER_CHANGE_WRITE_JOB}
                                  << S{jsProcessing};
        // A finished job is reported completed when printed and again when it leaves.
        QTest::newRow("completed")
            << "JobCompleted" << 9u << 9u << L{set, PRINTER_CHANGE_DELETE_JOB}
            << S{jsCompleted, jsCompleted};
        QTest::newRow("completed, already purged")
            << "JobCompleted" << 9u << 0u << L{set, PRINTER_CHANGE_DELETE_JOB}
            << S{jsCompleted, jsCompleted};
        // Cancelled and aborted jobs never count as printed documents.
        QTest::newRow("cancelled") << "JobCompleted" << 7u << 7u << L{set} << S{jsNone};
        QTest::newRow("aborted") << "JobCompleted" << 8u << 8u << L{set} << S{jsError};
        QTest::newRow("state cancelled") << "JobState" << 7u << 7u << L{set} << S{jsNone};
        // cupsd's own answer wins over what a signal claims.
        QTest::newRow("forged completion")
            << "JobCompleted" << 9u << 5u << L{set} << S{jsProcessing};
        // A signal read after the job finished still reports the state it was sent for.
        QTest::newRow("late progress")
            << "JobProgress" << 5u << 9u << L{PRINTER_CHANGE_SET_JOB | PRINTER_CHANGE_WRITE_JOB}
            << S{jsProcessing};
        QTest::newRow("late state") << "JobState" << 5u << 9u << L{set} << S{jsProcessing};
        QTest::newRow("printer signal") << "PrinterStateChanged" << 0u << 0u << L{} << S{};
        QTest::newRow("server signal") << "ServerRestarted" << 0u << 0u << L{} << S{};
        QTest::newRow("unknown job signal") << "JobSomething" << 5u << 5u << L{} << S{};
    }
    void signalToChanges()
    {
        QFETCH(QString, member);
        QFETCH(std::uint32_t, signalState);
        QFETCH(std::uint32_t, serverState);
        QFETCH(QList<std::uint32_t>, words);
        QFETCH(QList<TJobStatus>, statuses);
        const QList<TPrinterChange> changes =
            ChangesFromSignal(jobSignal(member, signalState), attributes(serverState));
        QList<std::uint32_t> gotWords;
        for (const TPrinterChange& change : changes)
            gotWords << change.ChangeWord;
        QCOMPARE(gotWords, words);
        QCOMPARE(statusesOf(changes), statuses);
    }

    void entriesCarryTheJobInTheRequestedOrder()
    {
        const QList<TPrinterChange> changes =
            ChangesFromSignal(jobSignal(QStringLiteral("JobProgress"), 5), attributes(5));
        QCOMPARE(changes.size(), 1);
        QVERIFY(changes.first().Info);
        const QList<TNotifyEntry>& entries = changes.first().Info->aData;
        QList<std::uint16_t> fields;
        for (const TNotifyEntry& entry : entries) {
            fields << entry.Field;
            QCOMPARE(entry.Id, 31u);
        }
        QCOMPARE(fields,
                 (QList<std::uint16_t>{JOB_NOTIFY_FIELD_MACHINE_NAME, JOB_NOTIFY_FIELD_USER_NAME,
                                       JOB_NOTIFY_FIELD_DOCUMENT, JOB_NOTIFY_FIELD_TOTAL_PAGES,
                                       JOB_NOTIFY_FIELD_TOTAL_BYTES, JOB_NOTIFY_FIELD_BYTES_PRINTED,
                                       JOB_NOTIFY_FIELD_PAGES_PRINTED, JOB_NOTIFY_FIELD_STATUS,
                                       JOB_NOTIFY_FIELD_DEVMODE}));

        TJobInformation record(0, QStringLiteral("vellora"), QString(), QString(), QString());
        FillFromNotifyInfo(record, &*changes.first().Info);
        QCOMPARE(record.JobId, 31u);
        QCOMPARE(record.UserName, QStringLiteral("anne"));
        QCOMPARE(record.MachineName, QStringLiteral("localhost"));
        QCOMPARE(record.DocumentName, QStringLiteral("rapport.ps"));
        QCOMPARE(record.TotalPages, 7u);
        QCOMPARE(record.TotalBytes, 10u * 1024);
        QCOMPARE(record.BytesPrinted, 5u * 1024);
        QCOMPARE(record.PagesPrinted, 2u);
        QCOMPARE(record.Copies, 3);
        QVERIFY(record.Landscape);
    }

    void documentNameFallsBackToTheServers()
    {
        CupsNotifierSignal signal = jobSignal(QStringLiteral("JobState"), 5);
        signal.JobName.clear();
        const QList<TPrinterChange> changes = ChangesFromSignal(signal, attributes(5));
        TJobInformation record(0, QStringLiteral("vellora"), QString(), QString(), QString());
        FillFromNotifyInfo(record, &*changes.first().Info);
        QCOMPARE(record.DocumentName, QStringLiteral("from-server.ps"));
    }

    void hugeSizesAreClamped()
    {
        CupsJobAttributes job = attributes(5);
        job.KOctets = 0xFFFFFFFFu;
        job.Copies = 100000;
        const QList<TPrinterChange> changes =
            ChangesFromSignal(jobSignal(QStringLiteral("JobState"), 5), job);
        TJobInformation record(0, QStringLiteral("vellora"), QString(), QString(), QString());
        FillFromNotifyInfo(record, &*changes.first().Info);
        QCOMPARE(record.TotalBytes, 0xFFFFFFFFu);
        QCOMPARE(record.Copies, 32767);
    }

    void orientation_data()
    {
        QTest::addColumn<std::uint32_t>("requested");
        QTest::addColumn<std::int16_t>("expected");
        QTest::newRow("absent") << 0u << DMORIENT_PORTRAIT;
        QTest::newRow("portrait") << 3u << DMORIENT_PORTRAIT;
        QTest::newRow("landscape") << 4u << DMORIENT_LANDSCAPE;
        QTest::newRow("reverse landscape") << 5u << DMORIENT_LANDSCAPE;
        QTest::newRow("reverse portrait") << 6u << DMORIENT_PORTRAIT;
        QTest::newRow("none") << 7u << DMORIENT_PORTRAIT;
        QTest::newRow("unknown") << 8u << std::int16_t(0);
    }
    void orientation()
    {
        QFETCH(std::uint32_t, requested);
        QFETCH(std::int16_t, expected);
        QCOMPARE(OrientationFromIpp(requested), expected);
    }

    void messagesAreRead()
    {
        const QVariantList job{QStringLiteral("Job completed."),
                               QStringLiteral("ipp://localhost/printers/vellora"),
                               QStringLiteral("vellora"),
                               3u,
                               QStringLiteral("none"),
                               true,
                               17u,
                               9u,
                               QStringLiteral("job-completed-successfully"),
                               QStringLiteral("a.pdf"),
                               1u};
        const CupsNotifierSignal signal = SignalFromMessage(QStringLiteral("JobCompleted"), job);
        QCOMPARE(signal.Member, QStringLiteral("JobCompleted"));
        QCOMPARE(signal.PrinterName, QStringLiteral("vellora"));
        QCOMPARE(signal.JobId, 17u);
        QCOMPARE(signal.JobState, 9u);
        QCOMPARE(signal.JobName, QStringLiteral("a.pdf"));
        QCOMPARE(signal.Impressions, 1u);
        QVERIFY(signal.Accepting);

        const CupsNotifierSignal printer =
            SignalFromMessage(QStringLiteral("PrinterAdded"), job.mid(0, 6));
        QCOMPARE(printer.PrinterName, QStringLiteral("vellora"));
        QCOMPARE(printer.JobId, 0u);
        // A job signal cut short is not taken for a job.
        QVERIFY(SignalFromMessage(QStringLiteral("JobState"), job.mid(0, 6)).Member.isEmpty());
        QVERIFY(SignalFromMessage(QStringLiteral("JobState"), {}).Member.isEmpty());
    }

    void repeatedSignalsShareAKey()
    {
        const CupsNotifierSignal a = jobSignal(QStringLiteral("JobState"), 5);
        CupsNotifierSignal b = a;
        QCOMPARE(SignalKey(a), SignalKey(b));
        b.Impressions = 3;
        QVERIFY(SignalKey(a) != SignalKey(b));
        b = a;
        b.JobId = 32;
        QVERIFY(SignalKey(a) != SignalKey(b));
    }
};

QTEST_GUILESS_MAIN(TestCupsChange)
#include "tst_cupschange.moc"
