#pragma once

#include <QString>

namespace vellora {

// The two kinds of double-quoted string literal in the files the viewer loads as scripts.
enum class ScriptDialect
{
    // JSON's own escapes (besides U+2028 and U+2029, which end a statement in older script
    // engines): the catalogue manifest, which the next build reads back as JSON.
    Json,
    // A literal that nothing in it can end early, neither the string nor an enclosing script
    // element: apostrophes, DEL, "</" and "<!--" are escaped too.
    InlineScript,
};

// `text` as a double-quoted JavaScript string literal.
QString javaScriptStringLiteral(const QString& text,
                                ScriptDialect dialect = ScriptDialect::InlineScript);

} // namespace vellora
