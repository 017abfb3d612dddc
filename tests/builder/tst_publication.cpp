// What a catalogue says about itself and its text version, from hand-made inputs: the
// document's identity with its fallbacks, escaping of hostile text, the text page of a page
// script, the catalogue page's filled places, the publication address, the site map, the cover.
#include "builder/build/CataloguePage.h"
#include "builder/build/CoverImage.h"
#include "builder/build/DocumentIdentity.h"
#include "builder/build/HtmlText.h"
#include "builder/build/Publication.h"
#include "builder/build/SearchFile.h"
#include "builder/build/TextPages.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>

using namespace vellora;

class TestPublication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identity_data();
    void identity();
    void escaping();
    void textPage();
    void cataloguePage_data();
    void cataloguePage();
    void address_data();
    void address();
    void sitemapAndPdfName();
    void cover();
};

void TestPublication::identity_data()
{
    QTest::addColumn<QStringList>("metadata"); // title, subject, lang, first bookmark
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("expected"); // title, description, lang
    const QStringList texts{"\n  Première ligne\tde texte \nsuite", "page deux"};
    QTest::newRow("metadata") << QStringList{"Titre\x01 \"à\"\n</script>", "Sujet\x7f", "en-GB",
                                             "Signet"}
                              << texts << QStringList{"Titre \"à\" </script>", "Sujet", "en-GB"};
    QTest::newRow("first bookmark, text as description")
        << QStringList{" \t", "", "fr_FR", "Signet\u2028un"} << texts
        << QStringList{"Signet un", "Première ligne de texte suite page deux", "und"};
    QTest::newRow("first line") << QStringList{"", "", "", ""} << texts
                                << QStringList{"Première ligne de texte",
                                               "Première ligne de texte suite page deux", "und"};
    QTest::newRow("nothing") << QStringList{"", "", "x", ""} << QStringList{"", ""}
                             << QStringList{"Catalogue", "", "und"};
    // 300 "é" and a pair of surrogates at the cut: never split.
    QTest::newRow("huge") << QStringList{QString(199, u'é') + "\U0001F600" + QString(100, u'x'),
                                         QString(158, u'a') + "\U0001F600b", "de", ""}
                          << QStringList()
                          << QStringList{QString(199, u'é') + u'…', QString(158, u'a') + u'…',
                                         "de"};
}

void TestPublication::identity()
{
    QFETCH(QStringList, metadata);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, expected);
    const DocumentIdentity identity =
        documentIdentity(metadata[0], metadata[1], metadata[2], metadata[3], texts);
    QCOMPARE((QStringList{identity.title, identity.description, identity.lang}), expected);
}

void TestPublication::escaping()
{
    QCOMPARE(htmlEscaped("<a href='x'>\"&amp;\"</a>\x01\x1f\t\u0085é"),
             "&lt;a href=&#39;x&#39;&gt;&quot;&amp;amp;&quot;&lt;/a&gt;\té");
    QCOMPARE(fileNameUrl("mon catalogue #2 100%?.html"), "mon%20catalogue%20%232%20100%25%3F.html");
}

