// What users hit around a build, driven through the real windows with the real converter:
// folders, the files a rebuild leaves, the preview's label, cancelling, file permissions.
#include "BuildWindows.h"
#include "GhostScript.h"
#include "ReadOnlyFolder.h"
#include "TestPdf.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <sys/stat.h>

using namespace vellora;
using namespace vellora::test;

namespace {

int modeOf(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

} // namespace

class TestBuildFaults : public QObject, private test::BuildWindows
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installSeams(); }
    void init() { openWindows(); }
    void cleanup() { closeWindows(); }
    void missingFoldersAreCreated_data();
    void missingFoldersAreCreated();
    void rebuildRemovesWhatThePreviousBuildLeft_data();
    void rebuildRemovesWhatThePreviousBuildLeft();
    void previewLabelFollowsTheBuild();
    void cancelSaysTheCatalogueIsIncomplete();
    void converterReasonReachesTheUser();
    void converterThatCannotStartIsShown();
    void configurationPairStaysAPair_data();
    void configurationPairStaysAPair();
    void filePermissions_data();
    void filePermissions();
    void programFoldersAreRefused_data();
    void programFoldersAreRefused();
    void pdfModeIsReadAtTheClick();
    void saveDialogStartsInDocuments();
};

void TestBuildFaults::missingFoldersAreCreated_data()
{
    QTest::addColumn<QString>("folder");  // under the output folder
    QTest::addColumn<QString>("blocker"); // a file there, or a locked folder "locked:<name>"
    QTest::addColumn<QString>("message"); // with <out> for the output folder; empty: built
    QTest::newRow("two levels") << "neuf/catalogue"
                                << ""
                                << "";
    QTest::newRow("a file in the way")
        << "fichier/catalogue"
        << "fichier"
        << "Impossible de créer le dossier <out>/fichier : un fichier porte déjà ce nom.";
    QTest::newRow("locked parent")
        << "verrou/neuf/catalogue"
        << "locked:verrou"
        << "Impossible de créer le dossier <out>/verrou/neuf : permission refusée.";
}

void TestBuildFaults::missingFoldersAreCreated()
{
    QFETCH(QString, folder);
    QFETCH(QString, blocker);
    QFETCH(QString, message);
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    std::unique_ptr<test::ReadOnlyFolder> locked;
    if (blocker.startsWith("locked:")) {
        locked = std::make_unique<test::ReadOnlyFolder>(m_out + '/' + blocker.mid(7));
        VELLORA_REQUIRE(locked->isReadOnly(), "a file system that can lock a folder for root");
    } else if (!blocker.isEmpty()) {
        QVERIFY(writeFile(m_out + '/' + blocker, "à moi"));
    }
    m_prompts.answerSaveFile(m_out + '/' + folder + "/c.htm");
    build();
    if (message.isEmpty()) {
        QVERIFY(QFile::exists(m_out + '/' + folder + "/page2.swf"));
        QVERIFY(QFile::exists(m_out + '/' + folder + "/c.htm"));
        QCOMPARE(m_desktop.opened.size(), 2);
    } else {
        QCOMPARE(m_prompts.messages().last(), "Erreur: " + message.replace("<out>", m_out));
        QVERIFY(m_desktop.opened.isEmpty());
        QVERIFY(!QFile::exists(paths::BuildLogFile()));
    }
}

void TestBuildFaults::rebuildRemovesWhatThePreviousBuildLeft_data()
{
    QTest::addColumn<QByteArray>("manifest"); // empty: none
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("removed");
    const QStringList before = {"ancien.html", "notes.txt",   "page3.swf",        "page3.jpg",
                                "page3-m.jpg", "page3-t.jpg", "page12.svg",       "page4.js",
                                "page07.swf",  "page4.txt",   "vellora-search.js"};
    QTest::newRow("no manifest") << QByteArray() << before
                                 << QStringList{"page12.svg", "page3-m.jpg", "page3-t.jpg",
                                                "page3.jpg",  "page3.swf",   "page4.js"};
    // The test pages have text: this build writes its own search file, which stays.
    QTest::newRow("manifest")
        << QByteArray("window.velloraCatalogue = {\"version\":1,\"files\":[\"ancien.html\","
                      "\"page3.swf\",\"vellora-search.js\",\"notes.txt\",\"../dehors.html\","
                      "\"page4.txt\",\"page1.swf\",\"vellora-catalogue.js\"]};\n")
        << before << QStringList{"ancien.html", "page3.swf"};
}

void TestBuildFaults::rebuildRemovesWhatThePreviousBuildLeft()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QStringList, before);
    QFETCH(QStringList, removed);
    for (const QString& name : before)
        QVERIFY(writeFile(m_out + '/' + name, "ancien"));
    QVERIFY(writeFile(m_dir->filePath("dehors.html"), "à côté"));
    if (!manifest.isEmpty())
        QVERIFY(writeFile(m_out + "/vellora-catalogue.js", manifest));
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    m_prompts.answerSaveFile(m_out + "/c.htm");
    build();
    QCOMPARE(m_desktop.opened.size(), 2);
    for (const QString& name : before)
        QCOMPARE(QFile::exists(m_out + '/' + name), !removed.contains(name));
    QVERIFY(QFile::exists(m_dir->filePath("dehors.html")));
    QVERIFY(QFile::exists(m_out + "/page2.swf"));
    QVERIFY(QFile::exists(m_out + "/vellora-catalogue.js"));
}

