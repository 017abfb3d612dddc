// The small texts a build writes and the checks it makes before writing anything.
#include "Errors.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "builder/build/AtomicFile.h"
#include "builder/build/BuildChecks.h"
#include "builder/build/BuildLog.h"
#include "builder/build/OutputFolder.h"
#include "builder/build/Readme.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vellora;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestBuildTexts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readmeBytes();
    void logLines();
    void logSaveReplacesWholeFile();
    void quality_data();
    void quality();
    void reservedNames_data();
    void reservedNames();
    void viewerFilesCopied();
    void missingViewerFilesReported();
    void toolFolderAsOutputIsNotACopyOntoItself();
};

void TestBuildTexts::readmeBytes()
{
    const QByteArray expected =
        "Vellora a cr\xC3\xA9\xC3\xA9 votre dossier.\r\n"
        "\r\n"
        "Vous pouvez Voir le r\xC3\xA9sultat localement en ouvrant le fichier HTML contenu dans "
        "le r\xC3\xA9pertoire indiqu\xC3\xA9.\r\n"
        "\r\n"
        "ATTENTION\r\n"
        "---------\r\n"
        "\r\n"
        "Pour des raisons de securit\xC3\xA9, Internet Explorer n'affichera pas l'objet Flash.\r\n"
        "Pour habiliter l'objet FLASH, il faut cliquer sur la barre du haut dans Internet "
        "Explorer et accepter l'activeX FLASH\r\n"
        "\r\n"
        "Pour publier votre catalogue, il faut UPLODER tous les fichiers pr\xC3\xA9sents dans le "
        "dossier dans votre site Internet via FTP\r\n";
    QCOMPARE(readmeText(), expected);
    QCOMPARE(readmeLines().size(), 11);
}

void TestBuildTexts::logLines()
{
    BuildLog log;
    log.addOutputFolder("/home/anne/cat/");
    log.addGotoPage(1);
    log.addPageFile("/home/anne/cat/page1.swf");
    log.addConverterCommand("\"/x/pdf2swf\"  \"/x/out.pdf\"  -p1 -o \"/home/anne/cat/page1.swf\"");
    QCOMPARE(log.text(), QByteArray("repertoire_courant=/home/anne/cat/\r\n"
                                    "gotoPage:1\r\n"
                                    "nom_page:\"/home/anne/cat/page1.swf\"\r\n"
                                    "pdfexe:\"/x/pdf2swf\"  \"/x/out.pdf\"  -p1 -o "
                                    "\"/home/anne/cat/page1.swf\"\r\n"));
    log.clear();
    QVERIFY(log.text().isEmpty());
}

void TestBuildTexts::logSaveReplacesWholeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vellora.logs");
    writeFile(path, QByteArray(4096, 'x'));
    BuildLog log;
    log.addGotoPage(12);
    QVERIFY(log.save(path));
    QCOMPARE(readAll(path), QByteArray("gotoPage:12\r\n"));
    QVERIFY(!log.save(dir.filePath("no/such/folder/vellora.logs")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"vellora.logs"});
}

void TestBuildTexts::quality_data()
{
    QTest::addColumn<QString>("qualite");
    QTest::addColumn<bool>("valid");
    QTest::newRow("default") << "70" << true;
    QTest::newRow("empty means the converter's default") << "" << true;
    QTest::newRow("zero") << "0" << true;
    QTest::newRow("hundred") << "100" << true;
    QTest::newRow("leading zero") << "070" << true;
    QTest::newRow("too high") << "101" << false;
    QTest::newRow("blank") << " " << false;
    QTest::newRow("trailing blank") << "70 " << false;
    QTest::newRow("quote") << "70\"" << false;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("negative") << "-1" << false;
    QTest::newRow("option smuggled in") << "70 -o /tmp/x" << false;
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("\xD9\xA7\xD9\xA0") << false;
    QTest::newRow("many digits") << "0000070" << false;
}

void TestBuildTexts::quality()
{
    QFETCH(QString, qualite);
    QFETCH(bool, valid);
    QCOMPARE(isValidQuality(qualite), valid);
}

