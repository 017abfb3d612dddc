#include "builder/build/SearchFile.h"

#include "builder/build/AtomicFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

namespace vellora {

namespace {

// A page script larger than this is not one the converter wrote.
constexpr qint64 kLargestPageScript = 64 * 1024 * 1024;

} // namespace

QJsonObject PageScriptData(const QByteArray& script)
{
    static const QRegularExpression call(QStringLiteral("^velloraPage\\(\\d+, "));
    const QString text = QString::fromUtf8(script).trimmed();
    const QRegularExpressionMatch match = call.match(text);
    if (!match.hasMatch() || !text.endsWith(u");"))
        return {};
    const QString json = text.mid(match.capturedLength()).chopped(2);
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

QString PageScriptText(const QByteArray& script)
{
    QStringList lines;
    for (const QJsonValue& line : PageScriptData(script).value(u"lines").toArray()) {
        QStringList words;
        for (const QJsonValue& word : line.toObject().value(u"words").toArray()) {
            const QString wordText = word.toArray().at(0).toString();
            if (!wordText.isEmpty())
                words.append(wordText);
        }
        if (!words.isEmpty())
            lines.append(words.join(u' '));
    }
    return lines.join(u'\n');
}

QByteArray SearchScript(const QStringList& pageTexts, int firstPage)
{
    QJsonObject object{{QStringLiteral("pages"), QJsonArray::fromStringList(pageTexts)}};
    if (firstPage > 1)
        object.insert(QStringLiteral("first"), firstPage);
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    // JSON allows the line and paragraph separators raw in a string; older JavaScript engines
    // end a string literal there. They are escaped, as in the manifest. In compact JSON they
    // occur only inside strings.
    json.replace("\xE2\x80\xA8", "\\u2028").replace("\xE2\x80\xA9", "\\u2029");
    return "velloraSearch(" + json + ");\n";
}

QString SearchPartFile(int part)
{
    return QStringLiteral("vellora-search-%1.js").arg(part);
}

QStringList ReadPageTexts(const QString& folder, int pageCount)
{
    QStringList texts;
    for (int page = 1; page <= pageCount; ++page) {
        QFile file(folder + u"page" + QString::number(page) + u".js");
        QString text;
        if (file.open(QIODevice::ReadOnly) && file.size() <= kLargestPageScript)
            text = PageScriptText(file.readAll());
        texts.append(text);
    }
    return texts;
}

QStringList WriteSearchFiles(const QString& folder, int pageCount)
{
    return WriteSearchFiles(folder, ReadPageTexts(folder, pageCount));
}

QStringList WriteSearchFiles(const QString& folder, const QStringList& texts)
{
    if (std::all_of(texts.cbegin(), texts.cend(),
                    [](const QString& text) { return text.isEmpty(); }))
        return {};
    const QByteArray whole = SearchScript(texts);
    if (whole.size() <= kSearchSplitBytes) {
        writeFileAtomically(folder + kSearchFile, whole);
        return {kSearchFile};
    }
    // Whole pages in each part, about a quarter of the split size each.
    QStringList names;
    qsizetype first = 0;
    while (first < texts.size()) {
        qsizetype end = first;
        qsizetype bytes = 0;
        while (end < texts.size() &&
               (end == first || bytes + texts[end].toUtf8().size() <= kSearchSplitBytes / 4)) {
            bytes += texts[end].toUtf8().size();
            ++end;
        }
        const QString name = SearchPartFile(int(names.size()) + 1);
        writeFileAtomically(folder + name,
                            SearchScript(texts.mid(first, end - first), int(first) + 1));
        names.append(name);
        first = end;
    }
    return names;
}

} // namespace vellora
