#include "builder/build/ScriptString.h"

namespace vellora {

namespace {

// The two-character escape of `c`; empty when it has none in the dialect.
QStringView shortEscape(char16_t c, ScriptDialect dialect)
{
    switch (c) {
    case u'\\':
        return u"\\\\";
    case u'"':
        return u"\\\"";
    case u'\'':
        return dialect == ScriptDialect::InlineScript ? u"\\'" : QStringView();
    case u'\r':
        return u"\\r";
    case u'\n':
        return u"\\n";
    case u'\t':
        return u"\\t";
    default:
        return {};
    }
}

} // namespace

QString javaScriptStringLiteral(const QString& text, ScriptDialect dialect)
{
    const bool inScript = dialect == ScriptDialect::InlineScript;
    QString out = QStringLiteral("\"");
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (const QStringView escape = shortEscape(c, dialect); !escape.isEmpty()) {
            out += escape;
        } else if (inScript && c == u'<' &&
                   (text.mid(i + 1, 1) == u"/" || text.mid(i + 1, 3) == u"!--")) {
            // "</script" or "<!--" inside a script element would end it or change how it is
            // read.
            out += u"\\x3C";
        } else if (c < 0x20 || c == 0x2028 || c == 0x2029 || (inScript && c == 0x7F)) {
            out += u"\\u" + QString::number(c, 16).rightJustified(4, u'0');
        } else {
            out += text[i];
        }
    }
    out += u'"';
    return out;
}

} // namespace vellora
