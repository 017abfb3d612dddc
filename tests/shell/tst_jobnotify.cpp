// The print-job intake: which reports it takes, and what taking one does to the main window.
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "JobInformation.h"
#include "Main.h"
#include "TestSupport.h"

#include <Paths.h>
#include <QPlainTextEdit>
#include <QtTest>

using namespace vellora;

Q_DECLARE_METATYPE(vellora::TJobStatus)

namespace {

TJobInformation report(std::uint32_t jobId, const QString& document,
                       TJobStatus status = jsCompleted, const QString& printer = "vellora",
                       const QString& user = paths::CurrentUserName())
{
    TJobInformation job(0, printer, QStringLiteral("vellora:/"), QString(), QString());
    job.JobId = jobId;
    job.DocumentName = document;
    job.Status = status;
    job.UserName = user;
    return job;
}

int clickedLines(const TF_Main& window)
{
    return int(window.M_Log->toPlainText().split(u'\n').count(QStringLiteral("CLICKED ")));
}

} // namespace

class TestJobNotify : public QObject
{
    Q_OBJECT

    FakePrompts m_prompts;
    FakeTrayIcon m_tray;
    std::unique_ptr<TF_Main> m_window;

private Q_SLOTS:
    void initTestCase() { setPrompts(&m_prompts); }

    void init()
    {
        // No print server here: the monitor waits for one and reports nothing.
        m_window = std::make_unique<TF_Main>(m_tray);
        QVERIFY(!m_window->isVisible());
    }

    void cleanup() { m_window.reset(); }

    void picksCompletedJobsOfItsPrinter_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<TJobStatus>("status");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("taken");
        const QString me = paths::CurrentUserName();
        QTest::newRow("vellora") << "vellora" << jsCompleted << me << true;
        QTest::newRow("VELLORA") << "VELLORA" << jsCompleted << me << true;
        QTest::newRow("vellora 2") << "vellora 2" << jsCompleted << me << false;
        QTest::newRow("other printer") << "laser" << jsCompleted << me << false;
        QTest::newRow("new") << "vellora" << jsNew << me << false;
        QTest::newRow("processing") << "vellora" << jsProcessing << me << false;
        QTest::newRow("paused") << "vellora" << jsPaused << me << false;
        QTest::newRow("resumed") << "vellora" << jsResumed << me << false;
        QTest::newRow("aborted") << "vellora" << jsAborted << me << false;
        QTest::newRow("error") << "vellora" << jsError << me << false;
        QTest::newRow("another user") << "vellora" << jsCompleted << "vellora-other-user" << false;
        QTest::newRow("no user") << "vellora" << jsCompleted << QString() << false;
    }
    void picksCompletedJobsOfItsPrinter()
    {
        QFETCH(QString, printer);
        QFETCH(TJobStatus, status);
        QFETCH(QString, user);
        QFETCH(bool, taken);
        m_window->PdfMode = true;
        m_window->JobNotify(report(7, QStringLiteral("lettre.ps"), status, printer, user));
        QCOMPARE(clickedLines(*m_window), taken ? 1 : 0);
        QCOMPARE(m_window->isVisible(), taken);
        // Only a report that got past the printer, status and user tests sets PdfMode.
        QCOMPARE(m_window->PdfMode, !taken);
        if (taken) {
            QCOMPARE(m_window->DocFile, paths::PrintFile());
            QCOMPARE(TF_Main::LastJobId, 7u);
            QVERIFY(!TF_Main::FirstJob);
        }
    }

    void eachJobIsTakenOnce()
    {
        m_window->JobNotify(report(10, QStringLiteral("a.ps")));
        m_window->JobNotify(report(10, QStringLiteral("a.ps")));
        QCOMPARE(clickedLines(*m_window), 1);
        m_window->JobNotify(report(11, QStringLiteral("b.ps")));
        QCOMPARE(clickedLines(*m_window), 2);
        // A late report of the earlier job does not preview the print file again.
        m_window->JobNotify(report(10, QStringLiteral("a.ps")));
        QCOMPARE(clickedLines(*m_window), 2);
        QCOMPARE(TF_Main::LastJobId, 11u);
    }

    void firstJobIsTakenWhateverItsId()
    {
        m_window->JobNotify(report(0xFFFFFFFFu, QStringLiteral("a.ps")));
        QCOMPARE(clickedLines(*m_window), 1);
    }

    void pdfDocuments_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<bool>("pdf");
        QTest::newRow("name.pdf") << "rapport.pdf" << true;
        QTest::newRow("NAME.PDF") << "RAPPORT.PDF" << true;
        QTest::newRow("inside") << "notes.pdf - Viewer" << true;
        QTest::newRow("no dot") << "pdf-guide.ps" << false;
        QTest::newRow("plain") << "lettre.txt" << false;
    }
    void pdfDocuments()
    {
        QFETCH(QString, document);
        QFETCH(bool, pdf);
        m_window->JobNotify(report(20, document));
        QCOMPARE(m_window->PdfMode, pdf);
        QCOMPARE(m_window->DocFile, paths::PrintFile());
        if (pdf)
            QVERIFY(!m_window->PreviewDone);
    }

    // A report of a job already taken still sets PdfMode from its name before the guard.
    void repeatedReportSetsPdfModeAgain()
    {
        m_window->JobNotify(report(30, QStringLiteral("lettre.ps")));
        m_window->PdfMode = true; // "Créer à partir du PDF"
        m_window->JobNotify(report(30, QStringLiteral("lettre.ps")));
        QVERIFY(!m_window->PdfMode);
        QCOMPARE(clickedLines(*m_window), 1);
    }

    void takenIdsAreBounded()
    {
        for (std::uint32_t id = 1; id <= TakenJobs::kCapacity + 10; ++id)
            TF_Main::TakenJobIds.remember(id);
        QCOMPARE(TF_Main::TakenJobIds.size(), TakenJobs::kCapacity);
        QVERIFY(!TF_Main::TakenJobIds.contains(1));
        QVERIFY(TF_Main::TakenJobIds.contains(TakenJobs::kCapacity + 10));
    }
};

QTEST_MAIN(TestJobNotify)
#include "tst_jobnotify.moc"
