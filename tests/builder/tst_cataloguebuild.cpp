// A build from the configuration to the launch, with the real converter, without windows.
#include "CatalogueBuild.h"
#include "ConverterCommand.h"
#include "FakeDesktop.h"
#include "FakePrompts.h"
#include "Paths.h"
#include "Readme.h"
#include "TestPdf.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace vellora;
using Outcome = CatalogueBuild::Outcome;

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

// The viewer files the tool folder holds; the build copies those and reports the others.
QStringList viewerFilesInstalled()
{
    QStringList files;
    for (const char* name : {"swfobject.js", "vellora.swf"}) {
        if (QFile::exists(paths::ToolFolder() + u'/' + QLatin1String(name)))
            files.append(QLatin1String(name));
    }
    return files;
}

QStringList expectedReport(const std::map<int, QString>& failed = {})
{
    QStringList missing;
    for (const char* name : {"vellora.html", "swfobject.js", "vellora.swf"}) {
        if (!QFile::exists(paths::ToolFolder() + u'/' + QLatin1String(name)))
            missing.append(QLatin1String(name));
    }
    const QString report = CatalogueBuild::failureReport(failed, missing, paths::ToolFolder());
    return report.isEmpty() ? QStringList() : QStringList{"Erreur: " + report};
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
    void missingConverterStopsTheBuild();
    void missingWorkPdfStopsTheBuild();
    void pagesOverTheTimeLimitFail();
    void cancelKeepsWhatWasWrittenAndOpensNothing();

private:
    CatalogueBuild::Plan plan(const QString& html, int pages, int parallel = 2);
    Outcome run(CatalogueBuild& build);

    FakePrompts m_prompts;
    FakeDesktop m_desktop;
    std::unique_ptr<QTemporaryDir> m_out;
};

void TestCatalogueBuild::initTestCase()
{
    VELLORA_REQUIRE(QFileInfo(ConverterProgram(ConverterFolders::user())).isExecutable(),
                    "the converter in the tool folder (TOOLS fixture)");
    setPrompts(&m_prompts);
    setDesktop(&m_desktop);
}

void TestCatalogueBuild::init()
{
    m_prompts.clear();
    m_desktop.opened.clear();
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

Outcome TestCatalogueBuild::run(CatalogueBuild& build)
{
    QSignalSpy ended(&build, &CatalogueBuild::ended);
    build.start();
    if (ended.isEmpty())
        [&] {
            QVERIFY(ended.wait(60000));
        }();
    return ended.isEmpty() ? Outcome::Stopped : ended.first().first().value<Outcome>();
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

    QCOMPARE(run(build), Outcome::Finished);

    QCOMPARE(started, QList<int>({1, 2, 3}));
    QCOMPARE(progress, QList<int>({0, 1, 2, 3}));
    QCOMPARE(mostAtOnce, 2); // bounded by the pool, and really parallel
    QCOMPARE(m_prompts.messages(), expectedReport());
    QCOMPARE(filesIn(m_out->path()),
             sorted(QStringList({"catalogue.htm", "readme.txt", "vellora-catalogue.js",
                                 "vellora-config.js", "vellora-search.js", "vellora.xml"}) +
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
             "\"outline\":[],\"direction\":\"ltr\",\"search\":\"vellora-search.js\",\"files\":["
             "\"catalogue.htm\"," +
                 viewerFiles +
                 "\"readme.txt\",\"vellora.xml\",\"vellora-config.js\",\"vellora-search.js\","
                 "\"page1.swf\",\"page1.jpg\",\"page1-m.jpg\",\"page1-t.jpg\",\"page1.svg\","
                 "\"page1.js\","
                 "\"page2.swf\",\"page2.jpg\",\"page2-m.jpg\",\"page2-t.jpg\",\"page2.svg\","
                 "\"page2.js\","
                 "\"page3.swf\",\"page3.jpg\",\"page3-m.jpg\",\"page3-t.jpg\",\"page3.svg\","
                 "\"page3.js\","
                 "\"vellora-catalogue.js\"]};\n");
    // The folder first, then the page.
    QCOMPARE(m_desktop.opened, QStringList({"folder:" + m_out->path() + "/", "document:" + html}));

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
    QCOMPARE(build.failedPages(), QList<int>());
}

void TestCatalogueBuild::failingPageListedAtTheEnd()
{
    // A folder where page 2's image belongs: the converter cannot put it in place.
    QVERIFY(QDir(m_out->path()).mkdir("page2.jpg"));
    const QString html = m_out->filePath("catalogue.html");
    CatalogueBuild build(plan(html, 3));
    QCOMPARE(run(build), Outcome::Finished);
    QCOMPARE(build.failedPages(), QList<int>{2});
    QCOMPARE(m_prompts.messages().size(), 1);
    QVERIFY2(m_prompts.messages()[0].startsWith(
                 "Erreur: Cette page n'a pas pu être convertie : 2.\npage 2 : "),
             qPrintable(m_prompts.messages()[0]));
    QVERIFY(QFile::exists(m_out->filePath("page3.swf")));
    QCOMPARE(m_desktop.opened.size(), 2); // the folder still opens
}

void TestCatalogueBuild::missingConverterStopsTheBuild()
{
    const QString converter = ConverterProgram(ConverterFolders::user());
    QVERIFY(QFile::rename(converter, converter + ".away"));
    const QString html = m_out->filePath("catalogue.htm");
    CatalogueBuild build(plan(html, 3));
    const Outcome outcome = run(build);
    QFile::rename(converter + ".away", converter);

    QCOMPARE(outcome, Outcome::Stopped);
    QCOMPARE(m_prompts.messages(), QStringList{"Erreur: Error Initailizing swf"});
    QCOMPARE(filesIn(m_out->path()), QStringList({"vellora-config.js", "vellora.xml"}));
    QVERIFY(m_desktop.opened.isEmpty());
}

void TestCatalogueBuild::missingWorkPdfStopsTheBuild()
{
    QVERIFY(QFile::remove(paths::WorkPdf()));
    CatalogueBuild build(plan(m_out->filePath("c.htm"), 3));
    QCOMPARE(run(build), Outcome::Stopped);
    QCOMPARE(m_prompts.messages(), QStringList{"Erreur: Error Creating PDF PAGE"});
    QVERIFY(m_desktop.opened.isEmpty());
}

void TestCatalogueBuild::pagesOverTheTimeLimitFail()
{
    auto limited = plan(m_out->filePath("c.htm"), 3);
    limited.pageTimeLimit = std::chrono::milliseconds(0);
    CatalogueBuild build(limited);
    QCOMPARE(run(build), Outcome::Finished);
    QCOMPARE(build.failedPages(), QList<int>({1, 2, 3}));
    QVERIFY(m_prompts.messages().value(0).contains("page 1 : arrêtée après 10 minutes") ||
            m_prompts.messages().value(0).contains("page 1 : arrêtée après 0 minutes"));
    // The stopped converter took its temporary files with it.
    QCOMPARE(filesIn(m_out->path()),
             sorted(QStringList({"c.htm", "readme.txt", "vellora-catalogue.js", "vellora-config.js",
                                 "vellora.xml"}) +
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
    QCOMPARE(run(build), Outcome::Cancelled);
    QCOMPARE(m_prompts.messages(),
             QStringList{"Avertissement: La création du catalogue a été annulée : le catalogue "
                         "est incomplet (1 page sur 8)."});
    QVERIFY(m_desktop.opened.isEmpty());
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

QTEST_MAIN(TestCatalogueBuild)
#include "tst_cataloguebuild.moc"
