// Printing to "vellora" end to end: a private cupsd and D-Bus, the real backend, the monitor,
// JobNotify, Ghostscript's preview and conversion, and the main window.
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "GhostScript.h"
#include "JobInformation.h"
#include "Main.h"
#include "PageView.h"
#include "Paths.h"
#include "PrintersMonitor.h"
#include "PrivateCups.h"
#include "RenderFixtures.h"
#include "TestSupport.h"
#include "builder/dialogs/Options.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <map>
#include <sys/stat.h>

using namespace vellora;
using namespace vellora::test;

namespace {

int linesOf(const TF_Main& window, const QString& line)
{
    return int(window.M_Log->toPlainText().split(u'\n').count(line));
}

// The main window with its options dialog, as the program makes them, and a count of the
// completion reports that reach JobNotify.
struct Program
{
    FakeTrayIcon tray;
    TF_Main window{tray};
    TForm1 options{window};
    std::map<std::uint32_t, int> completions;
    std::map<std::uint32_t, QString> documents;
    std::map<std::uint32_t, QString> printers;

    Program()
    {
        window.setOptionsDialog(&options);
        const TJobEvent intake = window.Monitor->OnJobComplete;
        window.Monitor->OnJobComplete = [this, intake](const TJobInformation& job) {
            ++completions[job.JobId];
            documents[job.JobId] = job.DocumentName;
            printers[job.JobId] = job.PrinterName;
            intake(job);
        };
    }

    bool ready()
    {
        return QTest::qWaitFor(
            [this] {
                return window.Monitor->IsSubscribed() &&
                       window.Monitor->WatchedPrinters().contains(QStringLiteral("vellora"));
            },
            20000);
    }

    // Both completion reports of the job reached JobNotify and every pass over the print file
    // it started has finished (a pass leaves the window once it said so). Generous: every job
    // starts the interpreter program twice, and a burst of jobs keeps the queue running until
    // the last one is done.
    bool settled(int jobId)
    {
        return QTest::qWaitFor(
            [&] {
                return completions[std::uint32_t(jobId)] >= 2 &&
                       window.findChildren<TPrintFileRun*>().isEmpty();
            },
            240000);
    }
};

} // namespace

class TestJobIntake : public QObject
{
    Q_OBJECT

    PrivateCups m_cups;
    FakePrompts m_prompts;
    QTemporaryDir m_files;
    QString m_threePages;

    QString printFile() const
    {
        return m_cups.spoolRoot() + u'/' + paths::CurrentUserName() + QStringLiteral("/Vellora.ps");
    }

private Q_SLOTS:
    void initTestCase()
    {
        VELLORA_REQUIRE_PRIVATE_CUPS(m_cups, {QStringLiteral("other")});
        VELLORA_REQUIRE(hasMutool(), QStringLiteral("mutool (mupdf-tools)"));
        paths::setSpoolRootForTesting(m_cups.spoolRoot());
        setPrompts(&m_prompts);
        // Another user prints from here too.
        QFile::setPermissions(m_files.path(), QFile::permissions(m_files.path()) |
                                                  QFileDevice::ExeOther | QFileDevice::ReadOther);
        m_threePages = m_files.filePath(QStringLiteral("three.ps"));
        QVERIFY(writeFile(m_threePages, postScript(3)));
        QFile::setPermissions(m_threePages, QFileDevice::ReadOwner | QFileDevice::ReadOther |
                                                QFileDevice::ReadGroup | QFileDevice::WriteOwner);
    }

    void init()
    {
        TF_Main::Quitting = false;
        m_prompts.clear();
    }

    void cleanupTestCase()
    {
        paths::setSpoolRootForTesting(QString());
        m_cups.stop();
    }

