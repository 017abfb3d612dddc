// Catalogue builds driven through the real windows, with the real converter and prompts
// answered in order.
#include "BuildWindows.h"
#include "GhostScript.h"
#include "ReadOnlyFolder.h"
#include "TestPdf.h"
#include "ViewerFiles.h"
#include "builder/build/BuildChecks.h"
#include "builder/build/ViewerConfig.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace vellora;
using namespace vellora::test;

namespace {

const QString kPdfWarning =
    "Avertissement: Le document que vous essayez d'imprimer est un document PDF\n"
    ". Pour transformer un PDF en catalogue, indiquez l'emplacement du PDF";

// The report a finished build gives when the tool folder lacks viewer files (none when
// everything is installed).
QStringList missingViewerFilesReport()
{
    const QString report =
        BuildOutcome::failureReport({}, test::viewerFilesMissing(), paths::ToolFolder());
    return report.isEmpty() ? QStringList() : QStringList{"Erreur: " + report};
}

QStringList completeFolder(const QString& html, int pages)
{
    // Every test page has text: its script, and the search file.
    QStringList files = {html,
                         "readme.txt",
                         "vellora-catalogue.js",
                         "vellora-config.js",
                         "vellora-search.js",
                         "vellora.xml",
                         "vellora-text.css",
                         "vellora-cover.jpg"};
    for (int i = 1; i <= pages; ++i)
        files << QStringLiteral("page%1.html").arg(i) << QStringLiteral("page%1.jpg").arg(i)
              << QStringLiteral("page%1-m.jpg").arg(i) << QStringLiteral("page%1-t.jpg").arg(i)
              << QStringLiteral("page%1.js").arg(i) << QStringLiteral("page%1.svg").arg(i)
              << QStringLiteral("page%1.swf").arg(i);
    files += test::viewerFilesInstalled();
    files.sort();
    return files;
}

} // namespace

class TestBuildWindows : public QObject, private test::BuildWindows
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installSeams(); }
    void init() { openWindows(); }
    void cleanup() { closeWindows(); }
    void pdfBuildGivesCompleteFolder();
    void landscapeDocumentGetsLandscapeSize();
    void printedDocumentBuildClosesTheDialog();
    void printJobRunsWaitForTheBuild();
    void singlePageIsRefused();
    void unreadablePdfWritesNothing_data();
    void unreadablePdfWritesNothing();
    void converterRemovedAfterPageCount();
    void readOnlyOutputFolder();
    void hostileOutputPathRunsNothing();
    void refusedBeforeWriting_data();
    void refusedBeforeWriting();
    void failingPageListedAtTheEnd();
    void cancelStopsTheBuild();
    void indexButtonShowsTheEditor();
};

