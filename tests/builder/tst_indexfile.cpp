// The index file: writing, separator detection, reading and filling the grid.
#include "Errors.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "builder/build/IndexFile.h"
#include "builder/build/TextDecoding.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vellora;

using Rows = QList<QStringList>;
Q_DECLARE_METATYPE(vellora::IndexGrid)

namespace {
const QString kMark(QChar(11));
}

class TestIndexFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fields_data();
    void fields();
    void startStateFile();
    void separator_data();
    void separator();
    void read_data();
    void read();
    void decoding_data();
    void decoding();
    void roundTrip_data();
    void roundTrip();
    void fillKeepsUnreachedCells();
    void emptyFileLeavesGridAlone();
    void fileErrors();
};

void TestIndexFile::fields_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "Sommaire"
                           << "Sommaire";
    QTest::newRow("empty") << ""
                           << "\"\"";
    QTest::newRow("comma") << "Prix, tarifs"
                           << "\"Prix, tarifs\"";
    QTest::newRow("quote, no comma") << "12\" screen"
                                     << "\"12\"\" screen\"";
    QTest::newRow("quote and comma") << "a \"b\", c"
                                     << "\"a \"\"b\"\", c\"";
    QTest::newRow("CR LF with comma") << "un,\r\ndeux"
                                      << "\"un," + kMark + "deux\"";
    QTest::newRow("CR LF without comma") << "un\r\ndeux"
                                         << "\"un" + kMark + "deux\"";
    QTest::newRow("lone LF") << "un\ndeux"
                             << "\"un" + kMark + "deux\"";
    QTest::newRow("lone CR") << "un\rdeux"
                             << "\"un" + kMark + "deux\"";
    QTest::newRow("LF CR is two breaks") << "a\n\rb"
                                         << "\"a" + kMark + kMark + "b\"";
    QTest::newRow("semicolon stays bare") << "a;b"
                                          << "a;b";
    QTest::newRow("character 11 alone stays bare") << "a" + kMark + "b"
                                                   << "a" + kMark + "b";
    QTest::newRow("accents") << "Catalogue été"
                             << "Catalogue été";
}

void TestIndexFile::fields()
{
    QFETCH(QString, cell);
    QFETCH(QString, field);
    QCOMPARE(indexFileField(cell), field);
}

void TestIndexFile::startStateFile()
{
    QCOMPARE(writeIndexFile(IndexGrid::initial()), QByteArray("Page,Description\r\n\"\",\"\"\r\n"));
    IndexGrid grid = IndexGrid::initial();
    grid.rows.append(QStringList{"3", "Prix, tarifs"});
    grid.rows.append(QStringList{"", "été"});
    QCOMPARE(writeIndexFile(grid), QByteArray("Page,Description\r\n\"\",\"\"\r\n"
                                              "3,\"Prix, tarifs\"\r\n\"\",\xC3\xA9t\xC3\xA9\r\n"));
}

void TestIndexFile::separator_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::newRow("saved file") << "Page,Description\r\n\"\",\"\"\r\n"
                                << ",";
    QTest::newRow("comma inside quotes is not counted")
        << "Page,Description\r\n3,\"Prix, tarifs\"\r\n"
        << ",";
    QTest::newRow("semicolons with a comma in a description")
        << "Page;Description\r\n3;Prix, tarifs\r\n"
        << ";";
    QTest::newRow("tab") << "Page\tDescription\n1\tIntro\n"
                         << "\t";
    QTest::newRow("pipe") << "Page|Description\r\n1|a-b\r\n"
                          << "|";
    QTest::newRow("hyphen in text only: comma still wins") << "Page,Description\r\n1,a - b, c\r\n"
                                                           << ",";
    QTest::newRow("one line") << "Page;Description"
                              << ";";
    QTest::newRow("nothing to choose from") << "Page\r\nSommaire\r\n"
                                            << ",";
    QTest::newRow("empty") << ""
                           << ",";
}

void TestIndexFile::separator()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QCOMPARE(QString(detectSeparator(text)), separator);
}

void TestIndexFile::read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("saved start state") << QByteArray("Page,Description\r\n\"\",\"\"\r\n")
                                       << Rows{{"Page", "Description"}, {"", ""}};
    QTest::newRow("quoted comma") << QByteArray("Page,Description\r\n3,\"Prix, tarifs\"\r\n")
                                  << Rows{{"Page", "Description"}, {"3", "Prix, tarifs"}};
    QTest::newRow("doubled quotes") << QByteArray("Page,Description\r\n4,\"12\"\" screen\"\r\n")
                                    << Rows{{"Page", "Description"}, {"4", "12\" screen"}};
    QTest::newRow("character 11 in a quoted field is a line break")
        << QByteArray("Page,Description\r\n5,\"un\x0B"
                      "deux\"\r\n")
        << Rows{{"Page", "Description"}, {"5", "un\r\ndeux"}};
    QTest::newRow("character 11 in a bare field stays") << QByteArray("Page,Description\r\n5,un\x0B"
                                                                      "deux\r\n")
                                                        << Rows{{"Page", "Description"},
                                                                {"5", "un\x0B"
                                                                      "deux"}};
    QTest::newRow("line break inside quotes stays in the row")
        << QByteArray("Page,Description\r\n6,\"un\ndeux\"\r\n7,x\r\n")
        << Rows{{"Page", "Description"}, {"6", "un\r\ndeux"}, {"7", "x"}};
    QTest::newRow("lone LF and lone CR end lines")
        << QByteArray("Page,Description\n1,a\r2,b")
        << Rows{{"Page", "Description"}, {"1", "a"}, {"2", "b"}};
    QTest::newRow("semicolons") << QByteArray("Page;Description\r\n3;Prix, tarifs\r\n")
                                << Rows{{"Page", "Description"}, {"3", "Prix, tarifs"}};
    QTest::newRow("ragged lines") << QByteArray("Page,Description,Extra\r\n1\r\n2,b,c,d\r\n")
                                  << Rows{{"Page", "Description", "Extra"},
                                          {"1"},
                                          {"2", "b", "c", "d"}};
    QTest::newRow("empty line in the middle is a row")
        << QByteArray("Page,Description\r\n\r\n1,a\r\n")
        << Rows{{"Page", "Description"}, {""}, {"1", "a"}};
    QTest::newRow("last line without line end")
        << QByteArray("Page,Description\r\n1,a") << Rows{{"Page", "Description"}, {"1", "a"}};
    QTest::newRow("unclosed quote runs to the end")
        << QByteArray("Page,Description\r\n1,\"abc\r\n")
        << Rows{{"Page", "Description"}, {"1", "abc\r\n"}};
    QTest::newRow("byte-order mark dropped")
        << QByteArray("\xEF\xBB\xBFPage,Description\r\n") << Rows{{"Page", "Description"}};
    QTest::newRow("empty file") << QByteArray() << Rows{};
}

