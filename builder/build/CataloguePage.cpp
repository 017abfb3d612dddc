#include "builder/build/CataloguePage.h"

#include "builder/build/HtmlText.h"
#include "builder/build/TextPages.h"

namespace vellora {

namespace {

QString meta(const char* kind, const char* name, const QString& content)
{
    return QStringLiteral("<meta %1=\"%2\" content=\"%3\">\n")
        .arg(QLatin1String(kind), QLatin1String(name), htmlEscaped(content));
}

QString pageAddress(const CataloguePageFacts& facts)
{
    return facts.url + fileNameUrl(facts.catalogueName);
}

} // namespace

QString embedSnippet(const CataloguePageFacts& facts)
{
    return QStringLiteral("<iframe src=\"%1\" title=\"%2\" width=\"960\" height=\"640\" "
                          "style=\"border: 0; max-width: 100%\" allow=\"fullscreen\" "
                          "allowfullscreen></iframe>")
        .arg(htmlEscaped(pageAddress(facts)), htmlEscaped(facts.identity.title));
}

QString cataloguePageHead(const CataloguePageFacts& facts)
{
    const DocumentIdentity& identity = facts.identity;
    QString head = meta("name", "description", identity.description);
    head += QStringLiteral("<title>%1</title>\n").arg(htmlEscaped(identity.title));
    if (!facts.url.isEmpty()) {
        const QString cover = facts.url + kCoverFile;
        head += QStringLiteral("<link rel=\"canonical\" href=\"%1\">\n")
                    .arg(htmlEscaped(pageAddress(facts)));
        head += meta("property", "og:type", QStringLiteral("website"));
        head += meta("property", "og:title", identity.title);
        head += meta("property", "og:description", identity.description);
        head += meta("property", "og:url", pageAddress(facts));
        head += meta("property", "og:image", cover);
        head += meta("property", "og:image:width", QStringLiteral("1200"));
        head += meta("property", "og:image:height", QStringLiteral("630"));
        head += meta("name", "twitter:card", QStringLiteral("summary_large_image"));
        head += meta("name", "twitter:title", identity.title);
        head += meta("name", "twitter:description", identity.description);
        head += meta("name", "twitter:image", cover);
    }
    // Without script the page list shows above the empty book and scrolls on its own.
    head += QStringLiteral(
        "<noscript><style>#text-version { flex: none; max-height: 60vh; overflow: auto; "
        "padding: 0 16px 8px; background: #fff; } #text-version ol { columns: 7em; }"
        "</style></noscript>\n");
    // A comment holds no "--": the snippet's dashes are written as references, which the
    // attribute values they stand in read back as dashes.
    QString snippet = embedSnippet(facts);
    snippet.replace(u'-', QStringLiteral("&#45;"));
    head += QStringLiteral("<!-- Pour intégrer ce catalogue dans une autre page (plein écran "
                           "permis) :\n%1\n-->\n")
                .arg(snippet);
    return head;
}

QString cataloguePageNoscript(const CataloguePageFacts& facts)
{
    QString html = QStringLiteral("<noscript><nav id=\"text-version\" aria-label=\"Version texte "
                                  "du catalogue\">\n<h1 lang=\"%1\">%2</h1>\n"
                                  "<p>La version texte du catalogue, page par page :</p>\n<ol>\n")
                       .arg(htmlEscaped(facts.identity.lang), htmlEscaped(facts.identity.title));
    for (int page = 1; page <= facts.pageCount; ++page)
        html += QStringLiteral("<li><a href=\"%1\">Page %2</a></li>\n")
                    .arg(TextPageFile(page))
                    .arg(page);
    return html + u"</ol>\n</nav></noscript>";
}

QByteArray filledCataloguePage(const QByteArray& viewerPage, const CataloguePageFacts& facts)
{
    QByteArray page = viewerPage;
    const qsizetype start = page.indexOf(kHeadStart);
    const qsizetype end = start < 0 ? -1 : page.indexOf(kHeadEnd, start);
    if (end >= 0) {
        qsizetype after = end + kHeadEnd.size();
        if (after < page.size() && page.at(after) == '\n')
            ++after;
        page.replace(start, after - start, cataloguePageHead(facts).toUtf8());
    }
    if (const qsizetype mark = page.indexOf(kNoscriptMark); mark >= 0)
        page.replace(mark, kNoscriptMark.size(), cataloguePageNoscript(facts).toUtf8());
    return page;
}

} // namespace vellora
