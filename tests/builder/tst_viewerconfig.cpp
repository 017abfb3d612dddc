// The viewer configuration "vellora.xml" and its script twin "vellora-config.js".
#include "Errors.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "builder/build/ViewerConfig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace vellora;

Q_DECLARE_METATYPE(vellora::CatalogueSettings)
Q_DECLARE_METATYPE(vellora::IndexGrid)
Q_DECLARE_METATYPE(std::optional<QSizeF>)

namespace {

// The ten button lines with the default tooltips, all shown.
QByteArray defaultButtonLines()
{
    return "<print_btn visible=\"true\" alt=\"Imprimer page\" />\r\n"
           "<zoomLess_btn visible=\"true\" alt=\"Zoom -\" />\r\n"
           "<zoomPlus_btn visible=\"true\" alt=\"Zoom +\" />\r\n"
           "<first_btn visible=\"true\" alt=\"Aller \xC3\xA0 la premi\xC3\xA8re page\" />\r\n"
           "<previous_btn visible=\"true\" alt=\"Aller \xC3\xA0 la page pr\xC3\xA9"
           "c\xC3\xA9\x64\x65nte\" />\r\n"
           "<next_btn visible=\"true\" alt=\"Aller \xC3\xA0 la page suivante\" />\r\n"
           "<last_btn visible=\"true\" alt=\"Aller \xC3\xA0 la derni\xC3\xA8re page\" />\r\n"
           "<index_btn visible=\"true\" alt=\"Afficher l'index\" />\r\n"
           "<pages_btn visible=\"true\" alt=\"Afficher les pages\" />\r\n"
           "<fullScreen_btn visible=\"true\" alt=\"Full screen Mode\" />\r\n";
}

const QByteArray kHead592 = "<content width=\"592\" height=\"790\" hcover=\"true\" "
                            "transparency=\"true\">\r\n"
                            "\t<page src=\"page1.swf\"\tpreLoad=\"false\" />\r\n";
const QByteArray kDefaultBg = "<bg color1=\"#FFFFFF\" color2=\"#C0C0C0\"/>\r\n";
const QByteArray kPage2 = "\t<page src=\"page2.swf\" preLoad=\"false\" canTear=\"true\" />\r\n";
const QByteArray kPage3 = "\t<page src=\"page3.swf\" preLoad=\"false\" canTear=\"true\" />\r\n";
const QByteArray kEnd = "</content>\r\n";

QByteArray configBytes(const CatalogueSettings& settings, const IndexGrid& index, int pages,
                       int width = 592, int height = 790, bool hardCover = true)
{
    return viewerConfigText(viewerConfigLines(settings, index, pages, width, height, hardCover));
}

} // namespace

class TestViewerConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configBytes_data();
    void configBytes();
    void contentSize_data();
    void contentSize();
    void firstPageSize_data();
    void firstPageSize();
    void attributeValues_data();
    void attributeValues();
    void hostileValuesStayWellFormed();
    void scriptHoldsTheSameText();
    void writesBothFilesBesideThePage();
    void readOnlyFolderWritesNothing();
};