void TestIndexFile::read()
{
    QFETCH(QByteArray, file);
    QFETCH(Rows, rows);
    QCOMPARE(readIndexFile(file), rows);
}

void TestIndexFile::decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("utf-8") << QByteArray("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC") << "été €";
    QTest::newRow("windows-1252") << QByteArray("\xE9t\xE9 \x80 \x92") << "été € ’";
    QTest::newRow("mixed") << QByteArray("\xC3\xA9 \xE9") << "é é";
    QTest::newRow("truncated sequence at the end") << QByteArray("a\xC3") << "aÃ";
    QTest::newRow("overlong form is not utf-8") << QByteArray("\xC0\xAF") << "À¯";
    QTest::newRow("four-byte sequence")
        << QByteArray("\xF0\x9F\x93\x98") << QString::fromUtf8("\xF0\x9F\x93\x98");
}

void TestIndexFile::decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeUtf8OrWindows1252(bytes), text);
}

void TestIndexFile::roundTrip_data()
{
    QTest::addColumn<IndexGrid>("grid");
    QTest::newRow("start state") << IndexGrid::initial();
    IndexGrid rich = IndexGrid::initial();
    rich.rows = {{"Pages", "Sujets, détails"}, {"1", "Sommaire"},
                 {"3", "Prix, tarifs"},        {"4", "12\" \"écran\""},
                 {"", "ligne sans page"},      {"9", "première ligne\r\nseconde ligne"},
                 {"10", ";#|@*-+&\t"},         {"11", ""}};
    QTest::newRow("hostile rows, header changed") << rich;
    IndexGrid wide;
    wide.columns = 3;
    wide.rows = {{"Page", "Description", "Note"}, {"1", "a", "b,c"}};
    QTest::newRow("three columns") << wide;
}

void TestIndexFile::roundTrip()
{
    QFETCH(IndexGrid, grid);
    QTemporaryDir dir;
    const QString path = dir.filePath("index.csv");
    saveIndexFile(path, grid);
    IndexGrid read = IndexGrid::initial();
    read.rows = {{"x", "y"}};
    openIndexFile(path, read);
    QCOMPARE(read, grid);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"index.csv"});
}

void TestIndexFile::fillKeepsUnreachedCells()
{
    IndexGrid grid;
    grid.rows = {{"Page", "Description"}, {"1", "keep me"}, {"2", "dropped row"}};
    fillIndexGrid(grid, Rows{{"P", "D", "Extra"}, {"5"}});
    QCOMPARE(grid.columns, 3);
    QCOMPARE(grid.rows, (Rows{{"P", "D", "Extra"}, {"5", "keep me", ""}}));
}

void TestIndexFile::emptyFileLeavesGridAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    IndexGrid grid = IndexGrid::initial();
    grid.rows.append(QStringList{"4", "kept"});
    const IndexGrid before = grid;
    try {
        openIndexFile(path, grid);
        QFAIL("an empty file was read");
    } catch (const EVellora& error) {
        QCOMPARE(error.message(), QStringLiteral("File is empty"));
    }
    QCOMPARE(grid, before);
}

void TestIndexFile::fileErrors()
{
    QTemporaryDir dir;
    IndexGrid grid = IndexGrid::initial();
    const QString missing = dir.filePath("missing.csv");
    try {
        openIndexFile(missing, grid);
        QFAIL("a missing file was read");
    } catch (const EVellora& error) {
        QCOMPARE(error.message(), "Impossible d'ouvrir le fichier " + missing);
    }
    test::ReadOnlyFolder locked(dir.filePath("locked"));
    VELLORA_REQUIRE(locked.isReadOnly(), "a file system that can lock a folder for root");
    const QString target = locked.path() + "/index.csv";
    try {
        saveIndexFile(target, grid);
        QFAIL("a read-only folder was written");
    } catch (const EVellora& error) {
        QCOMPARE(error.message(), "Impossible de créer le fichier " + target);
    }
}

QTEST_GUILESS_MAIN(TestIndexFile)
#include "tst_indexfile.moc"
