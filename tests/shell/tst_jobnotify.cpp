// The print-job intake in the main window: what taking a job does to it, and the log line of
// an exception its handlers drop.
#include "Errors.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "JobInformation.h"
#include "Log.h"
#include "Main.h"
#include "TestSupport.h"

#include <Paths.h>
#include <QPlainTextEdit>
#include <QtTest>

using namespace vellora;

namespace {

TJobInformation report(std::uint32_t jobId, const QString& document,
                       const QString& printer = QStringLiteral("vellora"))
{
    TJobInformation job(0, printer, QStringLiteral("vellora:/"), QString(), QString());
    job.JobId = jobId;
    job.DocumentName = document;
    job.Status = jsCompleted;
    job.UserName = paths::CurrentUserName();
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

    // Which reports are taken is the intake rules' matter; here, what taking one does.
    void takingAJobOpensTheWindow_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QString>("document");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("pdfMode");
        QTest::newRow("ordinary document") << "vellora"
                                           << "lettre.ps" << true << false;
        QTest::newRow("PDF document") << "vellora"
                                      << "notes.PDF" << true << true;
        QTest::newRow("other printer") << "laser"
                                       << "lettre.ps" << false << true;
    }
    void takingAJobOpensTheWindow()
    {
        QFETCH(QString, printer);
        QFETCH(QString, document);
        QFETCH(bool, taken);
        QFETCH(bool, pdfMode);
        m_window->PdfMode = true; // "Créer à partir du PDF"
        m_window->PreviewDone = true;
        m_window->JobNotify(report(7, document, printer));
        QCOMPARE(clickedLines(*m_window), taken ? 1 : 0);
        QCOMPARE(m_window->isVisible(), taken);
        QCOMPARE(m_window->PdfMode, pdfMode);
        QCOMPARE(m_window->DocFile, taken ? paths::PrintFile() : QString());
        QCOMPARE(TF_Main::LastJobId, taken ? 7u : 0xFFFFFFFFu);
        QCOMPARE(TF_Main::FirstJob, !taken);
        if (taken && pdfMode)
            QVERIFY(!m_window->PreviewDone);
    }

    // A report of a job already taken still sets PdfMode from its name, and nothing else.
    void repeatedReportSetsPdfModeAgain()
    {
        m_window->JobNotify(report(30, QStringLiteral("lettre.ps")));
        m_window->PdfMode = true; // "Créer à partir du PDF"
        m_window->JobNotify(report(30, QStringLiteral("lettre.ps")));
        QVERIFY(!m_window->PdfMode);
        QCOMPARE(clickedLines(*m_window), 1);
    }

    void droppedExceptionsLeaveALine()
    {
        QCOMPARE(lcShell().categoryName(), "vellora.shell");
        QTest::ignoreMessage(QtWarningMsg, "JobNotify: exception dropped: Fichier introuvable");
        try {
            throw EVellora(QStringLiteral("Fichier introuvable"));
        } catch (...) {
            logDroppedException(lcShell(), "JobNotify");
        }
        QTest::ignoreMessage(QtWarningMsg, "FormCreate: exception dropped: unknown exception");
        try {
            throw 42;
        } catch (...) {
            logDroppedException(lcShell(), "FormCreate");
        }
    }
};

QTEST_MAIN(TestJobNotify)
#include "tst_jobnotify.moc"