void TestViewerConfig::configBytes_data()
{
    QTest::addColumn<CatalogueSettings>("settings");
    QTest::addColumn<IndexGrid>("index");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QByteArray>("expected");

    const CatalogueSettings defaults;
    const IndexGrid empty = IndexGrid::initial();

    QTest::newRow("defaults, three pages: sixteen lines")
        << defaults << empty << 3 << 592 << 790
        << kHead592 + kDefaultBg + defaultButtonLines() + kPage2 + kPage3 + kEnd;

    QTest::newRow("landscape size") << defaults << empty << 2 << 580 << 773
                                    << "<content width=\"580\" height=\"773\" hcover=\"true\" "
                                       "transparency=\"true\">\r\n"
                                       "\t<page src=\"page1.swf\"\tpreLoad=\"false\" />\r\n" +
                                           kDefaultBg + defaultButtonLines() + kPage2 + kEnd;

    QTest::newRow("no pages still lists page 1")
        << defaults << empty << 0 << 592 << 790
        << kHead592 + kDefaultBg + defaultButtonLines() + kEnd;

    CatalogueSettings unticked;
    unticked.button(ViewerButton::Print).visible = false;
    unticked.button(ViewerButton::FullScreen).visible = false;
    QByteArray untickedButtons = defaultButtonLines();
    untickedButtons.replace("<print_btn visible=\"true\"", "<print_btn visible=\"false\"");
    untickedButtons.replace("<fullScreen_btn visible=\"true\"",
                            "<fullScreen_btn visible=\"false\"");
    QTest::newRow("unticked buttons keep their tooltips")
        << unticked << empty << 1 << 592 << 790 << kHead592 + kDefaultBg + untickedButtons + kEnd;

    CatalogueSettings red;
    red.colorStart = toBgr(QColor(255, 0, 0));
    red.colorEnd = toBgr(QColor(0, 0, 255));
    QTest::newRow("pure red then pure blue: digits blue, green, red")
        << red << empty << 1 << 592 << 790
        << kHead592 + "<bg color1=\"#0000FF\" color2=\"#FF0000\"/>\r\n" + defaultButtonLines() +
               kEnd;

    CatalogueSettings dark;
    dark.colorStart = 0x000001;
    dark.colorEnd = 0x0A0B0C;
    QTest::newRow("small colour values keep six digits")
        << dark << empty << 1 << 592 << 790
        << kHead592 + "<bg color1=\"#000001\" color2=\"#0A0B0C\"/>\r\n" + defaultButtonLines() +
               kEnd;

    IndexGrid index = IndexGrid::initial();
    index.rows = {{"Page", "Description"}, {"3", "A"}, {"", "B"}, {"7", ""}};
    QTest::newRow("index rows: empty page cells left out")
        << defaults << index << 2 << 592 << 790
        << kHead592 + kDefaultBg + defaultButtonLines() + kPage2 +
               "<index page=\"3\" description=\"A\" />\r\n"
               "<index page=\"7\" description=\"\" />\r\n" +
               kEnd;

    IndexGrid header = IndexGrid::initial();
    header.rows = {{"12", "The header row is never an entry"}};
    QTest::newRow("header row is not an entry")
        << defaults << header << 1 << 592 << 790
        << kHead592 + kDefaultBg + defaultButtonLines() + kEnd;

    CatalogueSettings hostile;
    hostile.button(ViewerButton::Print).alt = QStringLiteral("a&b<c>d\"e'f");
    hostile.button(ViewerButton::Next).alt = QStringLiteral("un\tdeux\r\ntrois\nquatre\rcinq");
    hostile.button(ViewerButton::Last).alt = QStringLiteral("x") + QChar(1) + QChar(0x1B) + u"y";
    QByteArray hostileButtons = defaultButtonLines();
    hostileButtons.replace("alt=\"Imprimer page\"", "alt=\"a&amp;b&lt;c&gt;d&quot;e'f\"");
    hostileButtons.replace("alt=\"Aller \xC3\xA0 la page suivante\"",
                           "alt=\"un&#9;deux&#13;&#10;trois&#10;quatre&#13;cinq\"");
    hostileButtons.replace("alt=\"Aller \xC3\xA0 la derni\xC3\xA8re page\"", "alt=\"xy\"");
    IndexGrid hostileIndex = IndexGrid::initial();
    hostileIndex.rows = {{"Page", "Description"}, {"1\"/><x", "Prix & <tarifs>\r\nsuite"}};
    QTest::newRow("hostile values are escaped")
        << hostile << hostileIndex << 1 << 592 << 790
        << kHead592 + kDefaultBg + hostileButtons +
               "<index page=\"1&quot;/&gt;&lt;x\" description=\"Prix &amp; "
               "&lt;tarifs&gt;&#13;&#10;suite\" />\r\n" +
               kEnd;
}