void TestBuildFaults::previewLabelFollowsTheBuild()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 3));
    m_main->Bopen->click();
    m_prompts.answerSaveFile(m_out + "/c.htm");
    QStringList seen;
    connect(m_form->ProgressBar1, &QProgressBar::valueChanged, this, [&] {
        seen.append(
            QStringLiteral("%1 %2").arg(m_main->GS->CurrentPage()).arg(m_main->statusText(0)));
    });
    build();
    QVERIFY(!seen.isEmpty());
    for (const QString& each : seen) {
        const QString page = each.section(' ', 0, 0);
        QCOMPARE(each.section(' ', 1), "Page" + page + "/3");
    }
    QCOMPARE(m_main->statusText(0), "Page3/3");
    m_main->BPrevious->click();
    QCOMPARE(m_main->GS->CurrentPage(), 2);
    QCOMPARE(m_main->statusText(0), "Page2/3");
    m_main->BNext->click();
    QCOMPARE(m_main->statusText(0), "Page3/3");
}

void TestBuildFaults::cancelSaysTheCatalogueIsIncomplete()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 6));
    m_prompts.answerSaveFile(m_out + "/c.htm");
    connect(m_form->ProgressBar1, &QProgressBar::valueChanged, this, [this](int value) {
        if (value == 1)
            builder().cancelButton()->click();
    });
    build();
    QCOMPARE(m_prompts.messages().last(),
             "Avertissement: La création du catalogue a été annulée : le catalogue est "
             "incomplet (1 page sur 6).");
    QCOMPARE(m_form->ProgressBar1->value(), 0);
    QVERIFY(m_desktop.opened.isEmpty());
}

void TestBuildFaults::converterReasonReachesTheUser()
{
    QVERIFY(test::writeEmptyPdf(paths::WorkPdf()));
    m_main->Bopen->click();
    build();
    QCOMPARE(m_prompts.messages(),
             QStringList({kPatience, "Avertissement: Number Pages:",
                          "Erreur: Impossible de lire le document : le PDF ne contient aucune "
                          "page lisible"}));
}

void TestBuildFaults::converterThatCannotStartIsShown()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    const QString converter = ConverterProgram(ConverterFolders::user());
    QVERIFY(QFile::rename(converter, converter + ".away"));
    auto restore = qScopeGuard([&] { QFile::rename(converter + ".away", converter); });
    m_main->Bopen->click();
    build();
    QCOMPARE(m_prompts.asked().size(), 4);
    QCOMPARE(m_prompts.asked()[1].caption, "RunCaptured Error");
    QVERIFY2(m_prompts.asked()[1].text.startsWith("Impossible de lancer " + converter + " : "),
             qPrintable(m_prompts.asked()[1].text));
    QCOMPARE(m_prompts.messages().mid(2),
             QStringList({"Avertissement: Number Pages:",
                          "Erreur: '' n'est pas une valeur entière correcte"}));
}

void TestBuildFaults::configurationPairStaysAPair_data()
{
    QTest::addColumn<QByteArray>("oldConfig"); // empty: none
    QTest::newRow("older pair") << QByteArray("<ancienne configuration/>\r\n");
    QTest::newRow("first build") << QByteArray();
}

// The script of the pair cannot take its place (a folder holds its name): the configuration
// stays as it was.
void TestBuildFaults::configurationPairStaysAPair()
{
    QFETCH(QByteArray, oldConfig);
    if (!oldConfig.isEmpty())
        QVERIFY(writeFile(m_out + "/vellora.xml", oldConfig));
    QVERIFY(QDir().mkpath(m_out + "/vellora-config.js/dedans"));
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    m_prompts.answerSaveFile(m_out + "/c.htm");
    build();
    QCOMPARE(m_prompts.messages().last(),
             "Erreur: Impossible de créer le fichier " + m_out + "/vellora-config.js");
    QCOMPARE(QFile::exists(m_out + "/vellora.xml"), !oldConfig.isEmpty());
    QCOMPARE(readAll(m_out + "/vellora.xml"), oldConfig);
    QCOMPARE(entries(m_out), oldConfig.isEmpty()
                                 ? QStringList{"vellora-config.js"}
                                 : QStringList({"vellora-config.js", "vellora.xml"}));
}

void TestBuildFaults::filePermissions_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("published"); // catalogue files and new documents
    QTest::newRow("umask 022") << 022 << 0644;
    QTest::newRow("umask 077") << 077 << 0600;
    QTest::newRow("umask 002") << 002 << 0664;
}

