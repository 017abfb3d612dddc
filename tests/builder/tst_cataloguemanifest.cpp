// The catalogue manifest "vellora-catalogue.js" as bytes, and the page sizes it is made from.
#include "Errors.h"
#include "ReadOnlyFolder.h"
#include "builder/build/CatalogueManifest.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vellora;

class TestCatalogueManifest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writtenBytes();
    void sizesFromListing();
    void unwritableFolderKeepsTheOldFile();
};

void TestCatalogueManifest::writtenBytes()
{
    QTemporaryDir dir;
    for (const char* name : {"page1.swf", "page1.jpg", "page1-t.jpg", "page1-m.jpg", "page1.svg",
                             "page2.jpg", "page2.swf", "page2.js", "page3.jpeg", "page22.jpg"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString html = dir.filePath(QStringLiteral("Été \"2026\".html"));
    CatalogueManifest manifest =
        catalogueManifestFor(html, {QSizeF(595.28, 841.89), std::nullopt}, 3,
                             {QStringLiteral("Été \"2026\".html"), QStringLiteral("swfobject.js")});
    // A bookmark that leads nowhere in the catalogue (page 0) has no page.
    manifest.outline = {{QStringLiteral("A\\b\n\t\u2028</script>l'été\x7f"), 2, {{"x", 3, {}}}},
                        {"y", 0, {}}};
    manifest.direction = QStringLiteral("rtl");
    manifest.search = QStringList{QStringLiteral("vellora-search.js")};
    manifest.title = QStringLiteral("T\"</script>\u2028");
    manifest.description = QStringLiteral("d\\");
    manifest.lang = QStringLiteral("en-GB");
    manifest.url = QStringLiteral("https://ex.fr/a/");
    manifest.pdf = QStringLiteral("Été \"2026\".pdf");
    WriteCatalogueManifest(html, manifest);

    QFile file(dir.filePath(QStringLiteral("vellora-catalogue.js")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(
        file.readAll(),
        QByteArray("window.velloraCatalogue = {\"version\":1,\"pages\":["
                   "{\"width\":595.28,\"height\":841.89,\"files\":[\"page1.swf\",\"page1.jpg\","
                   "\"page1-m.jpg\",\"page1-t.jpg\",\"page1.svg\"]},"
                   "{\"width\":null,\"height\":null,\"files\":[\"page2.swf\",\"page2.jpg\","
                   "\"page2.js\"]},"
                   "{\"width\":null,\"height\":null,\"files\":[]}],"
                   "\"outline\":[{\"title\":\"A\\\\b\\n\\t\\u2028</"
                   "script>l'\xC3\xA9t\xC3\xA9\x7f\",\"page\":2,"
                   "\"children\":[{\"title\":\"x\",\"page\":3,\"children\":[]}]},"
                   "{\"title\":\"y\",\"page\":null,\"children\":[]}],"
                   "\"direction\":\"rtl\",\"search\":\"vellora-search.js\","
                   "\"title\":\"T\\\"</script>\\u2028\",\"description\":\"d\\\\\","
                   "\"lang\":\"en-GB\",\"url\":\"https://ex.fr/a/\","
                   "\"pdf\":\"\xC3\x89t\xC3\xA9 \\\"2026\\\".pdf\","
                   "\"files\":[\"\xC3\x89t\xC3\xA9 \\\"2026\\\".html\",\"swfobject.js\","
                   "\"page1.swf\",\"page1.jpg\",\"page1-m.jpg\",\"page1-t.jpg\",\"page1.svg\","
                   "\"page2.swf\",\"page2.jpg\",\"page2.js\",\"vellora-catalogue.js\"]};\n"));

    // The defaults: no outline, left to right, no search file.
    QCOMPARE(catalogueManifestScript({}),
             QByteArray("window.velloraCatalogue = {\"version\":1,\"pages\":[],\"outline\":[],"
                        "\"direction\":\"ltr\",\"search\":null,\"title\":\"\","
                        "\"description\":\"\",\"lang\":\"und\",\"url\":null,\"pdf\":null,"
                        "\"files\":[]};\n"));

    // A search file in parts: the list of the parts.
    CatalogueManifest parts;
    parts.search =
        QStringList{QStringLiteral("vellora-search-1.js"), QStringLiteral("vellora-search-2.js")};
    QCOMPARE(catalogueManifestScript(parts),
             QByteArray("window.velloraCatalogue = {\"version\":1,\"pages\":[],\"outline\":[],"
                        "\"direction\":\"ltr\",\"search\":[\"vellora-search-1.js\","
                        "\"vellora-search-2.js\"],\"title\":\"\",\"description\":\"\","
                        "\"lang\":\"und\",\"url\":null,\"pdf\":null,\"files\":[]};\n"));
}

void TestCatalogueManifest::sizesFromListing()
{
    const auto sizes = pageSizesFromListing("page=2 width=841.89 height=595.28\r\n"
                                            "page=1 width=612 height=792\n"
                                            "page=3 width=0 height=792\n"
                                            "page=4 width=-1 height=792\n"
                                            "page=9 width=10 height=10\n"
                                            "xpage=5 width=10 height=10\n",
                                            5);
    const std::vector<std::optional<QSizeF>> expected{QSizeF(612, 792), QSizeF(841.89, 595.28),
                                                      std::nullopt, std::nullopt, std::nullopt};
    QVERIFY(sizes == expected);
    QVERIFY(pageSizesFromListing("page=1 width=1 height=1", -3).empty());
}

void TestCatalogueManifest::unwritableFolderKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString html = dir.filePath(QStringLiteral("out/c.html"));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("out"))));
    QFile old(dir.filePath(QStringLiteral("out/vellora-catalogue.js")));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    {
        test::ReadOnlyFolder locked(dir.filePath(QStringLiteral("out")));
        try {
            WriteCatalogueManifest(html, {});
            QFAIL("a read-only folder took the manifest");
        } catch (const EVellora& error) {
            QCOMPARE(error.message(), "Impossible de créer le fichier " + old.fileName());
        }
    }
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
}

QTEST_GUILESS_MAIN(TestCatalogueManifest)
#include "tst_cataloguemanifest.moc"
