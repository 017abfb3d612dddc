#include "builder/build/DocumentOutline.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <utility>
#include <vector>

namespace vellora {

namespace {

// Levels nested in the index; bookmarks below the last are listed under their ancestor there.
constexpr int kMaxDepth = 16;

QJsonObject cleanEntry(const QJsonObject& entry, int pageCount, const QJsonArray& children)
{
    const int page = entry.value(u"page").toInt(0);
    // A NUL is a character of the title like any other, and one left out.
    QString title = entry.value(u"title").toString();
    title.remove(QChar(u'\0'));
    return QJsonObject{{QStringLiteral("title"), title},
                       {QStringLiteral("page"), page >= 1 && page <= pageCount
                                                    ? QJsonValue(page)
                                                    : QJsonValue(QJsonValue::Null)},
                       {QStringLiteral("children"), children}};
}

// Every entry of `entries` and below, in reading order, without nesting.
QJsonArray flatEntries(const QJsonArray& entries, int pageCount)
{
    QJsonArray flat;
    std::vector<std::pair<QJsonArray, qsizetype>> pending{{entries, 0}};
    while (!pending.empty()) {
        auto& [level, next] = pending.back();
        if (next >= level.size()) {
            pending.pop_back();
            continue;
        }
        const QJsonObject entry = level.at(next++).toObject();
        flat.append(cleanEntry(entry, pageCount, {}));
        const QJsonArray children = entry.value(u"children").toArray();
        if (!children.isEmpty())
            pending.emplace_back(children, 0);
    }
    return flat;
}

QJsonArray cleanEntries(const QJsonArray& entries, int pageCount, int depth)
{
    QJsonArray clean;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const QJsonArray children = entry.value(u"children").toArray();
        clean.append(cleanEntry(entry, pageCount,
                                depth + 1 < kMaxDepth ? cleanEntries(children, pageCount, depth + 1)
                                                      : flatEntries(children, pageCount)));
    }
    return clean;
}

} // namespace

DocumentOutline ParseDocumentOutline(const QByteArray& output, int pageCount)
{
    DocumentOutline result;
    const QJsonObject object = QJsonDocument::fromJson(output).object();
    if (object.value(u"direction").toString() == u"rtl")
        result.direction = QStringLiteral("rtl");
    result.title = object.value(u"title").toString();
    result.subject = object.value(u"subject").toString();
    result.lang = object.value(u"lang").toString();
    result.outline = cleanEntries(object.value(u"outline").toArray(), pageCount, 0);
    return result;
}

} // namespace vellora
