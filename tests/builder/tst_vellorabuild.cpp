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
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

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
    void badInputs_data();
    void badInputs();
    void signalEndsEveryStage_data();
    void signalEndsEveryStage();
    void abandonedWorkFoldersAreSwept();
    void publishing();

private:
    // A tool folder whose converter stalls when it gets the argument in $VELLORA_TEST_STALL,
    // after creating the file $VELLORA_TEST_MARK; otherwise it is the real converter.
    QString stallingToolData();

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
    QTest::newRow("address not http")
        << QStringList{m_pdf, "-o", out, "--url", "ftp://exemple.fr/c/"} << 2
        << "L'adresse de publication « ftp://exemple.fr/c/ » n'est pas valable";
    QTest::newRow("relative address") << QStringList{m_pdf, "-o", out, "--url=catalogue/"} << 2
                                      << "« catalogue/ » n'est pas valable";
    QTest::newRow("text page name")
        << QStringList{m_pdf, "-o", m_dir.filePath("refus/page2.html")} << 2
        << "Le nom « page2.html » est celui d'un fichier du catalogue";
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

// Input that is not a document, or a disk that fills up: a French message and the status,
// nothing left behind. The disk is a small file system of its own (tmpfs, which needs root).
void TestVelloraBuild::badInputs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("messages"); // the last lines of the error output
    const QString out = m_dir.filePath("mauvais/c.html");
    const QString pipe = m_dir.filePath("tube.pdf");
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0 || QFile::exists(pipe));
    const QString socketPath = m_dir.filePath("prise.pdf");
    if (!QFile::exists(socketPath)) {
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(socketPath);
        QVERIFY(size_t(name.size()) < sizeof address.sun_path);
        std::copy(name.begin(), name.end(), address.sun_path);
        QVERIFY(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    }
    const QString tooLong = m_dir.filePath(QString(300, u'a') + ".pdf");
    const QString full = m_dir.filePath("plein");
    const QString notAFile = " pas un fichier : indiquez un PDF ou un fichier PostScript";

    QTest::newRow("named pipe") << QStringList{pipe, "-o", out} << false << 2
                                << QStringList{"vellora-build : « " + pipe +
                                               " » est un tube nommé," + notAFile};
    QTest::newRow("device") << QStringList{"/dev/zero", "-o", out} << false << 2
                            << QStringList{"vellora-build : « /dev/zero » est un périphérique," +
                                           notAFile};
    QTest::newRow("socket") << QStringList{socketPath, "-o", out} << false << 2
                            << QStringList{"vellora-build : « " + socketPath +
                                           " » est une socket," + notAFile};
    QTest::newRow("path too long")
        << QStringList{tooLong, "-o", out} << false << 1
        << QStringList{"vellora-build : « " + tooLong + " » : le nom est trop long"};
    QTest::newRow("disk full")
        << QStringList{m_pdf, "-o", full + "/c.html", "--jobs", "1", "--quiet"} << true << 1
        << QStringList{
               "vellora-build : Le disque est plein : impossible d'écrire dans le dossier " + full +
                   ".",
               "vellora-build : La création s'est arrêtée : le catalogue est incomplet "
               "(pages manquantes : 1 à 4) et n'a pas de page à ouvrir."};
}

void TestVelloraBuild::badInputs()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, fullDisk);
    QFETCH(int, status);
    QFETCH(QStringList, messages);
    const QString full = m_dir.filePath("plein");
    if (fullDisk) {
        QVERIFY(QDir().mkpath(full));
        // Room for the configuration and the log, not for a page.
        // Mounting needs root and a system that lets root mount: a sandbox may refuse it.
        if (::mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=16k") != 0)
            QSKIP("this system does not let the test mount a small file system");
    }
    const Run run = runBuild(arguments);
    if (fullDisk) {
        const QStringList left = entries(full);
        ::umount(QFile::encodeName(full).constData());
        // Nothing that opens a broken catalogue, and no half-written file.
        QCOMPARE(left, QStringList({"vellora-build.log", "vellora-config.js", "vellora.xml"}));
    }
    QCOMPARE(run.status, status);
    const QStringList lines = run.errors.trimmed().split('\n');
    QCOMPARE(lines.mid(lines.size() - messages.size()), messages);
    QVERIFY(!QFile::exists(m_dir.filePath("mauvais")));
}