// Two paragraphs (the second after a gap), a row continued to the right, links inside and
// outside the text, and links that must not become links.
void TestPublication::textPage()
{
    const QByteArray script =
        "velloraPage(4, {\"width\":600,\"height\":800,\"lines\":["
        "{\"box\":[50,50,200,12],\"words\":[[\"Chaises\",0,40],[\"</script>\",45,50]]},"
        "{\"box\":[50,64,100,12],\"words\":[[\"\\\"tables\\\"\",0,40]]},"
        "{\"box\":[160,64,40,12],\"words\":[[\"&\",0,10]]},"
        "{\"box\":[50,120,200,12],\"words\":[[\"Voir\",0,30],[\"page\",35,30],[\"3\",70,8]]},"
        "{\"box\":[50,140,200,20],\"rtl\":true,\"words\":[[\"site\",0,30],[\"mal\",40,30]]}],"
        "\"links\":[{\"box\":[80,115,40,20],\"page\":4},{\"box\":[45,138,40,24],"
        "\"uri\":\"https://exemple.fr/a?b=1&c=\\\"2\\\"\"},{\"box\":[85,138,40,24],"
        "\"uri\":\"javascript:alert(1)\"},{\"box\":[0,0,1,1],\"uri\":\"mailto:a@b.fr\"},"
        "{\"box\":[0,700,10,10],\"page\":9}]});\n";
    const QJsonObject data = PageScriptData(script);
    QCOMPARE(textParagraphs(data),
             (QStringList{"Chaises </script> \"tables\" &", "Voir page 3", "site mal"}));
    TextPageFacts facts;
    facts.identity = {"T<i>\"", "D", "en"};
    facts.catalogueName = "mon catalogue.html";
    facts.pageCount = 5;
    facts.firstPage = 2; // document page 4 is catalogue page 3; page 9 is outside
    facts.rightToLeft = true;
    facts.url = "https://exemple.fr/c/";
    QCOMPARE(QString::fromUtf8(textPageHtml(data, 3, facts, QSize(600, 800))),
             "<!DOCTYPE html>\n<html lang=\"fr\" dir=\"rtl\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
             "<title>T&lt;i&gt;&quot; – page 3 sur 5</title>\n"
             "<meta name=\"description\" content=\"Chaises &lt;/script&gt; &quot;tables&quot; "
             "&amp; Voir page 3 site mal\">\n"
             "<link rel=\"canonical\" href=\"https://exemple.fr/c/page3.html\">\n"
             "<link rel=\"stylesheet\" href=\"vellora-text.css\">\n</head>\n<body>\n<header>\n"
             "<h1 lang=\"en\">T&lt;i&gt;&quot;</h1>\n<p>Page 3 sur 5</p>\n</header>\n"
             "<nav aria-label=\"Pages du catalogue\">\n<ul>\n"
             "<li><a href=\"page2.html\" rel=\"prev\">Page précédente</a></li>\n"
             "<li><a href=\"mon%20catalogue.html#page=3\">Ouvrir dans le catalogue</a></li>\n"
             "<li><a href=\"page4.html\" rel=\"next\">Page suivante</a></li>\n</ul>\n</nav>\n"
             "<main lang=\"en\">\n<img src=\"page3-m.jpg\" width=\"600\" height=\"800\" "
             "lang=\"fr\" alt=\"Image de la page 3\">\n"
             "<p>Chaises &lt;/script&gt; &quot;tables&quot; &amp;</p>\n"
             "<p>Voir <a href=\"page3.html\">page</a> 3</p>\n"
             "<p><a href=\"https://exemple.fr/a?b=1&amp;c=%222%22\">site</a> mal</p>\n"
             "<h2 lang=\"fr\">Autres liens de la page</h2>\n<ul>\n"
             "<li><a href=\"mailto:a@b.fr\">a@b.fr</a></li>\n</ul>\n</main>\n</body>\n</html>\n");
    // A page without text or image, and a script that is not one.
    const QString empty = QString::fromUtf8(textPageHtml(PageScriptData("alert(1)"), 5, facts, {}));
    QVERIFY(empty.contains("<main lang=\"en\">\n<p lang=\"fr\">Cette page ne contient pas de "
                           "texte.</p>\n</main>"));
    QVERIFY(!empty.contains("rel=\"next\""));
}

void TestPublication::cataloguePage_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    const QString start = "<html lang=\"fr\"><head>\n<meta charset=\"utf-8\">\n"
                          "<meta name=\"description\" content=\"&lt;b&gt; &amp;\">\n"
                          "<title>A &lt;/title&gt; --&gt; &quot;B&quot;</title>\n";
    const QString end =
        "<noscript><style>#text-version { flex: none; max-height: 60vh; overflow: auto; "
        "padding: 0 16px 8px; background: #fff; } #text-version ol { columns: 7em; }"
        "</style></noscript>\n"
        "<!-- Pour intégrer ce catalogue dans une autre page (plein écran permis) :\n"
        "<iframe src=\"%1\" title=\"A &lt;/title&gt; &#45;&#45;&gt; &quot;B&quot;\" width=\"960\" "
        "height=\"640\" style=\"border: 0; max&#45;width: 100%\" allow=\"fullscreen\" "
        "allowfullscreen></iframe>\n-->\n<link rel=\"icon\">\n</head><body>\n"
        "<noscript><nav id=\"text-version\" aria-label=\"Version texte du catalogue\">\n"
        "<h1 lang=\"und\">A &lt;/title&gt; --&gt; &quot;B&quot;</h1>\n"
        "<p>La version texte du catalogue, page par page :</p>\n<ol>\n"
        "<li><a href=\"page1.html\">Page 1</a></li>\n<li><a href=\"page2.html\">Page 2</a></li>\n"
        "</ol>\n</nav></noscript>\n<nav></nav></body></html>\n";
    QTest::newRow("without address") << QString() << start + end.arg("c%26t%C3%A9.html");
    QTest::newRow("with address")
        << "https://ex.fr/a/"
        << start +
               "<link rel=\"canonical\" href=\"https://ex.fr/a/c%26t%C3%A9.html\">\n"
               "<meta property=\"og:type\" content=\"website\">\n"
               "<meta property=\"og:title\" content=\"A &lt;/title&gt; --&gt; &quot;B&quot;\">\n"
               "<meta property=\"og:description\" content=\"&lt;b&gt; &amp;\">\n"
               "<meta property=\"og:url\" content=\"https://ex.fr/a/c%26t%C3%A9.html\">\n"
               "<meta property=\"og:image\" content=\"https://ex.fr/a/vellora-cover.jpg\">\n"
               "<meta property=\"og:image:width\" content=\"1200\">\n"
               "<meta property=\"og:image:height\" content=\"630\">\n"
               "<meta name=\"twitter:card\" content=\"summary_large_image\">\n"
               "<meta name=\"twitter:title\" content=\"A &lt;/title&gt; --&gt; "
               "&quot;B&quot;\">\n"
               "<meta name=\"twitter:description\" content=\"&lt;b&gt; &amp;\">\n"
               "<meta name=\"twitter:image\" content=\"https://ex.fr/a/vellora-cover.jpg\">\n" +
               end.arg("https://ex.fr/a/c%26t%C3%A9.html");
}

