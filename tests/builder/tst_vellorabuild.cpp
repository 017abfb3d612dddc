// vellora-build, the command-line build: the same files as the windows, its options, its
// refusals and its interruption, run as the real program with the real converter.
#include "FakeDesktop.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "Main.h"
#include "Paths.h"
#include "TestPdf.h"
#include "TestSupport.h"
#include "builder/dialogs/CatalogueBuilder.h"
#include "builder/dialogs/ColorButton.h"
#include "builder/dialogs/Index.h"
#include "builder/dialogs/Options.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <csignal>

using namespace vellora;

namespace {

const QString kProgram = QStringLiteral(VELLORA_BUILD_PROGRAM);

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

struct Run
{
    int status = -1;
    QString errors;
};

Run runBuild(const QStringList& arguments, const QString& tmp = {})
{
    QProcess process;
    if (!tmp.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), tmp);
        process.setProcessEnvironment(environment);
    }
    process.start(kProgram, arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

// A log with the folders it names replaced: the catalogue's and the converted PDF's.
QByteArray logWithoutFolders(QByteArray log, const QString& output)
{
    log.replace(output.toUtf8(), "CATALOGUE");
    static const QRegularExpression pdf(QStringLiteral("\"[^\"]*/out\\.pdf\""));
    return QString::fromUtf8(log).replace(pdf, QStringLiteral("\"WORK/out.pdf\"")).toUtf8();
}

} // namespace

class TestVelloraBuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sameFilesAsTheWindows();
    void postScriptInput();
    void optionsReachTheFiles_data();
    void optionsReachTheFiles();
    void refused_data();
    void refused();
    void interruptedBuildLeavesNoTemporaryFile();

private:
    QTemporaryDir m_dir;
    QString m_pdf; // four pages
};

void TestVelloraBuild::initTestCase()
{
    VELLORA_REQUIRE(QFileInfo(paths::ToolFolder() + "/pdf2swf").isExecutable(),
                    "the converter in the tool folder (TOOLS fixture)");
    QVERIFY(QFileInfo(kProgram).isExecutable());
    m_pdf = m_dir.filePath("quatre.pdf");
    QVERIFY(test::makePdf(m_pdf, 4));
}

// The windows build a picked PDF with every option changed; vellora-build, given the same
// options, writes the same bytes into every file.
void TestVelloraBuild::sameFilesAsTheWindows()
{
    FakePrompts prompts;
    FakeDesktop desktop;
    setPrompts(&prompts);
    setDesktop(&desktop);
    FakeTrayIcon tray;
    TF_Main main(tray);
    TForm1 form(main);
    main.setOptionsDialog(&form);
    TindexForm index;
    setIndexForm(&index);
    index.AdvStringGrid1->item(1, 0)->setText("3");
    index.AdvStringGrid1->item(1, 1)->setText("Trois, \"la\" page");
    form.QualiteLow->setChecked(true);
    form.qualite->setText("55");
    form.colorStart->setValue(0x332211);
    form.colorEnd->setValue(0x0000FF);
    form.Printcheckbox->setChecked(false);
    form.HintImprimer->setText("Imprimer <la> page");
    form.fullScreenChecked->setChecked(false);
    main.SpeedButton1->click(); // "Créer à partir du PDF"
    const QString gui = m_dir.filePath("fenetres");
    QVERIFY(QDir().mkpath(gui));
    prompts.answerOpenFile(m_pdf);
    prompts.answerSaveFile(gui + "/catalogue.html");
    QSignalSpy ended(&CatalogueBuilder::of(form), &CatalogueBuilder::buildEnded);
    form.PngSpeedButton1->click();
    if (ended.isEmpty())
        QVERIFY(ended.wait(120000));
    QVERIFY(ended.first().first().value<BuildOutcome>().folderFinished());
    const QString csv = m_dir.filePath("index.csv");
    {
        QFile file(csv);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Page,Description\r\n3,\"Trois, \"\"la\"\" page\"\r\n");
    }
    setIndexForm(nullptr);
    setPrompts(nullptr);
    setDesktop(nullptr);

    const QString cli = m_dir.filePath("commande/sous-dossier");
    const Run run =
        runBuild({m_pdf, "-o", cli + "/catalogue.html", "--quality", "low", "--jpeg-quality", "55",
                  "--color1", "#112233", "--color2", "#FF0000", "--hide", "print,full-screen",
                  "--tooltip", "print=Imprimer <la> page", "--index", csv, "--quiet"});
    QCOMPARE(run.errors, QString());
    QCOMPARE(run.status, 0);

    QStringList files = entries(gui);
    QStringList expected = QStringList(files) << "vellora-build.log";
    expected.sort();
    QCOMPARE(entries(cli), expected);
    QVERIFY(files.contains("page4.swf"));
    for (const QString& name : files)
        QVERIFY2(readAll(gui + '/' + name) == readAll(cli + '/' + name), qPrintable(name));
    QCOMPARE(logWithoutFolders(readAll(cli + "/vellora-build.log"), cli + '/'),
             logWithoutFolders(readAll(paths::BuildLogFile()), gui + '/'));
}

