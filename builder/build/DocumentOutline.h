#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QString>

namespace vellora {

// The reading direction, the metadata and the bookmarks of the converted document, as the
// converter's outline mode prints them.
struct DocumentOutline
{
    QString direction = QStringLiteral("ltr"); // "ltr" or "rtl"
    // The document's /Title, /Subject and /Lang as decoded text, empty when it has none.
    QString title;
    QString subject;
    QString lang;
    // [{"title":..., "page": n or null, "children":[...]}], pages within 1..pageCount
    QJsonArray outline;
};

// Reads the converter's output. Anything unreadable gives the defaults (left to right, no
// bookmarks); a page outside 1..pageCount becomes null; titles are kept as text only.
DocumentOutline ParseDocumentOutline(const QByteArray& output, int pageCount);

} // namespace vellora
