// The search file and the document outline as the build reads them from the converter.
#include "builder/build/DocumentOutline.h"
#include "builder/build/SearchFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace vellora;

class TestSearchFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pageText_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("text");
        QTest::newRow("two lines")
            << QByteArray(
                   "velloraPage(4, {\"width\":600,\"height\":800,\"lines\":[{\"box\":[1,2,3,4],"
                   "\"words\":[[\"École\",0,2],[\"d'été\",3,1]]},{\"dir\":[0,-1],\"box\":[1,1,"
                   "1,1],\"words\":[[\"vertical\",0,1]]}],\"links\":[]});\n")
            << QStringLiteral("École d'été\nvertical");
        QTest::newRow("links only")
            << QByteArray(
                   "velloraPage(1, {\"lines\":[],\"links\":[{\"box\":[1,2,3,4],\"page\":2}]});")
            << QString();
        QTest::newRow("another script") << QByteArray("alert(1);") << QString();
        QTest::newRow("cut short")
            << QByteArray("velloraPage(1, {\"lines\":[{\"words\":[[\"a\"") << QString();
        QTest::newRow("words that are not text")
            << QByteArray("velloraPage(1, {\"lines\":[{\"words\":[[7],\"x\",[\"ok\"]]},{}]});")
            << QStringLiteral("ok");
    }
    void pageText()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, text);
        QCOMPARE(PageScriptText(script), text);
    }

    void searchScriptIsCompactJson()
    {
        QCOMPARE(
            SearchScript({QStringLiteral("École \"été\"\nfin"), QString(), "x"}),
            QByteArray("velloraSearch({\"pages\":[\"École \\\"été\\\"\\nfin\",\"\",\"x\"]});\n"));
    }

    void searchFileFromThePageScripts()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + u'/';
        const auto write = [&](const QString& name, const QByteArray& data) {
            QFile file(folder + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        };
        QVERIFY(!WriteSearchFile(folder, 3)); // no page has text: no file
        QVERIFY(!QFile::exists(folder + kSearchFile));

        write("page1.js", "velloraPage(1, {\"lines\":[{\"words\":[[\"Un\",0,0,1,1]]}]});\n");
        write("page3.js", "velloraPage(3, {\"lines\":[{\"words\":[[\"Trois\",0,0,1,1]]}]});\n");
        write("page4.js", "velloraPage(4, {\"lines\":[{\"words\":[[\"Hors\",0,0,1,1]]}]});\n");
        QVERIFY(WriteSearchFile(folder, 3));
        QFile file(folder + kSearchFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("velloraSearch({\"pages\":[\"Un\",\"\",\"Trois\"]});\n"));
    }

    void outline_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("direction");
        QTest::addColumn<QByteArray>("outline");
        QTest::newRow("nested")
            << QByteArray(
                   "{\"direction\":\"ltr\",\"outline\":[{\"title\":\"A\",\"page\":1,\"children\":[{"
                   "\"title\":\"B\",\"page\":3,\"children\":[]}]}]}\n")
            << "ltr"
            << QByteArray("[{\"children\":[{\"children\":[],\"page\":3,"
                          "\"title\":\"B\"}],\"page\":1,\"title\":\"A\"}]");
        QTest::newRow("right to left, pages out of range")
            << QByteArray("{\"direction\":\"rtl\",\"outline\":[{\"title\":\"Z\",\"page\":9},"
                          "{\"title\":5,\"page\":null}]}")
            << "rtl"
            << QByteArray("[{\"children\":[],\"page\":null,\"title\":\"Z\"},"
                          "{\"children\":[],\"page\":null,\"title\":\"\"}]");
        QTest::newRow("no answer") << QByteArray() << "ltr" << QByteArray("[]");
        QTest::newRow("unknown direction")
            << QByteArray("{\"direction\":\"ttb\",\"outline\":{}}") << "ltr" << QByteArray("[]");
    }
    void outline()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, direction);
        QFETCH(QByteArray, outline);
        const DocumentOutline result = ParseDocumentOutline(output, 3);
        QCOMPARE(result.direction, direction);
        QCOMPARE(QJsonDocument(result.outline).toJson(QJsonDocument::Compact), outline);
    }
};

QTEST_GUILESS_MAIN(TestSearchFile)
#include "tst_searchfile.moc"
