#include "builder/build/HtmlText.h"

#include <QUrl>

namespace vellora {

QString htmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        case u'\'':
            out += u"&#39;";
            break;
        default:
            if ((c.unicode() < 0x20 && c != u'\t' && c != u'\n') ||
                (c.unicode() >= 0x7F && c.unicode() <= 0x9F) || c.unicode() == 0xFFFE ||
                c.unicode() == 0xFFFF)
                break;
            out += c;
        }
    }
    return out;
}

QString fileNameUrl(const QString& fileName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(fileName));
}

} // namespace vellora
