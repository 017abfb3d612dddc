#include "builder/build/TextPages.h"

#include "builder/build/AtomicFile.h"
#include "builder/build/HtmlText.h"
#include "builder/build/SearchFile.h"

#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QLineF>
#include <QRectF>
#include <QUrl>
#include <optional>

namespace vellora {

namespace {

// A page script larger than this is not one the converter wrote.
constexpr qint64 kLargestPageScript = 64 * 1024 * 1024;

struct Word
{
    QString text;
    int link = -1; // index in the page's links, -1 for none
};

struct Line
{
    QList<Word> words;
    QRectF box; // in the line's own frame: (x, y) where it starts, w along, h across
    QPointF dir{1, 0};
    bool rightToLeft = false;
};

struct Link
{
    QRectF box;
    QString href; // empty: leads nowhere the reader may go
    QString name; // how it reads when no word of the page carries it
};

double number(const QJsonArray& array, qsizetype i)
{
    return array.at(i).toDouble(0);
}

// Where the link leads: a text page of this catalogue, or a web or mail address. Anything
// else a document may hold (javascript:, file:, data:) leads nowhere.
std::optional<Link> linkOf(const QJsonObject& link, const TextPageFacts& facts)
{
    const QJsonArray box = link.value(u"box").toArray();
    if (box.size() != 4)
        return std::nullopt;
    Link result{QRectF(number(box, 0), number(box, 1), number(box, 2), number(box, 3)), {}, {}};
    if (link.value(u"page").isDouble()) {
        const int page = link.value(u"page").toInt() - facts.firstPage + 1;
        if (page < 1 || page > facts.pageCount)
            return std::nullopt;
        result.href = TextPageFile(page);
        result.name = QStringLiteral("Page %1").arg(page);
        return result;
    }
    const QString uri = link.value(u"uri").toString();
    const QUrl url(uri, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https" && scheme != u"mailto") ||
        (scheme != u"mailto" && url.host().isEmpty()))
        return std::nullopt;
    result.href = QString::fromLatin1(url.toEncoded());
    result.name = scheme == u"mailto" ? url.path() : url.toDisplayString();
    return result;
}

QList<Link> linksOf(const QJsonObject& script, const TextPageFacts& facts)
{
    QList<Link> links;
    for (const QJsonValue& value : script.value(u"links").toArray()) {
        if (const auto link = linkOf(value.toObject(), facts))
            links.append(*link);
    }
    return links;
}

// The lines of the script, each word with the link over its middle, if any.
QList<Line> linesOf(const QJsonObject& script, const QList<Link>& links)
{
    QList<Line> lines;
    for (const QJsonValue& value : script.value(u"lines").toArray()) {
        const QJsonObject object = value.toObject();
        const QJsonArray box = object.value(u"box").toArray();
        if (box.size() != 4)
            continue;
        Line line;
        line.box = QRectF(number(box, 0), number(box, 1), number(box, 2), number(box, 3));
        if (const QJsonArray dir = object.value(u"dir").toArray(); dir.size() == 2)
            line.dir = QPointF(number(dir, 0), number(dir, 1));
        line.rightToLeft = object.value(u"rtl").toBool();
        const QPointF across(-line.dir.y(), line.dir.x());
        for (const QJsonValue& wordValue : object.value(u"words").toArray()) {
            const QJsonArray word = wordValue.toArray();
            const QString text = singleLine(word.at(0).toString());
            if (text.isEmpty())
                continue;
            const double along = number(word, 1) + number(word, 2) / 2;
            const QPointF middle =
                line.box.topLeft() + along * line.dir + line.box.height() / 2 * across;
            int link = -1;
            for (qsizetype i = 0; i < links.size() && link < 0; ++i) {
                if (links[i].box.contains(middle))
                    link = int(i);
            }
            line.words.append({text, link});
        }
        if (!line.words.isEmpty())
            lines.append(line);
    }
    return lines;
}

// Whether `line` goes on the paragraph that `previous` ends: same direction, about the same
// size, and just below it (a line further up starts a column).
bool continuesParagraph(const Line& previous, const Line& line)
{
    if (QLineF(QPointF(), previous.dir - line.dir).length() > 0.01 ||
        previous.rightToLeft != line.rightToLeft)
        return false;
    const double height = std::max(previous.box.height(), line.box.height());
    if (std::abs(previous.box.height() - line.box.height()) > 0.2 * height)
        return false;
    // Distances across the lines, in the direction they are stacked.
    const QPointF across(-line.dir.y(), line.dir.x());
    const double previousTop = QPointF::dotProduct(previous.box.topLeft(), across);
    const double top = QPointF::dotProduct(line.box.topLeft(), across);
    // The rest of the same row, further along (a table of contents, a split line).
    const double previousEnd =
        QPointF::dotProduct(previous.box.topLeft(), line.dir) + previous.box.width();
    if (std::abs(top - previousTop) < 0.3 * height &&
        QPointF::dotProduct(line.box.topLeft(), line.dir) >= previousEnd - 0.1 * height)
        return true;
    const double gap = top - (previousTop + previous.box.height());
    return top > previousTop && gap < 0.7 * height;
}

QList<QList<Word>> paragraphsOf(const QList<Line>& lines)
{
    QList<QList<Word>> paragraphs;
    const Line* previous = nullptr;
    for (const Line& line : lines) {
        if (!previous || !continuesParagraph(*previous, line))
            paragraphs.append(QList<Word>());
        paragraphs.last() += line.words;
        previous = &line;
    }
    return paragraphs;
}

QString paragraphHtml(const QList<Word>& words, const QList<Link>& links)
{
    QString html = QStringLiteral("<p>");
    for (qsizetype i = 0; i < words.size(); ++i) {
        const int link = words[i].link;
        if (i > 0)
            html += u' ';
        if (link >= 0 && (i == 0 || words[i - 1].link != link))
            html += QStringLiteral("<a href=\"%1\">").arg(htmlEscaped(links[link].href));
        html += htmlEscaped(words[i].text);
        if (link >= 0 && (i + 1 == words.size() || words[i + 1].link != link))
            html += u"</a>";
    }
    return html + u"</p>\n";
}

QString headHtml(int page, const TextPageFacts& facts, const QString& description)
{
    QString head = QStringLiteral("<!DOCTYPE html>\n<html lang=\"fr\"%1>\n<head>\n"
                                  "<meta charset=\"utf-8\">\n"
                                  "<meta name=\"viewport\" content=\"width=device-width, "
                                  "initial-scale=1\">\n")
                       .arg(facts.rightToLeft ? QStringLiteral(" dir=\"rtl\"") : QString());
    head += QStringLiteral("<title>%1 – page %2 sur %3</title>\n")
                .arg(htmlEscaped(facts.identity.title))
                .arg(page)
                .arg(facts.pageCount);
    head += QStringLiteral("<meta name=\"description\" content=\"%1\">\n")
                .arg(htmlEscaped(description));
    if (!facts.url.isEmpty())
        head += QStringLiteral("<link rel=\"canonical\" href=\"%1\">\n")
                    .arg(htmlEscaped(facts.url + TextPageFile(page)));
    head += QStringLiteral("<link rel=\"stylesheet\" href=\"%1\">\n</head>\n").arg(kTextStyleFile);
    return head;
}

QString navigationHtml(int page, const TextPageFacts& facts)
{
    QString nav = QStringLiteral("<nav aria-label=\"Pages du catalogue\">\n<ul>\n");
    if (page > 1)
        nav += QStringLiteral("<li><a href=\"%1\" rel=\"prev\">Page précédente</a></li>\n")
                   .arg(TextPageFile(page - 1));
    nav += QStringLiteral("<li><a href=\"%1#page=%2\">Ouvrir dans le catalogue</a></li>\n")
               .arg(htmlEscaped(fileNameUrl(facts.catalogueName)))
               .arg(page);
    if (page < facts.pageCount)
        nav += QStringLiteral("<li><a href=\"%1\" rel=\"next\">Page suivante</a></li>\n")
                   .arg(TextPageFile(page + 1));
    return nav + u"</ul>\n</nav>\n";
}

} // namespace

QString TextPageFile(int page)
{
    return QStringLiteral("page%1.html").arg(page);
}

QStringList textParagraphs(const QJsonObject& script)
{
    QStringList result;
    for (const QList<Word>& words : paragraphsOf(linesOf(script, {}))) {
        QStringList texts;
        for (const Word& word : words)
            texts.append(word.text);
        result.append(texts.join(u' '));
    }
    return result;
}

QByteArray textPageHtml(const QJsonObject& script, int page, const TextPageFacts& facts,
                        QSize image)
{
    const QList<Link> links = linksOf(script, facts);
    const QList<QList<Word>> paragraphs = paragraphsOf(linesOf(script, links));
    QString text;
    QStringList plain;
    QList<bool> linkUsed(links.size(), false);
    for (const QList<Word>& words : paragraphs) {
        text += paragraphHtml(words, links);
        for (const Word& word : words) {
            plain.append(word.text);
            if (word.link >= 0)
                linkUsed[word.link] = true;
        }
    }
    const QString pageText = plain.join(u' ');
    QString html = headHtml(page, facts,
                            pageText.isEmpty() ? facts.identity.description
                                               : shortened(pageText, kDescriptionLength));
    const QString lang = htmlEscaped(facts.identity.lang);
    html += QStringLiteral("<body>\n<header>\n<h1 lang=\"%1\">%2</h1>\n<p>Page %3 sur %4</p>\n"
                           "</header>\n")
                .arg(lang, htmlEscaped(facts.identity.title))
                .arg(page)
                .arg(facts.pageCount);
    html += navigationHtml(page, facts);
    html += QStringLiteral("<main lang=\"%1\">\n").arg(lang);
    if (!image.isEmpty())
        html += QStringLiteral("<img src=\"page%1-m.jpg\" width=\"%2\" height=\"%3\" lang=\"fr\" "
                               "alt=\"Image de la page %1\">\n")
                    .arg(page)
                    .arg(image.width())
                    .arg(image.height());
    html += text.isEmpty()
                ? QStringLiteral("<p lang=\"fr\">Cette page ne contient pas de texte.</p>\n")
                : text;
    QString otherLinks;
    for (qsizetype i = 0; i < links.size(); ++i) {
        if (!linkUsed[i])
            otherLinks += QStringLiteral("<li><a href=\"%1\">%2</a></li>\n")
                              .arg(htmlEscaped(links[i].href), htmlEscaped(links[i].name));
    }
    if (!otherLinks.isEmpty())
        html += QStringLiteral("<h2 lang=\"fr\">Autres liens de la page</h2>\n<ul>\n") +
                otherLinks + u"</ul>\n";
    html += u"</main>\n</body>\n</html>\n";
    return html.toUtf8();
}

QByteArray textStyleSheet()
{
    return QByteArrayLiteral(
        "html { font: 18px/1.5 system-ui, -apple-system, \"Segoe UI\", Roboto, sans-serif;\n"
        "    color: #111; background: #fff; }\n"
        "body { max-width: 46em; margin: 0 auto; padding: 1em; }\n"
        "h1 { font-size: 1.5em; line-height: 1.25; margin: 0.5em 0 0; overflow-wrap: anywhere; }\n"
        "header p { margin: 0.25em 0 1em; color: #444; }\n"
        "nav ul { display: flex; flex-wrap: wrap; gap: 0.5em 1.5em; list-style: none; margin: 0;\n"
        "    padding: 0.5em 0; border-block: 1px solid #ccc; }\n"
        "main { overflow-wrap: anywhere; }\n"
        "main img { display: block; max-width: 100%; height: auto; margin: 1em auto;\n"
        "    box-shadow: 0 1px 4px rgba(0, 0, 0, 0.3); }\n"
        "a { color: #0b4f9c; }\n"
        "a:focus-visible { outline: 3px solid #c35600; outline-offset: 2px; }\n"
        "@media (prefers-color-scheme: dark) {\n"
        "    html { color: #eee; background: #161616; }\n"
        "    header p { color: #bbb; }\n"
        "    a { color: #8cc4ff; }\n"
        "}\n");
}

QStringList WriteTextPages(const QString& folder, const TextPageFacts& facts)
{
    writeFileAtomically(folder + kTextStyleFile, textStyleSheet());
    QStringList written{kTextStyleFile};
    for (int page = 1; page <= facts.pageCount; ++page) {
        QFile file(folder + QStringLiteral("page%1.js").arg(page));
        QJsonObject script;
        if (file.open(QIODevice::ReadOnly) && file.size() <= kLargestPageScript)
            script = PageScriptData(file.readAll());
        const QSize image = QImageReader(folder + QStringLiteral("page%1-m.jpg").arg(page)).size();
        const QString name = TextPageFile(page);
        writeFileAtomically(folder + name,
                            textPageHtml(script, page, facts, image.isValid() ? image : QSize()));
        written.append(name);
    }
    return written;
}

} // namespace vellora