void TestBuildWindows::pdfBuildGivesCompleteFolder()
{
    const QString source = m_dir->filePath("trois pages.pdf");
    QVERIFY(test::makePdf(source, 3));
    m_index->AdvStringGrid1->item(1, 0)->setText("2");
    m_index->AdvStringGrid1->item(1, 1)->setText("Deux, l'index");
    m_form->qualiteHigh->setChecked(true);
    m_main->SpeedButton1->click(); // "Créer à partir du PDF"
    QVERIFY(m_form->isVisible());
    const QString html = m_out + "/catalogue.htm";
    m_prompts.answerOpenFile(source);
    m_prompts.answerSaveFile(html);
    // Edits made while the build runs do not reach it.
    connect(m_form->ProgressBar1, &QProgressBar::valueChanged, this, [this](int value) {
        if (value == 1) {
            m_form->HintImprimer->setText("changé pendant la création");
            QVERIFY(!m_form->PngSpeedButton1->isEnabled()); // one build at a time
            QVERIFY(builder().cancelButton()->isVisible());
        }
    });

    build();

    QCOMPARE(m_prompts.messages(),
             QStringList({kPdfWarning, kPatience, "Avertissement: Number Pages:3"}) +
                 missingViewerFilesReport());
    QCOMPARE(entries(m_out), completeFolder("catalogue.htm", 3));
    QCOMPARE(readAll(paths::WorkPdf()), readAll(source));
    IndexGrid index = IndexGrid::initial();
    index.rows[1] = QStringList{"2", "Deux, l'index"};
    CatalogueSettings settings;
    settings.preset = QualityPreset::High;
    QCOMPARE(readAll(m_out + "/vellora.xml"),
             viewerConfigText(viewerConfigLines(settings, index, 3, 592, 790, true)));
    QCOMPARE(m_desktop.opened, QStringList({"folder:" + m_out + "/", "document:" + html}));
    QVERIFY(!m_main->isVisible()); // back to the notification area
    QVERIFY(m_form->isVisible());  // a PDF build leaves the dialog open
    QCOMPARE(m_form->startPage->text(), "1");
    QCOMPARE(m_form->endPage->text(), "3");
    QCOMPARE(m_form->ProgressBar1->maximum(), 3);
    QCOMPARE(m_form->ProgressBar1->value(), 3);
    QVERIFY(m_main->Memo1->toPlainText().contains("page=3 "));
    QCOMPARE(m_main->GS->GetPageCount(), 0); // a picked PDF is not the preview's document
    const QByteArray log = readAll(paths::BuildLogFile());
    QVERIFY(log.startsWith(QByteArray("repertoire_courant=" + m_out.toUtf8() + "/\r\n")));
    QVERIFY(log.contains(" -s -zoom=48 -G -w -s jpegquality=70 -o "));
    QCOMPARE(log.count("pdfexe:"), 3);

    // The next build asks for a PDF again and offers the last page file.
    m_prompts.clear();
    m_prompts.answerCancel();
    build();
    QCOMPARE(m_prompts.messages(), QStringList{kPdfWarning});
    QCOMPARE(m_prompts.asked().last().request.title, "Vellora"); // the PDF picker
    // Cancelling the PDF question changes nothing.
    QCOMPARE(readAll(paths::WorkPdf()), readAll(source));
    QCOMPARE(m_form->endPage->text(), "3");
    QCOMPARE(m_form->ProgressBar1->value(), 3);
}

void TestBuildWindows::landscapeDocumentGetsLandscapeSize()
{
    const QString source = m_dir->filePath("paysage.pdf");
    QVERIFY(test::makePdf(source, 2, QPageLayout::Landscape));
    m_main->PdfMode = true;
    m_prompts.answerOpenFile(source);
    m_prompts.answerSaveFile(m_out + "/p.html");
    build();
    QVERIFY(readAll(m_out + "/vellora.xml").startsWith("<content width=\"580\" height=\"773\" "));
}

void TestBuildWindows::printedDocumentBuildClosesTheDialog()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    m_main->Bopen->click();
    QVERIFY(m_form->isVisible());
    m_prompts.answerSaveFile(m_out + "/imprime.html");
    build();
    QCOMPARE(m_prompts.messages(), QStringList({kPatience, "Avertissement: Number Pages:2"}) +
                                       missingViewerFilesReport());
    QCOMPARE(entries(m_out), completeFolder("imprime.html", 2));
    QVERIFY(!m_form->isVisible());
    QVERIFY(!m_main->isVisible());
    QCOMPARE(m_main->GS->GetPageCount(), 2); // the preview's page list follows the build
}

void TestBuildWindows::printJobRunsWaitForTheBuild()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 4));
    m_prompts.answerSaveFile(m_out + "/c.htm");
    bool runStarted = false;
    bool startedDuringBuild = false;
    connect(m_form->ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
        if (value != 1)
            return;
        // A print job's run asked for in the middle of the build waits for its end.
        m_main->GS->Queue().enqueue({[&] {
                                         runStarted = true;
                                         startedDuringBuild = builder().isBusy();
                                     },
                                     [] { return true; },
                                     [](bool) {
                                     }});
    });
    build();
    QTRY_VERIFY(runStarted);
    QVERIFY(!startedDuringBuild);
    QTRY_VERIFY(!m_main->GS->Queue().busy());
}