void TestBuildFaults::filePermissions()
{
    QFETCH(int, umask);
    QFETCH(int, published);
    const mode_t before = ::umask(mode_t(umask));
    auto restore = qScopeGuard([&] { ::umask(before); });
    const QString source = m_dir->filePath("source.pdf");
    QVERIFY(test::makePdf(source, 2));
    m_main->PdfMode = true;
    m_prompts.answerOpenFile(source);
    m_prompts.answerSaveFile(m_out + "/c.htm");
    build();
    QCOMPARE(m_desktop.opened.size(), 2);
    QCOMPARE(modeOf(paths::WorkPdf()), 0600);
    QCOMPARE(modeOf(paths::BuildLogFile()), 0600);
    for (const char* name : {"c.htm", "vellora.xml", "vellora-config.js", "readme.txt"})
        QCOMPARE(modeOf(m_out + '/' + QLatin1String(name)), published);

    // The index file: a new one follows the umask, one the user restricted stays so.
    m_prompts.answerSaveFile(m_out + "/index.csv");
    m_index->AdvGlowButton1->click();
    QCOMPARE(modeOf(m_out + "/index.csv"), published);
    QVERIFY(QFile::setPermissions(m_out + "/index.csv", QFile::ReadOwner | QFile::WriteOwner));
    m_prompts.answerSaveFile(m_out + "/index.csv");
    m_index->AdvGlowButton1->click();
    QCOMPARE(modeOf(m_out + "/index.csv"), 0600);
}

void TestBuildFaults::programFoldersAreRefused_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("tool folder") << paths::ToolFolder() << false;
    QTest::newRow("data folder") << paths::AppDataFolder() << false;
    QTest::newRow("data folder through a link") << paths::AppDataFolder() << true;
}

void TestBuildFaults::programFoldersAreRefused()
{
    QFETCH(QString, folder);
    QFETCH(bool, throughLink);
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    const QStringList before = entries(folder);
    const QByteArray workPdf = readAll(paths::WorkPdf());
    QString chosen = folder;
    if (throughLink) {
        chosen = m_dir->filePath("lien");
        QVERIFY(QFile::link(folder, chosen));
    }
    m_prompts.answerSaveFile(chosen + "/out.pdf");
    build();
    QCOMPARE(m_prompts.messages().last(),
             "Erreur: Le dossier " + chosen +
                 " contient les fichiers de Vellora : le "
                 "catalogue les remplacerait. Choisissez un autre dossier pour la page HTML.");
    QCOMPARE(entries(folder), before);
    QCOMPARE(readAll(paths::WorkPdf()), workPdf);
    QVERIFY(m_desktop.opened.isEmpty());
}

// A print job that arrives while the build waits for a preview run does not switch the path
// chosen by the click; the page count runs without an event loop of its own.
void TestBuildFaults::pdfModeIsReadAtTheClick()
{
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    std::atomic<bool> release = false;
    m_main->GS->Queue().enqueue({[] {},
                                 [&] {
                                     while (!release)
                                         QThread::msleep(5);
                                     return true;
                                 },
                                 [](bool) {
                                 }});
    int levelAtStart = -1;
    int levelDuringCount = -1;
    qsizetype messagesDuringCount = -1;
    m_prompts.onMessage = [&](const QString&, const QString& text) {
        if (!text.startsWith("La phase de création"))
            return;
        levelAtStart = QThread::currentThread()->loopLevel();
        QTimer::singleShot(0, this, [&] {
            levelDuringCount = QThread::currentThread()->loopLevel();
            messagesDuringCount = m_prompts.messages().size();
        });
    };
    m_prompts.answerSaveFile(m_out + "/c.htm");
    QSignalSpy ended(&builder(), &CatalogueBuilder::buildEnded);
    m_form->PngSpeedButton1->click();
    m_main->PdfMode = true;
    release = true;
    QVERIFY(ended.wait(60000));
    QCOMPARE(m_prompts.messages().mid(0, 2),
             QStringList({kPatience, "Avertissement: Number Pages:2"}));
    QVERIFY(QFile::exists(m_out + "/page2.swf"));
    QCOMPARE(messagesDuringCount, 1);
    QCOMPARE(levelDuringCount, levelAtStart);
}

void TestBuildFaults::saveDialogStartsInDocuments()
{
    const QString documents = QDir::homePath() + "/Documents";
    QVERIFY(QDir().mkpath(documents));
    QVERIFY(test::makePdf(paths::WorkPdf(), 2));
    m_main->Bopen->click();
    m_prompts.answerCancel();
    build();
    m_form->show();
    m_prompts.answerSaveFile(m_out + "/c.htm");
    build();
    m_form->show();
    m_prompts.answerCancel();
    build();
    QStringList offered;
    for (const FakePrompts::Asked& asked : m_prompts.asked()) {
        if (asked.kind == FakePrompts::Asked::Kind::SaveFile)
            offered.append(asked.request.initialPath);
    }
    QCOMPARE(offered, QStringList({documents, documents, m_out + "/c.htm"}));
}

QTEST_MAIN(TestBuildFaults)
#include "tst_buildfaults.moc"