// A stop signal ends vellora-build at every stage: the PostScript conversion, the page count,
// the pages, the outline. The work folder goes, and the program ends by the signal.
void TestVelloraBuild::signalEndsEveryStage_data()
{
    QTest::addColumn<QString>("stall"); // the converter argument it stalls on; empty: PostScript
    QTest::newRow("PostScript") << QString();
    QTest::newRow("page count") << "-I";
    QTest::newRow("pages") << "-p2";
    QTest::newRow("outline") << "--outline";
}

void TestVelloraBuild::signalEndsEveryStage()
{
    QFETCH(QString, stall);
    const QString tag = QTest::currentDataTag();
    const QString tmp = m_dir.filePath("tmp-" + tag);
    const QString runtime = m_dir.filePath("run-" + tag);
    const QString mark = m_dir.filePath("mark-" + tag);
    const QString out = m_dir.filePath("stage-" + tag);
    QVERIFY(QDir().mkpath(tmp) && QDir().mkpath(runtime));
    QString input = m_pdf;
    if (stall.isEmpty()) {
        input = m_dir.filePath("sans-fin.ps");
        QFile endless(input);
        QVERIFY(endless.open(QIODevice::WriteOnly));
        endless.write("%!PS\n{ 1 pop } loop\n");
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", tmp);
    environment.insert("XDG_RUNTIME_DIR", runtime);
    environment.insert("XDG_DATA_HOME", stallingToolData());
    environment.insert("VELLORA_TEST_STALL", stall);
    environment.insert("VELLORA_TEST_MARK", mark);
    process.setProcessEnvironment(environment);
    process.start(kProgram, {input, "-o", out + "/c.html", "--jobs", "1"});
    QVERIFY(process.waitForStarted());
    // The stage is reached: the converter stalls, or the interpreter has its run folder.
    const auto reached = [&] {
        if (!stall.isEmpty())
            return QFile::exists(mark);
        const QString temporary = runtime + "/vellora"; // Vellora's own runtime folder
        for (const QString& area : QDir(temporary).entryList({"vellora-render-*"}, QDir::Dirs)) {
            if (!QDir(temporary + '/' + area + "/tmp").entryList({"run-*"}, QDir::Dirs).isEmpty())
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(reached(), 120000);
    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(entries(tmp), QStringList());
    for (const QString& name : entries(out))
        QVERIFY2(!name.startsWith('.'), qPrintable(name));
}

QString TestVelloraBuild::stallingToolData()
{
    const QString data = m_dir.filePath("outils");
    const QString tools = data + "/vellora";
    if (QFile::exists(tools + "/pdf2swf"))
        return data;
    const QString real = paths::ToolFolder();
    [&] {
        QVERIFY(QDir().mkpath(tools));
        for (const QString& name : QDir(real).entryList(QDir::Files)) {
            if (name != "pdf2swf")
                QVERIFY(QFile::copy(real + '/' + name, tools + '/' + name));
        }
        QFile wrapper(tools + "/pdf2swf");
        QVERIFY(wrapper.open(QIODevice::WriteOnly));
        wrapper.write("#!/bin/sh\n"
                      "for argument in \"$@\"; do\n"
                      "    if [ -n \"$VELLORA_TEST_STALL\" ] && "
                      "[ \"$argument\" = \"$VELLORA_TEST_STALL\" ]; then\n"
                      "        : > \"$VELLORA_TEST_MARK\"\n"
                      "        exec sleep 600\n"
                      "    fi\n"
                      "done\n"
                      "exec '" +
                      QFile::encodeName(real) + "/pdf2swf' \"$@\"\n");
        wrapper.close();
        QVERIFY(wrapper.setPermissions(wrapper.permissions() | QFileDevice::ExeOwner));
    }();
    return data;
}

// The work folder of a run that was killed (SIGKILL, a crash) goes at the next start; that of
// a run still going, and folders of other names, stay.
void TestVelloraBuild::abandonedWorkFoldersAreSwept()
{
    const QString tmp = m_dir.filePath("tmp-balayage");
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    QVERIFY(gone > 0);
    ::waitpid(gone, nullptr, 0);
    const QString abandoned = tmp + QStringLiteral("/vellora-build-%1-aB3xYz").arg(gone);
    const QString running = tmp + QStringLiteral("/vellora-build-%1-Qw9rTy").arg(::getpid());
    const QString other = tmp + "/vellora-build-Kp2sLm";
    for (const QString& folder : {abandoned, running, other}) {
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + "/out.pdf");
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const Run run = runBuild({m_dir.filePath("absent.pdf"), "-o", m_dir.filePath("b/c.html")}, tmp);
    QCOMPARE(run.status, 1);
    QCOMPARE(entries(tmp),
             QStringList({QFileInfo(running).fileName(), QFileInfo(other).fileName()}));
}

// --url and --pdf: the copy is refused over a file of the user's, with nothing written; a build
// with them writes the site map and the copy, a later build without them removes both.
void TestVelloraBuild::publishing()
{
    const QString out = m_dir.filePath("publication");
    QVERIFY(QDir().mkpath(out));
    {
        QFile mine(out + "/c.pdf");
        QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
    }
    const QStringList publish{m_pdf,  "-q", "-o", out + "/c.html", "--url", "https://exemple.fr/c",
                              "--pdf"};
    Run run = runBuild(publish);
    QCOMPARE(run.status, 1);
    QCOMPARE(run.errors, "vellora-build : Le fichier " + out +
                             "/c.pdf existe déjà et ce n'est pas une copie faite par Vellora : il "
                             "n'est pas remplacé. Renommez-le, ou choisissez un autre nom pour le "
                             "catalogue ; rien n'a été écrit.\n");
    QCOMPARE(entries(out), QStringList{"c.pdf"});
    QCOMPARE(readAll(out + "/c.pdf"), QByteArray("mine"));

    QVERIFY(QFile::remove(out + "/c.pdf"));
    for (int pass = 0; pass < 2; ++pass) { // the second replaces the build's own copy
        run = runBuild(publish);
        QCOMPARE(run.errors, QString());
        QCOMPARE(run.status, 0);
    }
    QCOMPARE(readAll(out + "/c.pdf"), readAll(m_pdf));
    QCOMPARE(readAll(out + "/sitemap.xml"),
             QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                        "<url><loc>https://exemple.fr/c/c.html</loc></url>\n"
                        "<url><loc>https://exemple.fr/c/page1.html</loc></url>\n"
                        "<url><loc>https://exemple.fr/c/page2.html</loc></url>\n"
                        "<url><loc>https://exemple.fr/c/page3.html</loc></url>\n"
                        "<url><loc>https://exemple.fr/c/page4.html</loc></url>\n</urlset>\n"));
    const QByteArray manifest = readAll(out + "/vellora-catalogue.js");
    QVERIFY(manifest.contains(",\"title\":\"1\",\"description\":\"1 2 3 4\",\"lang\":\"und\","
                              "\"url\":\"https://exemple.fr/c/\",\"pdf\":\"c.pdf\","));
    QVERIFY(manifest.contains("\"vellora-text.css\",\"page1.html\",\"page2.html\",\"page3.html\","
                              "\"page4.html\",\"vellora-cover.jpg\",\"sitemap.xml\",\"c.pdf\","));

    run = runBuild({m_pdf, "-q", "-o", out + "/c.html", "--pages", "1-2"});
    QCOMPARE(run.status, 0);
    const QStringList left = entries(out);
    for (const char* gone : {"c.pdf", "sitemap.xml", "page3.html", "page4.swf"})
        QVERIFY2(!left.contains(gone), gone);
    for (const char* kept : {"page2.html", "vellora-text.css", "vellora-cover.jpg"})
        QVERIFY2(left.contains(kept), kept);
    QVERIFY(readAll(out + "/vellora-catalogue.js").contains("\"url\":null,\"pdf\":null,"));
}

QTEST_MAIN(TestVelloraBuild)
#include "tst_vellorabuild.moc"