void TestBuildWindows::singlePageIsRefused()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 1));
    m_main->Bopen->click();
    build();
    QCOMPARE(m_prompts.messages(),
             QStringList({kPatience, "Avertissement: Number Pages:1",
                          "Erreur: Votre document ne comporte qu'une SEULE page !"}));
    QCOMPARE(m_form->endPage->text(), "1");
    QVERIFY(entries(m_out).isEmpty());
    QVERIFY(!QFile::exists(paths::BuildLogFile()));
    QVERIFY(m_desktop.opened.isEmpty());
    QVERIFY(!m_form->isVisible()); // a printed document's dialog closes even so
}

void TestBuildWindows::unreadablePdfWritesNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("pages");
    QTest::newRow("no page") << QByteArray() << 0;
    QTest::newRow("not a PDF") << QByteArray("%PDF-1.4\nthis is not a document\n") << -1;
    QTest::newRow("truncated") << QByteArray() << -2;
}

void TestBuildWindows::unreadablePdfWritesNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(int, pages);
    const QString source = m_dir->filePath("mauvais.pdf");
    if (pages == 0) {
        QVERIFY(test::makePdf(source, 0));
    } else if (pages == -2) {
        QVERIFY(test::makePdf(source, 3));
        QByteArray whole = readAll(source);
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(whole.left(whole.size() / 3));
    } else {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    m_main->PdfMode = true;
    m_form->show();
    m_prompts.answerOpenFile(source);
    build();
    const QStringList messages = m_prompts.messages();
    QVERIFY2(messages.last().startsWith("Erreur: "), qPrintable(messages.join(" | ")));
    QVERIFY(m_prompts.asked().last().kind == FakePrompts::Asked::Kind::Message); // no save dialog
    QVERIFY(entries(m_out).isEmpty());
    QVERIFY(!QFile::exists(paths::BuildLogFile()));
    QVERIFY(m_desktop.opened.isEmpty());
    QVERIFY(m_form->isVisible());
}

void TestBuildWindows::converterRemovedAfterPageCount()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 3));
    const QString converter = ConverterProgram(ConverterFolders::user());
    m_prompts.onMessage = [&](const QString&, const QString& text) {
        if (text.startsWith("Number Pages:"))
            QFile::rename(converter, converter + ".away");
    };
    m_prompts.answerSaveFile(m_out + "/c.htm");
    build();
    QFile::rename(converter + ".away", converter);
    QCOMPARE(m_prompts.messages().last(), "Erreur: Error Initailizing swf");
    // What was written before the stop stays; nothing opens.
    QCOMPARE(entries(m_out), QStringList({"vellora-config.js", "vellora.xml"}));
    QVERIFY(m_desktop.opened.isEmpty());
    QVERIFY(m_main->isVisible());
}

void TestBuildWindows::readOnlyOutputFolder()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 3));
    test::ReadOnlyFolder locked(m_out + "/verrou");
    VELLORA_REQUIRE(locked.isReadOnly(), "a file system that can lock a folder for root");
    m_prompts.answerSaveFile(locked.path() + "/c.htm");
    build();
    QCOMPARE(m_prompts.messages().last(),
             "Erreur: Impossible de créer le fichier " + locked.path() + "/vellora.xml");
    QVERIFY(entries(locked.path()).isEmpty());
    QVERIFY(!QFile::exists(paths::BuildLogFile()));
    QVERIFY(m_desktop.opened.isEmpty());
}

void TestBuildWindows::hostileOutputPathRunsNothing()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    const QString folder = m_out + "/dossier \"été\" $(touch pwned1) ; `touch pwned2` & 'x'";
    QVERIFY(QDir().mkpath(folder));
    const QString html = folder + "/catalogue été;$(touch pwned3).htm";
    m_prompts.answerSaveFile(html);
    build();
    QCOMPARE(m_prompts.messages(), QStringList({kPatience, "Avertissement: Number Pages:2"}) +
                                       missingViewerFilesReport());
    QCOMPARE(entries(folder), completeFolder("catalogue été;$(touch pwned3).htm", 2));
    QCOMPARE(m_desktop.opened, QStringList({"folder:" + folder + "/", "document:" + html}));
    for (const QString& root :
         {m_dir->path(), QDir::currentPath(), paths::ToolFolder(), QDir::homePath()}) {
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(!it.next().contains("/pwned"), qPrintable(it.filePath()));
    }
}

