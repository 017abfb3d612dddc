// A build from the configuration to its outcome, with the real converter, without windows.
// No prompts and no desktop are installed: the build tells nobody anything but its outcome.
#include "Paths.h"
#include "TestPdf.h"
#include "TestSupport.h"
#include "ViewerFiles.h"
#include "builder/build/CatalogueBuild.h"
#include "builder/build/ConverterCommand.h"
#include "builder/build/CountPages.h"
#include "builder/build/Readme.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace vellora;
using namespace vellora::test;
using Result = BuildOutcome::Result;

namespace {

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QStringList pageFiles(int pages)
{
    QStringList files;
    for (int i = 1; i <= pages; ++i)
        files << QStringLiteral("page%1-m.jpg").arg(i) << QStringLiteral("page%1-t.jpg").arg(i)
              << QStringLiteral("page%1.jpg").arg(i) << QStringLiteral("page%1.js").arg(i)
              << QStringLiteral("page%1.svg").arg(i) << QStringLiteral("page%1.swf").arg(i);
    return files;
}

QList<int> pagesOf(const std::map<int, QString>& failed)
{
    QList<int> pages;
    for (const auto& [page, reason] : failed)
        pages.append(page);
    return pages;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestCatalogueBuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void completeFolder();
    void failingPageListedAtTheEnd();
    void damagedPageListedAndReported();
    void missingConverterStopsTheBuild();
    void missingWorkPdfStopsTheBuild();
    void pagesOverTheTimeLimitFail();
    void cancelKeepsWhatWasWrittenAndOpensNothing();
    void programFolderIsRefused();

private:
    CatalogueBuild::Plan plan(const QString& html, int pages, int parallel = 2);
    BuildOutcome run(CatalogueBuild& build);

    std::unique_ptr<QTemporaryDir> m_out;
};

void TestCatalogueBuild::initTestCase()
{
    VELLORA_REQUIRE(QFileInfo(ConverterProgram(ConverterFolders::user())).isExecutable(),
                    "the converter in the tool folder (TOOLS fixture)");
}

void TestCatalogueBuild::init()
{
    m_out = std::make_unique<QTemporaryDir>();
    QVERIFY(test::makePdf(paths::WorkPdf(), 3));
}

void TestCatalogueBuild::cleanup()
{
    m_out.reset();
}

CatalogueBuild::Plan TestCatalogueBuild::plan(const QString& html, int pages, int parallel)
{
    CatalogueBuild::Plan plan;
    plan.htmlFile = html;
    plan.pageCount = pages;
    plan.appDataFolder = paths::StateFolder();
    plan.logFile = paths::BuildLogFile();
    plan.parallel = parallel;
    return plan;
}

BuildOutcome TestCatalogueBuild::run(CatalogueBuild& build)
{
    QSignalSpy finished(&build, &CatalogueBuild::finished);
    build.start();
    if (finished.isEmpty())
        [&] {
            QVERIFY(finished.wait(60000));
        }();
    [&] {
        QCOMPARE(finished.size(), 1);
    }();
    return finished.isEmpty() ? BuildOutcome::refusal("no outcome")
                              : finished.first().first().value<BuildOutcome>();
}

void TestCatalogueBuild::completeFolder()
{
    const QString html = m_out->filePath("catalogue.htm");
    auto sized = plan(html, 3);
    sized.pageSizes = {QSizeF(595.28, 841.89), std::nullopt, QSizeF(842, 595)};
    CatalogueBuild build(sized);
    QList<int> started;
    int mostAtOnce = 0;
    int finished = 0;
    connect(&build, &CatalogueBuild::pageStarted, this, [&](int page) {
        started.append(page);
        mostAtOnce = std::max(mostAtOnce, int(started.size()) - finished);
    });
    QList<int> progress;
    connect(&build, &CatalogueBuild::progressChanged, this, [&](int done, int total) {
        QCOMPARE(total, 3);
        progress.append(done);
        finished = done;
    });

    const BuildOutcome outcome = run(build);

    QCOMPARE(outcome.result, viewerFilesMissing().isEmpty() ? Result::Succeeded : Result::Failed);
    QCOMPARE(outcome.missingViewerFiles, viewerFilesMissing());
    QCOMPARE(outcome.viewerFolder, paths::ToolFolder());
    QVERIFY(outcome.failedPages.empty());
    QVERIFY(outcome.error.isEmpty());
    QVERIFY(outcome.folderFinished());
    QCOMPARE(outcome.convertedPages, 3);
    QCOMPARE(started, QList<int>({1, 2, 3}));
    QCOMPARE(progress, QList<int>({0, 1, 2, 3}));
    QCOMPARE(mostAtOnce, 2); // bounded by the pool, and really parallel
    QCOMPARE(filesIn(m_out->path()),
             sorted(QStringList({"catalogue.htm", "readme.txt", "vellora-catalogue.js",
                                 "vellora-config.js", "vellora-search.js", "vellora.xml",
                                 "vellora-text.css", "vellora-cover.jpg", "page1.html",
                                 "page2.html", "page3.html"}) +
                    pageFiles(3) + viewerFilesInstalled()));
    // Each page's large number is its text.
    QFile search(m_out->filePath("vellora-search.js"));
    QVERIFY(search.open(QIODevice::ReadOnly));
    QCOMPARE(search.readAll(), QByteArray("velloraSearch({\"pages\":[\"1\",\"2\",\"3\"]});\n"));
    // The manifest, written last, lists what the build wrote.
    QFile manifest(m_out->filePath("vellora-catalogue.js"));
    QVERIFY(manifest.open(QIODevice::ReadOnly));
    const QString viewerFiles = viewerFilesInstalled().isEmpty()
                                    ? QString()
                                    : u'"' + viewerFilesInstalled().join("\",\"") + "\",";
    QCOMPARE(QString::fromUtf8(manifest.readAll()),
             "window.velloraCatalogue = {\"version\":1,\"pages\":["
             "{\"width\":595.28,\"height\":841.89,\"files\":[\"page1.swf\",\"page1.jpg\",\"page1-m."
             "jpg\",\"page1-t.jpg\",\"page1.svg\",\"page1.js\"]},"
             "{\"width\":null,\"height\":null,\"files\":[\"page2.swf\",\"page2.jpg\",\"page2-m."
             "jpg\",\"page2-t.jpg\",\"page2.svg\",\"page2.js\"]},"
             "{\"width\":842,\"height\":595,\"files\":[\"page3.swf\",\"page3.jpg\",\"page3-m.jpg\","
             "\"page3-t.jpg\",\"page3.svg\",\"page3.js\"]}],"
             "\"outline\":[],\"direction\":\"ltr\",\"search\":\"vellora-search.js\","
             "\"title\":\"1\",\"description\":\"1 2 3\",\"lang\":\"und\",\"url\":null,"
             "\"pdf\":null,\"catalogue\":\"catalogue.htm\",\"files\":[\"catalogue.htm\"," +
                 viewerFiles +
                 "\"readme.txt\",\"vellora.xml\",\"vellora-config.js\",\"vellora-search.js\","
                 "\"vellora-text.css\",\"page1.html\",\"page2.html\",\"page3.html\","
                 "\"vellora-cover.jpg\","
                 "\"page1.swf\",\"page1.jpg\",\"page1-m.jpg\",\"page1-t.jpg\",\"page1.svg\","
                 "\"page1.js\","
                 "\"page2.swf\",\"page2.jpg\",\"page2-m.jpg\",\"page2-t.jpg\",\"page2.svg\","
                 "\"page2.js\","
                 "\"page3.swf\",\"page3.jpg\",\"page3-m.jpg\",\"page3-t.jpg\",\"page3.svg\","
                 "\"page3.js\","
                 "\"vellora-catalogue.js\"]};\n");
    QCOMPARE(build.outputFolder(), m_out->path() + "/");

    QFile log(paths::BuildLogFile());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split("\r\n");
    QCOMPARE(lines.size(), 1 + 3 * 3 + 1);
    QCOMPARE(lines[0], "repertoire_courant=" + m_out->path() + "/");
    for (int page = 1; page <= 3; ++page) {
        const QString file = m_out->path() + QStringLiteral("/page%1.swf").arg(page);
        QCOMPARE(lines[1 + 3 * (page - 1)], QStringLiteral("gotoPage:%1").arg(page));
        QCOMPARE(lines[2 + 3 * (page - 1)], "nom_page:\"" + file + "\"");
        QCOMPARE(lines[3 + 3 * (page - 1)],
                 "pdfexe:" + PageCommand(ConverterFolders::user(), page, QualityPreset::Medium,
                                         "70", m_out->path() + "/")
                                 .commandLine);
    }
}

void TestCatalogueBuild::failingPageListedAtTheEnd()
{
    // A folder where page 2's image belongs: the converter cannot put it in place.
    QVERIFY(QDir(m_out->path()).mkdir("page2.jpg"));
    const QString html = m_out->filePath("catalogue.html");
    CatalogueBuild build(plan(html, 3));
    const BuildOutcome outcome = run(build);
    QCOMPARE(outcome.result, Result::Failed);
    QCOMPARE(pagesOf(outcome.failedPages), QList<int>{2});
    QVERIFY2(outcome.message().startsWith("Cette page n'a pas pu être convertie : 2.\npage 2 : "),
             qPrintable(outcome.message()));
    QVERIFY(QFile::exists(m_out->filePath("page3.swf")));
    QVERIFY(outcome.folderFinished()); // the folder still opens
}

void TestCatalogueBuild::damagedPageListedAndReported()
{
    // Page 2's object garbled where it stands (its cross-reference still points at it), as in
    // a damaged file from the wild: the listing counts the page, the build converts the
    // others and reports page 2 with the converter's reason.
    QFile work(paths::WorkPdf());
    QVERIFY(work.open(QIODevice::ReadWrite));
    QByteArray pdf = work.readAll();
    const qsizetype second = pdf.indexOf("/Type /Page\n", pdf.indexOf("/Type /Page\n") + 1);
    QVERIFY(second > 0);
    const qsizetype body = pdf.lastIndexOf(" obj", second) + 4;
    const qsizetype end = pdf.indexOf("endobj", second);
    QVERIFY(body > 4 && end > second);
    pdf.replace(body, end - body,
                QByteArray("\n\x01garbage").repeated(end - body).left(end - body));
    QVERIFY(work.seek(0));
    QCOMPARE(work.write(pdf), pdf.size());
    work.close();

    QCOMPARE(CountPages(), 3);
    const QString html = m_out->filePath("catalogue.html");
    CatalogueBuild build(plan(html, 3));
    const BuildOutcome outcome = run(build);
    QCOMPARE(outcome.result, Result::Failed);
    QCOMPARE(pagesOf(outcome.failedPages), QList<int>{2});
    QVERIFY2(outcome.message().startsWith("Cette page n'a pas pu être convertie : 2.\npage 2 : ") &&
                 outcome.message().contains("la page 2 ne peut pas être chargée ("),
             qPrintable(outcome.message()));
    QVERIFY(QFile::exists(m_out->filePath("page1.swf")));
    QVERIFY(QFile::exists(m_out->filePath("page3.swf")));
    QVERIFY(!QFile::exists(m_out->filePath("page2.swf")));
    QVERIFY(outcome.folderFinished());
}

void TestCatalogueBuild::missingConverterStopsTheBuild()
{
    const QString converter = ConverterProgram(ConverterFolders::user());
    QVERIFY(QFile::rename(converter, converter + ".away"));
    const QString html = m_out->filePath("catalogue.htm");
    CatalogueBuild build(plan(html, 3));
    const BuildOutcome outcome = run(build);
    QFile::rename(converter + ".away", converter);

    QCOMPARE(outcome.result, Result::Failed);
    QCOMPARE(outcome.error, "Error Initailizing swf");
    QCOMPARE(outcome.message(), "Error Initailizing swf");
    QCOMPARE(filesIn(m_out->path()), QStringList({"vellora-config.js", "vellora.xml"}));
    QVERIFY(!outcome.folderFinished());
}

void TestCatalogueBuild::missingWorkPdfStopsTheBuild()
{
    QVERIFY(QFile::remove(paths::WorkPdf()));
    CatalogueBuild build(plan(m_out->filePath("c.htm"), 3));
    const BuildOutcome outcome = run(build);
    QCOMPARE(outcome.result, Result::Failed);
    QCOMPARE(outcome.message(), "Error Creating PDF PAGE");
    QVERIFY(!outcome.folderFinished());
}

void TestCatalogueBuild::pagesOverTheTimeLimitFail()
{
    auto limited = plan(m_out->filePath("c.htm"), 3);
    limited.pageTimeLimit = std::chrono::milliseconds(0);
    CatalogueBuild build(limited);
    const BuildOutcome outcome = run(build);
    QCOMPARE(outcome.result, Result::Failed);
    QCOMPARE(pagesOf(outcome.failedPages), QList<int>({1, 2, 3}));
    QCOMPARE(outcome.failedPages.at(1), "arrêtée après 0 minutes");
    QVERIFY(outcome.message().contains("page 1 : arrêtée après 0 minutes"));
    // The stopped converter took its temporary files with it; the text pages and the cover
    // are written all the same, without page images.
    QCOMPARE(filesIn(m_out->path()),
             sorted(QStringList({"c.htm", "readme.txt", "vellora-catalogue.js", "vellora-config.js",
                                 "vellora.xml", "vellora-text.css", "vellora-cover.jpg",
                                 "page1.html", "page2.html", "page3.html"}) +
                    viewerFilesInstalled()));
}

void TestCatalogueBuild::cancelKeepsWhatWasWrittenAndOpensNothing()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 8));
    CatalogueBuild build(plan(m_out->filePath("c.htm"), 8));
    connect(&build, &CatalogueBuild::progressChanged, &build, [&](int done) {
        if (done == 1)
            build.cancel();
    });
    const BuildOutcome outcome = run(build);
    QCOMPARE(outcome.result, Result::Cancelled);
    QCOMPARE(outcome.convertedPages, 1);
    QCOMPARE(outcome.message(), "La création du catalogue a été annulée : le catalogue est "
                                "incomplet (1 page sur 8).");
    QVERIFY(!outcome.folderFinished());
    const QStringList files = filesIn(m_out->path());
    QVERIFY2(!files.contains("readme.txt"), qPrintable(files.join(' ')));
    QVERIFY(!files.contains("page8.swf"));
    for (const QString& file : files) {
        QVERIFY2(QRegularExpression(
                     "^(page[1-8](-m|-t)?\\.(swf|jpg|js|svg)|vellora\\.xml|vellora-config\\.js)$")
                     .match(file)
                     .hasMatch(),
                 qPrintable("left behind: " + file));
    }
    QVERIFY(!build.isRunning());
}

// Refused before start() returns, with the reason, and nothing written.
void TestCatalogueBuild::programFolderIsRefused()
{
    const QStringList before = filesIn(paths::ToolFolder());
    CatalogueBuild build(plan(paths::ToolFolder() + "/c.htm", 3));
    QSignalSpy finished(&build, &CatalogueBuild::finished);
    build.start();
    QCOMPARE(finished.size(), 1);
    const auto outcome = finished.first().first().value<BuildOutcome>();
    QCOMPARE(outcome.result, Result::Refused);
    QCOMPARE(outcome.message(), "Le dossier " + paths::ToolFolder() +
                                    " contient les fichiers de Vellora : le catalogue les "
                                    "remplacerait. Choisissez un autre dossier pour la page HTML.");
    QCOMPARE(filesIn(paths::ToolFolder()), before);
    QVERIFY(!build.isRunning());
}

QTEST_MAIN(TestCatalogueBuild)
#include "tst_cataloguebuild.moc"