void TestViewerConfig::configBytes()
{
    QFETCH(CatalogueSettings, settings);
    QFETCH(IndexGrid, index);
    QFETCH(int, pages);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QByteArray, expected);
    QCOMPARE(::configBytes(settings, index, pages, width, height), expected);
}

void TestViewerConfig::contentSize_data()
{
    QTest::addColumn<std::optional<QSizeF>>("firstPage");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("portrait A4") << std::optional<QSizeF>(QSizeF(595, 842)) << 592 << 790;
    QTest::newRow("landscape") << std::optional<QSizeF>(QSizeF(842, 595)) << 580 << 773;
    QTest::newRow("square counts as landscape")
        << std::optional<QSizeF>(QSizeF(500, 500)) << 580 << 773;
    QTest::newRow("barely portrait") << std::optional<QSizeF>(QSizeF(500, 500.5)) << 592 << 790;
    QTest::newRow("unknown first page") << std::optional<QSizeF>() << 592 << 790;
}

void TestViewerConfig::contentSize()
{
    QFETCH(std::optional<QSizeF>, firstPage);
    QFETCH(int, width);
    QFETCH(int, height);
    QCOMPARE(contentSizeFor(firstPage), (ContentSize{width, height}));
}

void TestViewerConfig::firstPageSize_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<std::optional<QSizeF>>("size");
    const QString command = "\"/d/vellora/pdf2swf\"  \"/d/out.pdf\" -I ";
    QTest::newRow("listing") << command + "\r\npage=1 width=595.28 height=841.89\r\npage=2 "
                                          "width=842 height=595\r\n"
                             << std::optional<QSizeF>(QSizeF(595.28, 841.89));
    QTest::newRow("only page 1 counts")
        << command + "\r\npage=12 width=10 height=20\r\npage=1 width=842 height=595"
        << std::optional<QSizeF>(QSizeF(842, 595));
    QTest::newRow("a path that imitates the listing")
        << "\"/x page=1 width=900 height=10\"  -I \r\n"
        << std::optional<QSizeF>();
    QTest::newRow("no sizes") << command + "\r\npage=1 \r\n" << std::optional<QSizeF>();
    QTest::newRow("empty") << QString() << std::optional<QSizeF>();
}

void TestViewerConfig::firstPageSize()
{
    QFETCH(QString, listing);
    QFETCH(std::optional<QSizeF>, size);
    QCOMPARE(firstPageSizeFromListing(listing), size);
}

void TestViewerConfig::attributeValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("apostrophe and accents stay") << "Afficher l'index éà€"
                                                 << "Afficher l'index éà€";
    QTest::newRow("entities") << "&<>\""
                              << "&amp;&lt;&gt;&quot;";
    QTest::newRow("already an entity is escaped again") << "&amp;"
                                                        << "&amp;amp;";
    QTest::newRow("line ends and tab") << "\t\r\n"
                                       << "&#9;&#13;&#10;";
    QTest::newRow("controls dropped")
        << QStringLiteral("a") + QChar(0) + QChar(0x7F) + QChar(0x85) + u"b" << "ab";
    QTest::newRow("emoji kept whole")
        << QString::fromUtf8("\xF0\x9F\x93\x98") << QString::fromUtf8("\xF0\x9F\x93\x98");
    QTest::newRow("lone surrogate dropped") << QString(QChar(0xD800)) + u"z" << "z";
}

void TestViewerConfig::attributeValues()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(xmlAttributeValue(value), expected);
}