void TestBuildWindows::refusedBeforeWriting_data()
{
    QTest::addColumn<QString>("qualite");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("configuration's name")
        << "70"
        << "vellora.xml" << reservedOutputNameMessage("vellora.xml");
    QTest::newRow("a page's image") << "70"
                                    << "page2.jpg" << reservedOutputNameMessage("page2.jpg");
    QTest::newRow("quality with a blank") << "7 0"
                                          << "c.htm" << invalidQualityMessage("7 0");
    QTest::newRow("quality with a quote") << "70\""
                                          << "c.htm" << invalidQualityMessage("70\"");
    QTest::newRow("quality in letters") << "haute"
                                        << "c.htm" << invalidQualityMessage("haute");
    QTest::newRow("quality over 100") << "101"
                                      << "c.htm" << invalidQualityMessage("101");
}

void TestBuildWindows::refusedBeforeWriting()
{
    QFETCH(QString, qualite);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QVERIFY(test::makePdf(paths::WorkPdf(), 3));
    const QByteArray workPdf = readAll(paths::WorkPdf());
    m_form->qualite->setText(qualite);
    m_main->PdfMode = true;
    if (qualite == "70") {
        m_prompts.answerOpenFile(paths::WorkPdf()); // the working PDF itself: no copy
        m_prompts.answerSaveFile(m_out + '/' + name);
    }
    build();
    QCOMPARE(m_prompts.messages().last(), "Erreur: " + message);
    if (qualite != "70")
        QCOMPARE(m_prompts.messages().size(), 1); // before any other question
    QVERIFY(entries(m_out).isEmpty());
    QVERIFY(!QFile::exists(paths::BuildLogFile()));
    QCOMPARE(readAll(paths::WorkPdf()), workPdf);
}

void TestBuildWindows::failingPageListedAtTheEnd()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 3));
    QVERIFY(QDir(m_out).mkdir("page2.jpg")); // the converter cannot put page 2's image there
    m_prompts.answerSaveFile(m_out + "/c.htm");
    build();
    const QString last = m_prompts.messages().last();
    QVERIFY2(last.startsWith("Erreur: Cette page n'a pas pu être convertie : 2.\npage 2 : "),
             qPrintable(last));
    QVERIFY(QFile::exists(m_out + "/page3.swf"));
    QCOMPARE(m_desktop.opened.size(), 2); // the folder still opens
}

void TestBuildWindows::cancelStopsTheBuild()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 8));
    m_prompts.answerSaveFile(m_out + "/c.htm");
    connect(m_form->ProgressBar1, &QProgressBar::valueChanged, this, [this](int value) {
        if (value == 1)
            builder().cancelButton()->click();
    });
    QSignalSpy ended(&builder(), &CatalogueBuilder::buildEnded);
    build();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().value<BuildOutcome>().result, BuildOutcome::Result::Cancelled);
    QCOMPARE(m_prompts.messages(),
             QStringList({kPatience, "Avertissement: Number Pages:8",
                          "Avertissement: La création du catalogue a été annulée : le catalogue "
                          "est incomplet (1 page sur 8)."}));
    QVERIFY(m_desktop.opened.isEmpty());
    QVERIFY(m_main->isVisible());
    for (const QString& file : entries(m_out)) {
        QVERIFY2(QRegularExpression(
                     "^(page[1-8](-m|-t)?\\.(swf|jpg|js|svg)|vellora\\.xml|vellora-config\\.js)$")
                     .match(file)
                     .hasMatch(),
                 qPrintable("left behind: " + file));
    }
    QVERIFY(!QFile::exists(m_out + "/page8.swf"));
}

void TestBuildWindows::indexButtonShowsTheEditor()
{
    m_main->Bopen->click();
    QVERIFY(!m_index->isVisible());
    m_form->Button1->click();
    QVERIFY(m_index->isVisible());
}

QTEST_MAIN(TestBuildWindows)
#include "tst_buildwindows.moc"
