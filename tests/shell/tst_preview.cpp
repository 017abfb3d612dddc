// The main window's preview of the print file against the real Ghostscript library: the page
// view, paging and its status texts, the working PDF, failures, queued jobs and shutdown.
#include "Bitmap.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "GhostScript.h"
#include "Main.h"
#include "PageView.h"
#include "Paths.h"
#include "RenderFixtures.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>

using namespace vellora;
using namespace vellora::test;

class PreviewTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_spool;
    FakePrompts m_prompts;

    static void writePrintFile(const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(paths::PrintFile()).absolutePath());
        QVERIFY(writeFile(paths::PrintFile(), content));
    }

    static bool finishes(TPrintFileRun* run) { return waitFor(run, &TPrintFileRun::finished); }

    static int finishedLines(const TF_Main& window)
    {
        return window.M_Log->toPlainText().split('\n').count("FINIESHED HERE");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_spool.isValid());
        paths::setSpoolRootForTesting(m_spool.path());
        setPrompts(&m_prompts);
    }

    void init()
    {
        m_prompts.clear();
        QFile::remove(paths::PrintFile());
        QFile::remove(paths::WorkPdf());
        TF_Main::Quitting = false;
    }

    void pagingBeforeAnyPreviewChangesNothing()
    {
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.BNext->click();
        QCOMPARE(window.statusText(0), "Page0/0");
        window.BPrevious->click();
        QCOMPARE(window.statusText(0), "Page0/0");
        QVERIFY(window.Image->bitmap().isNull());
        QCOMPARE(window.GS->Resolution(), 120);
    }

    void printFileIsPreviewedThenConverted()
    {
        VELLORA_REQUIRE(hasMutool(), "mutool (mupdf-tools)");
        writePrintFile(postScript(5));
        FakeTrayIcon tray;
        TF_Main window(tray);
        bool runningAtFirstPage = false;
        bool sawFirstPage = false;
        connect(window.ImageBitmap, &TBitmap::changed, this, [&] {
            if (!sawFirstPage) {
                sawFirstPage = true;
                runningAtFirstPage = window.GS->Queue().running() && window.GS->PagesRendered() < 5;
            }
        });
        QVERIFY(finishes(window.Button1Click()));

        QVERIFY2(runningAtFirstPage, "page 1 was not shown while the others rendered");
        QCOMPARE(window.statusText(0), "Page1/5");
        QCOMPARE(window.GS->GetPageCount(), 5);
        QCOMPARE(window.Image->bitmap().size(), pixelSize(a4Portrait(), 120));
        QCOMPARE(window.Image->bitmap().pixelColor(5, 5), QColor(Qt::black));
        QCOMPARE(window.DocFile, paths::PrintFile());
        QVERIFY(!window.PreviewDone);
        QCOMPARE(finishedLines(window), 1);
        QCOMPARE(mupdfPageCount(paths::WorkPdf()), 5);
        QVERIFY(m_prompts.messages().isEmpty());
    }

    void pagingMovesWithinTheDocument()
    {
        writePrintFile(postScript({a4Portrait(), a4Landscape(), a4Portrait()}));
        FakeTrayIcon tray;
        TF_Main window(tray);
        QVERIFY(finishes(window.ShowDocument())); // DocFile is empty: nothing to show
        QCOMPARE(window.statusText(0), "Page0/0");

        window.DocFile = paths::PrintFile();
        QVERIFY(finishes(window.ShowDocument()));
        QVERIFY(window.PreviewDone);
        // PreviewDone was already set: the page list fills, the view waits for a click.
        QCOMPARE(window.statusText(0), "Page0/3");

        const QList<std::pair<QToolButton*, QString>> clicks = {
            {window.BPrevious, "Page0/3"}, {window.BNext, "Page1/3"},
            {window.BNext, "Page2/3"},     {window.BNext, "Page3/3"},
            {window.BNext, "Page3/3"},     {window.BPrevious, "Page2/3"},
            {window.BPrevious, "Page1/3"}, {window.BPrevious, "Page1/3"}};
        for (const auto& [button, text] : clicks) {
            button->click();
            QCOMPARE(window.statusText(0), text);
        }
        window.BNext->click();
        QCOMPARE(window.Image->bitmap().size(), pixelSize(a4Landscape(), 120));

        // The zoom scales the page in the view; "reset" goes back to half size.
        window.zoomtrack->setValue(400);
        QCOMPARE(window.Image->widget()->size(), pixelSize(a4Landscape(), 120) * 4);
        window.XiButton1Click();
        QCOMPARE(window.statusText(1), "50%");
        QCOMPARE(window.Image->widget()->width(),
                 qRound(pixelSize(a4Landscape(), 120).width() * 0.5));
    }

    void lowerResolutionRendersSmallerPages()
    {
        writePrintFile(postScript(1));
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.GS->SetResolution(72);
        window.PreviewDone = false;
        window.DocFile = paths::PrintFile();
        QVERIFY(finishes(window.ShowDocument()));
        QCOMPARE(window.Image->bitmap().size(), QSize(595, 842));
        QCOMPARE(window.statusText(0), "Page1/1");
    }

    void missingPrintFileKeepsTheView()
    {
        writePrintFile(postScript(2));
        FakeTrayIcon tray;
        TF_Main window(tray);
        QVERIFY(finishes(window.Button1Click()));
        const qint64 shown = window.Image->bitmap().cacheKey();

        QFile::remove(paths::PrintFile());
        window.PreviewDone = false;
        QVERIFY(finishes(window.ShowDocument()));
        QCOMPARE(window.statusText(0), "Page0/0");
        QCOMPARE(window.Image->bitmap().cacheKey(), shown);
        QVERIFY(m_prompts.messages().isEmpty());

        // Converting a missing print file fails once, loudly, and leaves no working PDF.
        QVERIFY(QFileInfo::exists(paths::WorkPdf()));
        QVERIFY(finishes(window.Button2Click()));
        QCOMPARE(m_prompts.messages().size(), 1);
        QVERIFY(m_prompts.messages().first().startsWith("Erreur: "));
        QVERIFY(!QFileInfo::exists(paths::WorkPdf()));
    }

    void damagedPrintFileLeavesNoWorkingPdf()
    {
        QByteArray damaged = postScript(3);
        damaged.replace("%%Page: 2 2", "%%Page: 2 2\n/broken { [ } def broken 1 0 div\n");
        writePrintFile(damaged);
        QVERIFY(writeFile(paths::WorkPdf(), "%PDF-1.4 the previous job"));
        FakeTrayIcon tray;
        TF_Main window(tray);
        QVERIFY(finishes(window.Button1Click()));
        QCOMPARE(m_prompts.messages().size(), 1);
        QVERIFY(m_prompts.messages().first().contains("PDF"));
        QVERIFY(!QFileInfo::exists(paths::WorkPdf()));
        QCOMPARE(finishedLines(window), 1);
        QCOMPARE(window.GS->GetPageCount(), 1);
    }

    // A PDF printed to the printer is previewed; the working PDF stays what it was, and the
    // following previews use 72 dpi.
    void pdfJobPreviewKeepsTheWorkingPdf()
    {
        writePrintFile(postScript(2));
        const QByteArray previous = "%PDF-1.4 the PDF the user chose";
        QVERIFY(writeFile(paths::WorkPdf(), previous));
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.PdfMode = true;
        window.PreviewDone = false;
        window.DocFile = paths::PrintFile();
        TPrintFileRun* run = window.ShowDocument();
        connect(run, &TPrintFileRun::finished, this, [&] { window.GS->SetResolution(72); });
        QVERIFY(finishes(run));
        QCOMPARE(window.Image->bitmap().width(), pixelSize(a4Portrait(), 120).width());
        QFile pdf(paths::WorkPdf());
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.readAll(), previous);
        QCOMPARE(window.GS->Resolution(), 72);
    }

    // A second job during the first waits its turn; each job's preview and conversion read
    // the document of that job, even though the print file changed in between.
    void secondJobDuringARunWaitsItsTurn()
    {
        VELLORA_REQUIRE(hasMutool(), "mutool (mupdf-tools)");
        writePrintFile(postScript(20));
        FakeTrayIcon tray;
        TF_Main window(tray);
        QStringList order;
        bool secondAsked = false;
        connect(window.ImageBitmap, &TBitmap::changed, this, [&] {
            if (secondAsked)
                return;
            secondAsked = true;
            writePrintFile(postScript(3, a4Landscape()));
            connect(window.Button1Click(), &TPrintFileRun::finished, this,
                    [&] { order << "second" + QString::number(mupdfPageCount(paths::WorkPdf())); });
        });
        connect(window.Button1Click(), &TPrintFileRun::finished, this,
                [&] { order << "first" + QString::number(mupdfPageCount(paths::WorkPdf())); });
        QVERIFY(QTest::qWaitFor([&] { return order.size() == 2; }, 60000));
        QCOMPARE(order, QStringList({"first20", "second3"}));
        QCOMPARE(finishedLines(window), 2);
        QCOMPARE(window.statusText(0), "Page1/3");
        QVERIFY(window.Image->bitmap().width() > window.Image->bitmap().height());
    }

    // A print file the interpreter cannot get through, or one with no page: one French box
    // for the job, no working PDF, and the next job goes through.
    void unreadableOrEmptyPrintFileGivesOneBox_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("message");
        QTest::newRow("endless loop")
            << QByteArray("%!PS\n{ 1 pop } loop\n")
            << "Erreur: Le document imprimé n'a pas pu être lu : son interprétation a échoué ou "
               "n'avançait plus et a été arrêtée.\nLe fichier de travail a été supprimé : "
               "imprimez le document à nouveau avant de créer le prospectus.";
        QTest::newRow("no page")
            << QByteArray("%!PS\n")
            << "Erreur: Le document imprimé ne contient aucune page.\nLe fichier de travail a "
               "été supprimé : imprimez le document à nouveau avant de créer le prospectus.";
    }
    void unreadableOrEmptyPrintFileGivesOneBox()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, message);
        TInterpreterLimits limits;
        limits.watchdog = std::chrono::milliseconds(3000);
        TGhostScript::SetLimitsForTesting(limits);
        writePrintFile(document);
        QVERIFY(writeFile(paths::WorkPdf(), "%PDF-1.4 the previous job"));
        FakeTrayIcon tray;
        TF_Main window(tray);
        QVERIFY(finishes(window.Button1Click()));
        QCOMPARE(m_prompts.messages(), QStringList{message});
        QVERIFY(!QFileInfo::exists(paths::WorkPdf()));

        // Shown alone, the same document gives the box of its first line.
        m_prompts.clear();
        QVERIFY(finishes(window.ShowDocument()));
        QCOMPARE(m_prompts.messages(), QStringList{message.section(u'\n', 0, 0)});

        m_prompts.clear();
        writePrintFile(postScript(2));
        QVERIFY(finishes(window.Button1Click()));
        QVERIFY(m_prompts.messages().isEmpty());
        QCOMPARE(window.GS->GetPageCount(), 2);
        QVERIFY(QFileInfo::exists(paths::WorkPdf()));
        TGhostScript::SetLimitsForTesting({});
    }

    void closingTheProgramStopsARun()
    {
        writePrintFile(postScript(400));
        FakeTrayIcon tray;
        TF_Main window(tray);
        bool done = false;
        bool closed = false;
        connect(window.ImageBitmap, &TBitmap::changed, this, [&] {
            if (!closed) {
                closed = true;
                window.FermerVellora1Click();
            }
        });
        connect(window.Button1Click(), &TPrintFileRun::finished, this, [&] { done = true; });
        QVERIFY(QTest::qWaitFor([&] { return closed; }, 60000));
        QVERIFY(!window.GS->Active());
        QVERIFY(window.GS->PagesRendered() < 400);
        QTest::qWait(20);
        QVERIFY(!done);
        QCOMPARE(finishedLines(window), 0);
        QVERIFY(!QFileInfo::exists(paths::WorkPdf()));
    }
};

QTEST_MAIN(PreviewTest)
#include "tst_preview.moc"
