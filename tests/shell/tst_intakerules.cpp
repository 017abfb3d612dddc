// The rules of the print-job intake, without a window: which reports are jobs to take in, which
// of them are PDF documents, and the guard that takes each job once.
#include "JobInformation.h"
#include "JobIntake.h"

#include <QtTest>

using namespace vellora;

namespace {

struct Report
{
    std::uint32_t id = 1;
    QString document = QStringLiteral("lettre.ps");
    QString key;
    QString printer = QStringLiteral("vellora");
    TJobStatus status = jsCompleted;
    QString user = QStringLiteral("marie");
};
using Reports = QList<Report>;

TJobInformation jobOf(const Report& report)
{
    TJobInformation job(0, report.printer, QStringLiteral("vellora:/"), QString(), QString());
    job.JobId = report.id;
    job.DocumentName = report.document;
    job.JobKey = report.key;
    job.Status = report.status;
    job.UserName = report.user;
    return job;
}

Report withId(std::uint32_t id)
{
    Report report;
    report.id = id;
    return report;
}

Report withStatus(TJobStatus status)
{
    Report report;
    report.status = status;
    return report;
}

} // namespace

Q_DECLARE_METATYPE(Reports)

class TestIntakeRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One letter per report: '-' not a completed job of ours on "vellora" (PdfMode stays), 'T'
    // taken, 'P' taken as a PDF document, 'o' and 'p' the same job seen again (PdfMode follows
    // its name, nothing else happens).
    void decidesEachReport_data()
    {
        QTest::addColumn<Reports>("reports");
        QTest::addColumn<QString>("outcomes");
        const auto on = [](const char* printer) {
            Report report;
            report.printer = QString::fromUtf8(printer);
            return report;
        };
        const auto by = [](const QString& user) {
            Report report;
            report.user = user;
            return report;
        };
        const auto job = [](std::uint32_t id, const char* document, const char* key = "") {
            return Report{id, QString::fromUtf8(document), QString::fromUtf8(key)};
        };
        QTest::newRow("vellora") << Reports{on("vellora")} << "T";
        QTest::newRow("VELLORA") << Reports{on("VELLORA")} << "T";
        QTest::newRow("vellora 2") << Reports{on("vellora 2")} << "-";
        QTest::newRow("other printer") << Reports{on("laser")} << "-";
        QTest::newRow("not completed")
            << Reports{withStatus(jsNew),     withStatus(jsProcessing), withStatus(jsPaused),
                       withStatus(jsResumed), withStatus(jsAborted),    withStatus(jsError)}
            << "------";
        QTest::newRow("another user") << Reports{by(QStringLiteral("paul"))} << "-";
        QTest::newRow("no user") << Reports{by(QString())} << "-";
        QTest::newRow("ignored, then ours") << Reports{on("laser"), job(4, "a.ps")} << "-T";
        QTest::newRow("first job, any id") << Reports{job(0xFFFFFFFFu, "a.ps")} << "T";
        QTest::newRow("same job twice") << Reports{job(10, "a.ps"), job(10, "a.ps")} << "To";
        QTest::newRow("late report of an earlier job")
            << Reports{job(10, "a.ps"), job(11, "b.ps"), job(10, "a.ps")} << "TTo";
        QTest::newRow("id given again after a crash")
            << Reports{job(5, "a.ps", "uuid-1"), job(5, "a.ps", "uuid-2"), job(5, "a.ps", "uuid-1")}
            << "TTo";
        QTest::newRow("name.pdf") << Reports{job(20, "rapport.pdf")} << "P";
        QTest::newRow("NAME.PDF") << Reports{job(20, "RAPPORT.PDF")} << "P";
        QTest::newRow("inside") << Reports{job(20, "notes.pdf - Viewer")} << "P";
        QTest::newRow("no dot") << Reports{job(20, "pdf-guide.ps")} << "T";
        QTest::newRow("seen again under a PDF name")
            << Reports{job(30, "lettre.ps"), job(30, "lettre.pdf"), job(30, "lettre.ps")} << "Tpo";
    }
    void decidesEachReport()
    {
        QFETCH(Reports, reports);
        QFETCH(QString, outcomes);
        bool firstJob = false;
        std::uint32_t lastJobId = 0;
        TakenJobs taken;
        TJobIntake intake(QStringLiteral("marie"), firstJob, lastJobId, taken);
        intake.Reset();
        QCOMPARE(lastJobId, 0xFFFFFFFFu);

        QString seen;
        std::uint32_t lastTaken = 0xFFFFFFFFu;
        for (const Report& report : reports) {
            const TJobIntake::Decision decision = intake.Consider(jobOf(report));
            const char letter = !decision.ours  ? '-'
                                : decision.take ? (decision.pdf ? 'P' : 'T')
                                                : (decision.pdf ? 'p' : 'o');
            seen += QLatin1Char(letter);
            if (decision.take)
                lastTaken = report.id;
        }
        QCOMPARE(seen, outcomes);
        QCOMPARE(firstJob, !outcomes.contains(u'T') && !outcomes.contains(u'P'));
        QCOMPARE(lastJobId, lastTaken);
    }

    void takenJobsAreBounded()
    {
        bool firstJob = true;
        std::uint32_t lastJobId = 0;
        TakenJobs taken;
        TJobIntake intake(QStringLiteral("marie"), firstJob, lastJobId, taken);
        for (std::uint32_t id = 1; id <= TakenJobs::kCapacity + 10; ++id)
            QVERIFY(intake.Consider(jobOf(withId(id))).take);
        QCOMPARE(taken.size(), TakenJobs::kCapacity);
        QVERIFY(!intake.Consider(jobOf(withId(TakenJobs::kCapacity + 10))).take);
        // The oldest were forgotten: a report of one of them is taken again.
        QVERIFY(intake.Consider(jobOf(withId(1))).take);
    }
};

QTEST_GUILESS_MAIN(TestIntakeRules)
#include "tst_intakerules.moc"