void TestBuildTexts::reservedNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("reserved");
    for (const char* name :
         {"vellora.xml", "vellora-config.js", "readme.txt", "swfobject.js", "vellora.swf",
          "page1.swf", "page12.jpg", "page3.svg", "PAGE1.SWF", "Readme.TXT", "page1.html",
          "page2-m.jpg", "page7.js", "sitemap.xml", "Vellora-Text.css", "vellora-cover.jpg"})
        QTest::newRow(name) << name << true;
    for (const char* name : {"vellora.html", "catalogue.htm", "index.html", "page.swf", "pagex.jpg",
                             "mypage1.swf", "page1.swf.htm", "sitemap.xml.html"})
        QTest::newRow(name) << name << false;
}

void TestBuildTexts::reservedNames()
{
    QFETCH(QString, name);
    QFETCH(bool, reserved);
    QCOMPARE(isReservedOutputName(name), reserved);
}

void TestBuildTexts::viewerFilesCopied()
{
    QTemporaryDir tools;
    QTemporaryDir out;
    writeFile(tools.filePath("vellora.html"), "<html>viewer</html>");
    writeFile(tools.filePath("swfobject.js"), "script");
    writeFile(tools.filePath("vellora.swf"), "FWS movie");
    writeFile(out.filePath("readme.txt"), "an old readme that is longer than the new one? no");
    const QString html = out.filePath("mon catalogue.htm");

    QCOMPARE(CopyViewerFiles(html, tools.path()), QStringList());

    QCOMPARE(readAll(html), QByteArray("<html>viewer</html>"));
    QCOMPARE(readAll(out.filePath("swfobject.js")), QByteArray("script"));
    QCOMPARE(readAll(out.filePath("vellora.swf")), QByteArray("FWS movie"));
    QCOMPARE(readAll(out.filePath("readme.txt")), readmeText());
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"mon catalogue.htm", "readme.txt", "swfobject.js", "vellora.swf"}));
}

void TestBuildTexts::missingViewerFilesReported()
{
    QTemporaryDir tools;
    QTemporaryDir out;
    writeFile(tools.filePath("swfobject.js"), "script");
    const QString html = out.filePath("catalogue.html");
    QCOMPARE(CopyViewerFiles(html, tools.path()), QStringList({"vellora.html", "vellora.swf"}));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"readme.txt", "swfobject.js"}));

    test::ReadOnlyFolder locked(out.filePath("locked"));
    VELLORA_REQUIRE(locked.isReadOnly(), "a file system that can lock a folder for root");
    try {
        CopyViewerFiles(locked.path() + "/catalogue.html", tools.path());
        QFAIL("a read-only folder was written");
    } catch (const EVellora& error) {
        QCOMPARE(error.message(),
                 "Impossible de créer le fichier " + locked.path() + "/readme.txt");
    }
}

void TestBuildTexts::toolFolderAsOutputIsNotACopyOntoItself()
{
    QTemporaryDir tools;
    writeFile(tools.filePath("vellora.html"), "<html>viewer</html>");
    writeFile(tools.filePath("swfobject.js"), "script");
    writeFile(tools.filePath("vellora.swf"), "FWS movie");
    // The same folder reached through a link must still be recognised.
    const QString link = tools.filePath("via-link");
    QVERIFY(QFile::link(tools.path(), link));

    QCOMPARE(CopyViewerFiles(link + "/vellora.html", tools.path()), QStringList());
    QCOMPARE(readAll(tools.filePath("vellora.html")), QByteArray("<html>viewer</html>"));
    QCOMPARE(readAll(tools.filePath("swfobject.js")), QByteArray("script"));
    QCOMPARE(readAll(tools.filePath("vellora.swf")), QByteArray("FWS movie"));
    QVERIFY(isSameFile(link + "/vellora.swf", tools.filePath("vellora.swf")));
    QVERIFY(!isSameFile(tools.filePath("absent"), tools.filePath("absent")));
}

QTEST_GUILESS_MAIN(TestBuildTexts)
#include "tst_buildtexts.moc"
