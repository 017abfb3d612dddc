#pragma once

#include "ConverterCommand.h"
#include "RunCaptured.h"

#include <QString>
#include <functional>

namespace vellora {

// Receives the text of the page count's output buffer (Memo1 of the main window): the
// command text, then the converter's output, lines joined with CR LF.
using MemoSink = std::function<void(const QString& memoText)>;

// Asks the converter in the tool folder how many pages WorkPdf has, shows "Number Pages:"
// with the number, and returns it. Throws EVellora "'<text>' n'est pas une valeur entière
// correcte" when the output holds no number after the last "page=" (and EVellora when the
// converter does not answer in time).
int CountPages(const MemoSink& memo = {}, const RunCapturedOptions& options = {});

// The same run for any converter and work folder, without the box: returns the number text
// (PageCountText of the output buffer) for PageCountValue.
QString RunPageCount(const ConverterFolders& folders, const MemoSink& memo = {},
                     const RunCapturedOptions& options = {});

// The number text after the last "page=" of an output buffer, up to the next blank.
QString PageCountText(const QString& memoText);

// The number itself; throws the conversion error when the text is not a decimal integer.
int PageCountValue(const QString& text);

} // namespace vellora