    void printedDocumentIsTakenOncePreviewedAndConverted()
    {
        QFile::remove(paths::WorkPdf());
        Program program;
        QVERIFY(program.ready());
        QVERIFY(!program.window.isVisible());
        const int id = PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"),
                                           QStringLiteral("-t"), QStringLiteral("Rapport annuel"),
                                           m_threePages});
        QVERIFY(id > 0);
        QVERIFY(program.settled(id));
        TF_Main& window = program.window;
        QCOMPARE(linesOf(window, QStringLiteral("FINIESHED HERE")), 1);
        QCOMPARE(program.completions[std::uint32_t(id)], 2);
        QCOMPARE(program.documents[std::uint32_t(id)], QStringLiteral("Rapport annuel"));
        QCOMPARE(linesOf(window, QStringLiteral("CLICKED ")), 1);
        QVERIFY(window.isVisible());
        QCOMPARE(window.DocFile, printFile());
        QVERIFY(!window.PdfMode);
        QCOMPARE(window.statusText(0), QStringLiteral("Page1/3"));
        QCOMPARE(window.GS->CurrentPage(), 1);
        QVERIFY(!window.Image->bitmap().isNull());
        QCOMPARE(mupdfPageCount(paths::WorkPdf()), 3);
        QCOMPARE(program.options.endPage->text(), QStringLiteral("3"));

        struct stat info
        {};
        QCOMPARE(::lstat(QFile::encodeName(printFile()).constData(), &info), 0);
        QCOMPARE(info.st_uid, ::geteuid());
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QCOMPARE(::lstat(QFile::encodeName(QFileInfo(printFile()).path()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
        QVERIFY(m_prompts.messages().isEmpty());
    }

    void pdfDocumentTakesThePdfBranch()
    {
        QVERIFY(writeFile(paths::WorkPdf(), "earlier catalogue's PDF"));
        Program program;
        QVERIFY(program.ready());
        const QString endPage = program.options.endPage->text();
        const int id =
            PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"),
                                QStringLiteral("-t"), QStringLiteral("Notes.PDF"), m_threePages});
        QVERIFY(id > 0);
        QVERIFY(program.settled(id));
        TF_Main& window = program.window;
        QCOMPARE(linesOf(window, QStringLiteral("CLICKED ")), 1);
        QVERIFY(window.isVisible());
        QVERIFY(window.PdfMode);
        QCOMPARE(window.statusText(0), QStringLiteral("Page1/3"));
        QCOMPARE(window.GS->Resolution(), 72);
        QCOMPARE(linesOf(window, QStringLiteral("FINIESHED HERE")), 0);
        QFile work(paths::WorkPdf());
        QVERIFY(work.open(QIODevice::ReadOnly));
        QCOMPARE(work.readAll(), QByteArray("earlier catalogue's PDF"));
        QCOMPARE(program.options.endPage->text(), endPage);
    }

    void otherPrintersAndOtherUsersAreIgnored()
    {
        Program program;
        QVERIFY(program.ready());
        const int onOther =
            PrivateCups::print({QStringLiteral("-d"), QStringLiteral("other"), m_threePages});
        const int theirs =
            PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"), m_threePages},
                               QStringLiteral("nobody"));
        QVERIFY(onOther > 0 && theirs > 0);
        QVERIFY(program.settled(onOther));
        QCOMPARE(program.printers[std::uint32_t(onOther)], QStringLiteral("other"));
        QCOMPARE(linesOf(program.window, QStringLiteral("CLICKED ")), 0);
        QVERIFY(!program.window.isVisible());
        // Our own job afterwards is taken; the other user's, seen earlier on the same
        // printer, never reached the intake.
        const int ours =
            PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"), m_threePages});
        QVERIFY(program.settled(ours));
        QCOMPARE(linesOf(program.window, QStringLiteral("CLICKED ")), 1);
        QCOMPARE(program.completions.count(std::uint32_t(theirs)), std::size_t(0));
    }

    void burstOfFiftyJobsIsTakenJobByJob()
    {
        Program program;
        QVERIFY(program.ready());
        const QString onePage = m_files.filePath(QStringLiteral("one.ps"));
        QVERIFY(writeFile(onePage, postScript(1)));
        QList<int> ids;
        for (int i = 0; i < 50; ++i) {
            const int id = PrivateCups::print({QStringLiteral("-d"), QStringLiteral("vellora"),
                                               QStringLiteral("-t"),
                                               QStringLiteral("page %1").arg(i), onePage});
            QVERIFY(id > 0);
            ids << id;
        }
        for (int id : ids)
            QVERIFY(program.settled(id));
        QCOMPARE(linesOf(program.window, QStringLiteral("CLICKED ")), 50);
        for (int i = 0; i < ids.size(); ++i) {
            QCOMPARE(program.completions[std::uint32_t(ids[i])], 2);
            QCOMPARE(program.documents[std::uint32_t(ids[i])], QStringLiteral("page %1").arg(i));
        }
        QCOMPARE(linesOf(program.window, QStringLiteral("FINIESHED HERE")), 50);
    }
};

VELLORA_TEST_MAIN(TestJobIntake)
#include "tst_jobintake.moc"