void TestVelloraBuild::postScriptInput()
{
    const QString ps = m_dir.filePath("imprime.ps");
    QFile file(ps);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("%!PS\n/Helvetica findfont 40 scalefont setfont\n"
               "72 700 moveto (Un) show showpage\n72 700 moveto (Deux) show showpage\n");
    file.close();
    const QString out = m_dir.filePath("postscript");
    const Run run = runBuild({ps, "-o", out + "/ps.html"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.errors, QString("page 1/2\npage 2/2\n")); // not a terminal: one line a page
    for (const char* name : {"page1.swf", "page1.jpg", "page2.swf", "page2.jpg", "ps.html"})
        QVERIFY2(QFileInfo(out + '/' + name).size() > 0, name);
    QVERIFY(!QFile::exists(out + "/page3.swf"));
    QVERIFY(readAll(out + "/vellora.xml")
                .contains("\t<page src=\"page2.swf\" preLoad=\"false\" "
                          "canTear=\"true\" />\r\n</content>"));
}

void TestVelloraBuild::optionsReachTheFiles_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("defaults") << QStringList() << "vellora-build.log"
                              << QByteArray("-p1 --flatten -s subpixels=1 -s -zoom=48 -w -s "
                                            "jpegquality=70 -o");
    QTest::newRow("quality high") << QStringList{"--quality=high", "--jpeg-quality", "90"}
                                  << "vellora-build.log"
                                  << QByteArray("-p1 -s -zoom=48 -G -w -s jpegquality=90 -o");
    QTest::newRow("colours in blue-green-red")
        << QStringList{"--color1", "#102030", "--color2=#a0b0c0"} << "vellora.xml"
        << QByteArray("<bg color1=\"#302010\" color2=\"#C0B0A0\"/>");
    QTest::newRow("hidden button")
        << QStringList{"--hide", "zoom-in"} << "vellora.xml"
        << QByteArray("<zoomPlus_btn visible=\"false\" alt=\"Zoom +\" />");
    QTest::newRow("tooltip") << QStringList{"--tooltip", "next=Suivante & \"plus\""}
                             << "vellora.xml"
                             << QByteArray("<next_btn visible=\"true\" alt=\"Suivante &amp; "
                                           "&quot;plus&quot;\" />");
    // Pages 2 to 3 become a catalogue of two pages.
    QTest::newRow("page range") << QStringList{"--pages", "2-3", "--jobs", "1"}
                                << "vellora-build.log"
                                << QByteArray("-p3 --flatten -s subpixels=1 -s -zoom=48 -w -s "
                                              "jpegquality=70 -o \"CATALOGUE/page2.swf\"\r\n");
    QTest::newRow("page range listed")
        << QStringList{"--pages", "2-3"} << "vellora.xml"
        << QByteArray("\t<page src=\"page2.swf\" preLoad=\"false\" canTear=\"true\" />\r\n"
                      "</content>");
}

void TestVelloraBuild::optionsReachTheFiles()
{
    QFETCH(QStringList, options);
    QFETCH(QString, file);
    QFETCH(QByteArray, expected);
    const QString out = m_dir.filePath(QStringLiteral("options/%1").arg(QTest::currentDataTag()));
    const Run run = runBuild(QStringList{m_pdf, "-q", "-o", out + "/c.html"} + options);
    QCOMPARE(run.errors, QString());
    QCOMPARE(run.status, 0);
    QByteArray text = readAll(out + '/' + file);
    text.replace((out + '/').toUtf8(), "CATALOGUE/");
    QVERIFY2(text.contains(expected), text.constData());
    if (options.contains("--pages")) {
        QVERIFY(QFile::exists(out + "/page2.swf"));
        QVERIFY(!QFile::exists(out + "/page3.swf"));
    }
}