void TestPublication::cataloguePage()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    const QByteArray viewer = "<html lang=\"fr\"><head>\n<meta charset=\"utf-8\">\n"
                              "<!--vellora:head-->\n<title>Catalogue</title>\n"
                              "<!--/vellora:head-->\n<link rel=\"icon\">\n</head><body>\n"
                              "<!--vellora:noscript-->\n<nav></nav></body></html>\n";
    const CataloguePageFacts facts{{"A </title> --> \"B\"", "<b> &", "und"}, "c&té.html", 2, url};
    QCOMPARE(QString::fromUtf8(filledCataloguePage(viewer, facts)), expected);
    // A viewer page without the places is copied as it stands.
    QCOMPARE(filledCataloguePage("<html>viewer</html>", facts), QByteArray("<html>viewer</html>"));
}

void TestPublication::address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: refused
    QTest::newRow("final slash added") << "https://exemple.fr/catalogue"
                                       << "https://exemple.fr/catalogue/";
    QTest::newRow("http, kept") << "http://exemple.fr/"
                                << "http://exemple.fr/";
    QTest::newRow("upper-case scheme") << "HTTPS://exemple.fr/a/"
                                       << "https://exemple.fr/a/";
    QTest::newRow("letters encoded") << "https://exemple.fr/été"
                                     << "https://exemple.fr/%C3%A9t%C3%A9/";
    QTest::newRow("blank inside") << "https://exemple.fr/a b/" << QString();
    for (const char* bad :
         {"ftp://exemple.fr/", "/catalogue/", "exemple.fr/catalogue/", "javascript:alert(1)//",
          "https://", "https:///x/", "https://exemple.fr/?q=1", "https://exemple.fr/#x",
          "https://exemple.fr/\"><script>/", "https://exemple.fr/\n/", ""})
        QTest::newRow(bad) << bad << QString();
}

void TestPublication::address()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(publicationAddress(text).value_or(QString()), expected);
}

void TestPublication::sitemapAndPdfName()
{
    QCOMPARE(sitemapXml("https://ex.fr/a&b/", "c t.html", 2),
             QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                        "<url><loc>https://ex.fr/a&amp;b/c%20t.html</loc></url>\n"
                        "<url><loc>https://ex.fr/a&amp;b/page1.html</loc></url>\n"
                        "<url><loc>https://ex.fr/a&amp;b/page2.html</loc></url>\n</urlset>\n"));
    QCOMPARE(pdfCopyName("/x/brochure.v2.html"), "brochure.v2.pdf");
    QCOMPARE(pdfCopyName("/x/index"), "index.pdf");
}

// A page of noise is the hardest to compress: the cover still keeps its size and its limit.
void TestPublication::cover()
{
    QImage noise(1236, 1600, QImage::Format_RGB32);
    QRandomGenerator random(24);
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = random.generate() | 0xFF000000;
    }
    for (const QImage& page : {noise, QImage()}) {
        QByteArray bytes = coverJpeg(page);
        QVERIFY(bytes.size() <= 200 * 1024);
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "jpeg");
        QCOMPARE(reader.size(), QSize(1200, 630));
        const QImage cover = reader.read();
        // The page stands in the middle (noise averages mid-grey), the background at the edges.
        const auto meanRed = [&](int left, int top) {
            int sum = 0;
            for (int y = top; y < top + 20; ++y)
                for (int x = left; x < left + 20; ++x)
                    sum += QColor(cover.pixel(x, y)).red();
            return sum / 400;
        };
        QVERIFY(std::abs(meanRed(2, 2) - 0xe8) < 6);
        QCOMPARE(std::abs(meanRed(590, 305) - 0xe8) < 6, page.isNull());
    }
}

QTEST_GUILESS_MAIN(TestPublication)
#include "tst_publication.moc"
