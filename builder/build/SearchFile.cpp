#include "builder/build/SearchFile.h"

#include "builder/build/AtomicFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace vellora {

namespace {

// A page script larger than this is not one the converter wrote.
constexpr qint64 kLargestPageScript = 64 * 1024 * 1024;

} // namespace

QString PageScriptText(const QByteArray& script)
{
    static const QRegularExpression call(QStringLiteral("^velloraPage\\(\\d+, "));
    const QString text = QString::fromUtf8(script).trimmed();
    const QRegularExpressionMatch match = call.match(text);
    if (!match.hasMatch() || !text.endsWith(u");"))
        return {};
    const QString json = text.mid(match.capturedLength()).chopped(2);
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
    QStringList lines;
    for (const QJsonValue& line : document.object().value(u"lines").toArray()) {
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

QByteArray SearchScript(const QStringList& pageTexts)
{
    const QJsonObject object{{QStringLiteral("pages"), QJsonArray::fromStringList(pageTexts)}};
    return "velloraSearch(" + QJsonDocument(object).toJson(QJsonDocument::Compact) + ");\n";
}

bool WriteSearchFile(const QString& folder, int pageCount)
{
    QStringList texts;
    bool anyText = false;
    for (int page = 1; page <= pageCount; ++page) {
        QFile file(folder + u"page" + QString::number(page) + u".js");
        QString text;
        if (file.open(QIODevice::ReadOnly) && file.size() <= kLargestPageScript)
            text = PageScriptText(file.readAll());
        anyText = anyText || !text.isEmpty();
        texts.append(text);
    }
    if (!anyText)
        return false;
    writeFileAtomically(folder + kSearchFile, SearchScript(texts));
    return true;
}

} // namespace vellora