void TestViewerConfig::hostileValuesStayWellFormed()
{
    CatalogueSettings settings;
    for (auto& button : settings.buttons)
        button.alt = QStringLiteral("<\"&'>") + QChar(2) + u"\r\n</content><x a=\"";
    IndexGrid index = IndexGrid::initial();
    index.rows.append(QStringList{"<a>", "\"&amp;\t"});
    const QByteArray text = ::configBytes(settings, index, 4);

    QXmlStreamReader xml(text);
    int elements = 0;
    QStringList alts;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            ++elements;
            if (xml.attributes().hasAttribute("alt"))
                alts.append(xml.attributes().value("alt").toString());
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(elements, 1 + 4 + 1 + 10 + 1); // content, pages, bg, buttons, index
    QCOMPARE(alts.size(), 10);
    // A reader sees the typed text back, line break included; only the control is gone.
    QCOMPARE(alts.first(), QStringLiteral("<\"&'>\r\n</content><x a=\""));
}

void TestViewerConfig::scriptHoldsTheSameText()
{
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    VELLORA_REQUIRE(!node.isEmpty(), "node");

    CatalogueSettings settings;
    settings.button(ViewerButton::Print).alt =
        QStringLiteral("\\\"'</script><!-- \u2028\u2029 ${x} `y` ") + QChar(0x7F) + u"é";
    IndexGrid index = IndexGrid::initial();
    index.rows.append(QStringList{"2", "</SCRIPT>\\u0041\r\n"});
    const QByteArray xml = ::configBytes(settings, index, 2);
    const QByteArray script = viewerConfigScript(xml);

    // Nothing in the script can close an HTML script element around it.
    QVERIFY(!script.toLower().contains("</"));
    QVERIFY(!script.contains("<!--"));
    QVERIFY(!script.contains("\xE2\x80\xA8")); // U+2028 ends a line in older engines
    QVERIFY(script.startsWith("window.velloraConfig = \""));
    QVERIFY(script.endsWith("\";\r\n"));
    QCOMPARE(script.count('\n'), 1);

    // A JavaScript engine reads back exactly the configuration's text.
    QTemporaryDir dir;
    QFile file(dir.filePath("config.js"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(script);
    file.close();
    QProcess run;
    run.start(node, {"-e",
                     "globalThis.window = globalThis; require(process.argv[1]);"
                     "process.stdout.write(Buffer.from(window.velloraConfig, 'utf8'));",
                     file.fileName()});
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(run.readAllStandardOutput(), xml);
}

void TestViewerConfig::writesBothFilesBesideThePage()
{
    QTemporaryDir dir;
    const QString html = dir.filePath("catalogue.htm");
    QFile old(dir.filePath("vellora.xml"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older configuration, much longer than the new one will be ............");
    old.close();

    WriteViewerConfig(html, 3, 592, 790, true, CatalogueSettings(), IndexGrid::initial());

    QFile xml(dir.filePath("vellora.xml"));
    QVERIFY(xml.open(QIODevice::ReadOnly));
    const QByteArray text = xml.readAll();
    QCOMPARE(text, ::configBytes(CatalogueSettings(), IndexGrid::initial(), 3));
    QFile js(dir.filePath("vellora-config.js"));
    QVERIFY(js.open(QIODevice::ReadOnly));
    QCOMPARE(js.readAll(), viewerConfigScript(text));
    // Published folders must be readable by a web server.
    QVERIFY(xml.permissions().testFlag(QFileDevice::ReadOther));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"vellora-config.js", "vellora.xml"}));
}

void TestViewerConfig::readOnlyFolderWritesNothing()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("locked");
    test::ReadOnlyFolder locked(folder);
    VELLORA_REQUIRE(locked.isReadOnly(), "a file system that can lock a folder for root");
    try {
        WriteViewerConfig(folder + "/catalogue.htm", 3, 592, 790, true, CatalogueSettings(),
                          IndexGrid::initial());
        QFAIL("a read-only folder was accepted");
    } catch (const EVellora& error) {
        QCOMPARE(error.message(), "Impossible de créer le fichier " + folder + "/vellora.xml");
    }
    QVERIFY(
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

QTEST_GUILESS_MAIN(TestViewerConfig)
#include "tst_viewerconfig.moc"