void TestVelloraBuild::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString out = m_dir.filePath("refus/c.html");
    const QString missing = m_dir.filePath("absent.pdf");
    const QString text = m_dir.filePath("texte.txt");
    {
        QFile file(text);
        file.open(QIODevice::WriteOnly);
        file.write("ceci n'est pas un document\n");
    }
    const QString locked = m_dir.filePath("verrouille.pdf");
    QFile::copy(m_pdf, locked);
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    const QString empty = m_dir.filePath("vide.pdf");
    test::writeEmptyPdf(empty);

    QTest::newRow("no document") << QStringList{"-o", out} << 2
                                 << "vellora-build : indiquez le document à transformer";
    QTest::newRow("no output") << QStringList{m_pdf} << 2 << "-o DOSSIER/NOM.html";
    QTest::newRow("unknown option")
        << QStringList{m_pdf, "-o", out, "--couleur"} << 2 << "option inconnue « --couleur »";
    QTest::newRow("bad quality") << QStringList{m_pdf, "-o", out, "--jpeg-quality", "101"} << 2
                                 << "La qualité des images JPEG « 101 » n'est pas valable";
    QTest::newRow("bad preset") << QStringList{m_pdf, "-o", out, "--quality", "max"} << 2
                                << "--quality « max » : choisissez low, medium ou high";
    QTest::newRow("bad colour") << QStringList{m_pdf, "-o", out, "--color2", "#12345"} << 2
                                << "--color2 « #12345 » : indiquez une couleur #RRGGBB";
    QTest::newRow("bad range") << QStringList{m_pdf, "-o", out, "--pages", "3-2"} << 2
                               << "--pages « 3-2 »";
    QTest::newRow("range past the end")
        << QStringList{m_pdf, "-o", out, "--pages", "2-9"} << 2 << "n'a que 4 pages";
    QTest::newRow("reserved name") << QStringList{m_pdf, "-o", m_dir.filePath("refus/page1.swf")}
                                   << 2 << "Le nom « page1.swf » est celui d'un fichier";
    QTest::newRow("log name") << QStringList{m_pdf, "-o", m_dir.filePath("refus/vellora-build.log")}
                              << 2 << "Le nom « vellora-build.log »";
    QTest::newRow("missing file") << QStringList{missing, "-o", out} << 1
                                  << "« " + missing + " » : fichier ou dossier introuvable";
    if (::geteuid() != 0) // root reads every file
        QTest::newRow("unreadable file")
            << QStringList{locked, "-o", out} << 1
            << "impossible de lire « " + locked + " » : permission refusée";
    QTest::newRow("not a document")
        << QStringList{text, "-o", out} << 1 << "n'est ni un PDF ni un fichier PostScript";
    QTest::newRow("empty document") << QStringList{empty, "-o", out} << 1 << "« " + empty + " »";
    QTest::newRow("single page") << QStringList{m_pdf, "-o", out, "--pages", "2-2"} << 1
                                 << "Votre document ne comporte qu'une SEULE page !";
    QTest::newRow("missing index") << QStringList{m_pdf, "-o", out, "--index", missing} << 1
                                   << "Impossible d'ouvrir le fichier " + missing;
    QTest::newRow("folder not creatable")
        << QStringList{m_pdf, "-o", m_pdf + "/dessous/c.html"} << 1
        << "impossible de créer le dossier « " + m_pdf +
               "/dessous » : un élément du chemin n'est pas un dossier";
}

void TestVelloraBuild::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    const Run run = runBuild(arguments);
    QCOMPARE(run.status, status);
    // The converter may say why before us; our own message is the last line.
    const QString last = run.errors.trimmed().split('\n').last();
    QVERIFY2(last.startsWith("vellora-build : ") && last.contains(message), qPrintable(run.errors));
    QVERIFY(!QFile::exists(m_dir.filePath("refus")));
}

// Ctrl+C in the middle of the pages: the converters stop, no temporary file stays in the
// catalogue folder or the work area, and the program ends by the signal.
void TestVelloraBuild::interruptedBuildLeavesNoTemporaryFile()
{
    const QString pdf = m_dir.filePath("douze.pdf");
    QVERIFY(test::makePdf(pdf, 12));
    const QString tmp = m_dir.filePath("tmp");
    const QString out = m_dir.filePath("interrompu");
    QVERIFY(QDir().mkpath(tmp));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", tmp);
    process.setProcessEnvironment(environment);
    process.start(kProgram, {pdf, "-o", out + "/c.html", "--jobs", "2"});
    QVERIFY(process.waitForStarted());
    QByteArray progress;
    QTRY_VERIFY_WITH_TIMEOUT((progress += process.readAllStandardError()).contains("page 1/12"),
                             60000);
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(entries(tmp), QStringList());
    const QStringList left = entries(out);
    QVERIFY(!left.contains("page12.swf"));
    QVERIFY(!left.contains("c.html")); // the viewer files come only after every page
    static const QRegularExpression finished(
        QStringLiteral("\\A(page[0-9]+\\.(swf|jpg|js|svg)|page[0-9]+-[mt]\\.jpg|vellora\\.xml|"
                       "vellora-config\\.js|vellora-build\\.log)\\z"));
    for (const QString& name : left)
        QVERIFY2(finished.match(name).hasMatch(), qPrintable(name));
}

QTEST_MAIN(TestVelloraBuild)
#include "tst_vellorabuild.moc"
