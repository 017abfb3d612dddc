// The rules that turn one change into a job status and into record fields.
#include <JobInformation.h>
#include <QtTest>

using namespace vellora;
using namespace vellora::notify;

Q_DECLARE_METATYPE(vellora::TJobStatus)

namespace {

TNotifyEntry statusEntry(std::uint32_t bits, std::uint32_t id = 7)
{
    TNotifyEntry entry;
    entry.Field = JOB_NOTIFY_FIELD_STATUS;
    entry.Id = id;
    entry.Number = bits;
    return entry;
}

TNotifyEntry textEntry(std::uint16_t field, const QString& text, std::uint32_t id = 7)
{
    TNotifyEntry entry;
    entry.Field = field;
    entry.Id = id;
    entry.Text = text;
    return entry;
}

TNotifyEntry numberEntry(std::uint16_t field, std::uint32_t value, std::uint32_t id = 7)
{
    TNotifyEntry entry;
    entry.Field = field;
    entry.Id = id;
    entry.Number = value;
    return entry;
}

TNotifyEntry deviceModeEntry(std::int16_t copies, std::int16_t orientation, std::uint32_t id = 7)
{
    TNotifyEntry entry;
    entry.Field = JOB_NOTIFY_FIELD_DEVMODE;
    entry.Id = id;
    entry.DeviceMode = TDeviceMode{copies, orientation};
    return entry;
}

TJobInformation printerRecord()
{
    return TJobInformation(2, QStringLiteral("vellora"), QStringLiteral("vellora:/"), QString(),
                           QStringLiteral("share"));
}

} // namespace

class TestJobRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statusNames_data()
    {
        QTest::addColumn<TJobStatus>("status");
        QTest::addColumn<QString>("name");
        QTest::newRow("0") << jsNone << "jsNone";
        QTest::newRow("1") << jsNew << "jsNew";
        QTest::newRow("2") << jsProcessing << "jsProcessing";
        QTest::newRow("3") << jsPaused << "jsPaused";
        QTest::newRow("4") << jsResumed << "jsResumed";
        QTest::newRow("5") << jsAborted << "jsAborted";
        QTest::newRow("6") << jsCompleted << "jsCompleted";
        QTest::newRow("7") << jsError << "jsError";
    }
    void statusNames()
    {
        QFETCH(TJobStatus, status);
        QFETCH(QString, name);
        QCOMPARE(JobStatusName(status), name);
        QCOMPARE(sizeof(TJobStatus), std::size_t(1));
    }

    void statusFromChange_data()
    {
        QTest::addColumn<std::uint32_t>("word");
        QTest::addColumn<bool>("withStatus");
        QTest::addColumn<std::uint32_t>("bits");
        QTest::addColumn<TJobStatus>("expected");
        const std::uint32_t printing = JOB_STATUS_PRINTING;
        QTest::newRow("add") << PRINTER_CHANGE_ADD_JOB << false << 0u << jsNew;
        QTest::newRow("add+set") << (PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_SET_JOB) << true
                                 << printing << jsNew;
        QTest::newRow("add+delete")
            << (PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_DELETE_JOB) << false << 0u << jsNew;
        QTest::newRow("delete") << PRINTER_CHANGE_DELETE_JOB << false << 0u << jsCompleted;
        QTest::newRow("delete+set") << (PRINTER_CHANGE_DELETE_JOB | PRINTER_CHANGE_SET_JOB) << true
                                    << printing << jsCompleted;
        QTest::newRow("set, printing")
            << PRINTER_CHANGE_SET_JOB << true << printing << jsProcessing;
        QTest::newRow("set+write, status decides")
            << (PRINTER_CHANGE_SET_JOB | PRINTER_CHANGE_WRITE_JOB) << true << JOB_STATUS_PAUSED
            << jsPaused;
        QTest::newRow("set+write without status entry")
            << (PRINTER_CHANGE_SET_JOB | PRINTER_CHANGE_WRITE_JOB) << false << 0u << jsNone;
        QTest::newRow("write") << PRINTER_CHANGE_WRITE_JOB << false << 0u << jsProcessing;
        QTest::newRow("no job bit") << 0x1u << true << printing << jsNone;
        QTest::newRow("nothing") << 0u << false << 0u << jsNone;
    }
    void statusFromChange()
    {
        QFETCH(std::uint32_t, word);
        QFETCH(bool, withStatus);
        QFETCH(std::uint32_t, bits);
        QFETCH(TJobStatus, expected);
        TNotifyInfo info;
        info.aData << textEntry(JOB_NOTIFY_FIELD_DOCUMENT, QStringLiteral("doc"));
        if (withStatus)
            info.aData << statusEntry(bits);
        QCOMPARE(StatusFromChange(word, &info), expected);
    }

    void statusFromChangeWithoutNotification()
    {
        QCOMPARE(StatusFromChange(PRINTER_CHANGE_ADD_JOB, nullptr), jsNew);
        QCOMPARE(StatusFromChange(PRINTER_CHANGE_DELETE_JOB, nullptr), jsCompleted);
        QCOMPARE(StatusFromChange(PRINTER_CHANGE_SET_JOB, nullptr), jsNone);
        QCOMPARE(StatusFromChange(PRINTER_CHANGE_WRITE_JOB, nullptr), jsProcessing);
    }

    void statusFromJobStatusBits_data()
    {
        QTest::addColumn<std::uint32_t>("bits");
        QTest::addColumn<TJobStatus>("expected");
        QTest::newRow("printed") << JOB_STATUS_PRINTED << jsCompleted;
        QTest::newRow("printed+deleting")
            << (JOB_STATUS_PRINTED | JOB_STATUS_DELETING) << jsCompleted;
        QTest::newRow("printed+error") << (JOB_STATUS_PRINTED | JOB_STATUS_ERROR) << jsCompleted;
        QTest::newRow("deleting") << JOB_STATUS_DELETING << jsNone;
        QTest::newRow("deleting+printing") << (JOB_STATUS_DELETING | JOB_STATUS_PRINTING) << jsNone;
        QTest::newRow("spooling") << JOB_STATUS_SPOOLING << jsProcessing;
        QTest::newRow("printing") << JOB_STATUS_PRINTING << jsProcessing;
        QTest::newRow("spooling+paused")
            << (JOB_STATUS_SPOOLING | JOB_STATUS_PAUSED) << jsProcessing;
        QTest::newRow("printing+error") << (JOB_STATUS_PRINTING | JOB_STATUS_ERROR) << jsProcessing;
        QTest::newRow("error") << JOB_STATUS_ERROR << jsError;
        QTest::newRow("offline") << JOB_STATUS_OFFLINE << jsError;
        QTest::newRow("paperout") << JOB_STATUS_PAPEROUT << jsError;
        QTest::newRow("paused+error") << (JOB_STATUS_PAUSED | JOB_STATUS_ERROR) << jsError;
        QTest::newRow("paused") << JOB_STATUS_PAUSED << jsPaused;
        QTest::newRow("no bit") << 0u << jsNone;
        QTest::newRow("deleted") << JOB_STATUS_DELETED << jsNone;
        QTest::newRow("blocked") << JOB_STATUS_BLOCKED_DEVQ << jsNone;
        QTest::newRow("intervention") << JOB_STATUS_USER_INTERVENTION << jsNone;
        QTest::newRow("restart") << JOB_STATUS_RESTART << jsNone;
        QTest::newRow("complete") << JOB_STATUS_COMPLETE << jsNone;
        QTest::newRow("high bit") << 0x80000000u << jsNone;
    }
    void statusFromJobStatusBits()
    {
        QFETCH(std::uint32_t, bits);
        QFETCH(TJobStatus, expected);
        TNotifyInfo info;
        info.aData << statusEntry(bits);
        QCOMPARE(StatusFromJobStatusBits(&info), expected);
    }

    void onlyTheFirstStatusEntryCounts()
    {
        TNotifyInfo info;
        info.aData << textEntry(JOB_NOTIFY_FIELD_USER_NAME, QStringLiteral("me"))
                   << statusEntry(JOB_STATUS_PAUSED) << statusEntry(JOB_STATUS_PRINTED);
        QCOMPARE(StatusFromJobStatusBits(&info), jsPaused);
        QCOMPARE(StatusFromJobStatusBits(nullptr), jsNone);
        TNotifyInfo noStatus;
        noStatus.aData << numberEntry(JOB_NOTIFY_FIELD_TOTAL_PAGES, 3);
        QCOMPARE(StatusFromJobStatusBits(&noStatus), jsNone);
    }

    void fillAppliesEveryField()
    {
        TJobInformation record = printerRecord();
        TNotifyInfo info;
        info.aData << textEntry(JOB_NOTIFY_FIELD_MACHINE_NAME, QStringLiteral("host"), 42)
                   << textEntry(JOB_NOTIFY_FIELD_USER_NAME, QStringLiteral("anne"), 42)
                   << textEntry(JOB_NOTIFY_FIELD_DOCUMENT, QStringLiteral("Facture é"), 42)
                   << numberEntry(JOB_NOTIFY_FIELD_TOTAL_PAGES, 12, 42)
                   << numberEntry(JOB_NOTIFY_FIELD_TOTAL_BYTES, 0xFFFFFFFFu, 42)
                   << numberEntry(JOB_NOTIFY_FIELD_BYTES_PRINTED, 2048, 42)
                   << numberEntry(JOB_NOTIFY_FIELD_PAGES_PRINTED, 5, 42)
                   << statusEntry(JOB_STATUS_PRINTING, 42)
                   << deviceModeEntry(-3, DMORIENT_LANDSCAPE, 42)
                   << textEntry(0x7F, QStringLiteral("ignored"), 42);
        FillFromNotifyInfo(record, &info);
        QCOMPARE(record.JobId, 42u);
        QCOMPARE(record.MachineName, QStringLiteral("host"));
        QCOMPARE(record.UserName, QStringLiteral("anne"));
        QCOMPARE(record.DocumentName, QStringLiteral("Facture é"));
        QCOMPARE(record.TotalPages, 12u);
        QCOMPARE(record.TotalBytes, 0xFFFFFFFFu);
        QCOMPARE(record.BytesPrinted, 2048u);
        QCOMPARE(record.PagesPrinted, 5u);
        QCOMPARE(record.Copies, -3);
        QVERIFY(record.Landscape);
        QCOMPARE(record.PrinterName, QStringLiteral("vellora"));
        QCOMPARE(record.ShareName, QStringLiteral("share"));
        QCOMPARE(record.Status, jsNone); // the status entry only derives Status elsewhere
    }

    void fillKeepsFieldsWithoutEntryForTheSameJob()
    {
        TJobInformation record = printerRecord();
        TNotifyInfo first;
        first.aData << textEntry(JOB_NOTIFY_FIELD_DOCUMENT, QStringLiteral("a.ps"))
                    << numberEntry(JOB_NOTIFY_FIELD_TOTAL_PAGES, 4)
                    << deviceModeEntry(2, DMORIENT_LANDSCAPE);
        FillFromNotifyInfo(record, &first);
        TNotifyInfo second;
        second.aData << statusEntry(JOB_STATUS_PRINTED);
        FillFromNotifyInfo(record, &second);
        QCOMPARE(record.DocumentName, QStringLiteral("a.ps"));
        QCOMPARE(record.TotalPages, 4u);
        QCOMPARE(record.Copies, 2);
        QVERIFY(record.Landscape);
    }

    // A record never carries a field of one job over to the next.
    void fillStartsEmptyForAnotherJob()
    {
        TJobInformation record = printerRecord();
        TNotifyInfo first;
        first.aData << textEntry(JOB_NOTIFY_FIELD_DOCUMENT, QStringLiteral("secret.ps"), 1)
                    << textEntry(JOB_NOTIFY_FIELD_USER_NAME, QStringLiteral("bob"), 1)
                    << deviceModeEntry(3, DMORIENT_LANDSCAPE, 1);
        FillFromNotifyInfo(record, &first);
        TNotifyInfo second;
        second.aData << statusEntry(JOB_STATUS_PRINTED, 2);
        FillFromNotifyInfo(record, &second);
        QCOMPARE(record.JobId, 2u);
        QVERIFY(record.DocumentName.isEmpty());
        QVERIFY(record.UserName.isEmpty());
        QCOMPARE(record.Copies, 0);
        QVERIFY(!record.Landscape);
        QCOMPARE(record.PrinterName, QStringLiteral("vellora"));
        QCOMPARE(record.PrinterIndex, 2);
    }

    void fillWithEntriesOfTwoJobsTakesTheFirstId()
    {
        TJobInformation record = printerRecord();
        TNotifyInfo info;
        info.aData << textEntry(JOB_NOTIFY_FIELD_DOCUMENT, QStringLiteral("one"), 5)
                   << textEntry(JOB_NOTIFY_FIELD_DOCUMENT, QStringLiteral("two"), 6);
        FillFromNotifyInfo(record, &info);
        QCOMPARE(record.JobId, 5u);
        QCOMPARE(record.DocumentName, QStringLiteral("two"));
    }

    void fillWithNothingChangesNothing()
    {
        TJobInformation record = printerRecord();
        record.JobId = 9;
        record.DocumentName = QStringLiteral("kept");
        const TJobInformation before = record;
        FillFromNotifyInfo(record, nullptr);
        QCOMPARE(record, before);
        TNotifyInfo empty;
        FillFromNotifyInfo(record, &empty);
        QCOMPARE(record, before);
    }

    void orientation_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<std::int16_t>("orientation");
        QTest::addColumn<bool>("after");
        QTest::newRow("portrait") << true << DMORIENT_PORTRAIT << false;
        QTest::newRow("landscape") << false << DMORIENT_LANDSCAPE << true;
        // Unknown values keep the earlier orientation instead of dropping the change.
        QTest::newRow("zero keeps landscape") << true << std::int16_t(0) << true;
        QTest::newRow("zero keeps portrait") << false << std::int16_t(0) << false;
        QTest::newRow("nine keeps landscape") << true << std::int16_t(9) << true;
    }
    void orientation()
    {
        QFETCH(bool, before);
        QFETCH(std::int16_t, orientation);
        QFETCH(bool, after);
        TJobInformation record = printerRecord();
        record.JobId = 7;
        record.Landscape = before;
        TNotifyInfo info;
        info.aData << textEntry(JOB_NOTIFY_FIELD_DOCUMENT, QStringLiteral("before"))
                   << deviceModeEntry(4, orientation)
                   << textEntry(JOB_NOTIFY_FIELD_USER_NAME, QStringLiteral("after"));
        FillFromNotifyInfo(record, &info);
        QCOMPARE(record.Landscape, after);
        QCOMPARE(record.Copies, 4);
        QCOMPARE(record.DocumentName, QStringLiteral("before"));
        QCOMPARE(record.UserName, QStringLiteral("after"));
    }

    void cloneIsEqualAndIndependent()
    {
        TJobInformation record = printerRecord();
        record.ServerName = QStringLiteral("server");
        record.MachineName = QStringLiteral("m");
        record.UserName = QStringLiteral("u");
        record.DocumentName = QStringLiteral("d");
        record.PagesPrinted = 1;
        record.TotalPages = 2;
        record.BytesPrinted = 3;
        record.TotalBytes = 4;
        record.JobId = 5;
        record.Status = jsError;
        record.Copies = -6;
        record.Landscape = true;
        const std::unique_ptr<TJobInformation> copy = record.Clone();
        QCOMPARE(*copy, record);
        record.DocumentName = QStringLiteral("changed");
        record.Landscape = false;
        QCOMPARE(copy->DocumentName, QStringLiteral("d"));
        QVERIFY(copy->Landscape);
    }

    void newRecordHoldsOnlyThePrinter()
    {
        const TJobInformation record(3, QStringLiteral("p"), QStringLiteral("port"), QString(),
                                     QString());
        QCOMPARE(record.PrinterIndex, 3);
        QVERIFY(record.ServerName.isEmpty());
        QVERIFY(record.DocumentName.isEmpty());
        QCOMPARE(record.JobId, 0u);
        QCOMPARE(record.Status, jsNone);
        QVERIFY(!record.Landscape);
    }
};

QTEST_GUILESS_MAIN(TestJobRules)
#include "tst_jobrules.moc"
