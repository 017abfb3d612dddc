#include "builder/build/DocumentOutline.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vellora {

namespace {

constexpr int kMaxDepth = 16;

QJsonArray cleanEntries(const QJsonArray& entries, int pageCount, int depth)
{
    QJsonArray clean;
    if (depth >= kMaxDepth)
        return clean;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const int page = entry.value(u"page").toInt(0);
        clean.append(QJsonObject{
            {QStringLiteral("title"), entry.value(u"title").toString()},
            {QStringLiteral("page"),
             page >= 1 && page <= pageCount ? QJsonValue(page) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("children"),
             cleanEntries(entry.value(u"children").toArray(), pageCount, depth + 1)}});
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
    result.outline = cleanEntries(object.value(u"outline").toArray(), pageCount, 0);
    return result;
}

} // namespace vellora
