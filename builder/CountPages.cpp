#include "CountPages.h"

#include "ConverterCommand.h"
#include "Errors.h"
#include "HyperStr.h"
#include "Paths.h"
#include "Prompts.h"

#include <QRegularExpression>

namespace vellora {

QString PageCountText(const QString& memoText)
{
    int position = LastPos(QStringLiteral("page="), memoText) - 1;
    return TextBetween(memoText, QStringLiteral("page="), QStringLiteral(" "), position);
}

int PageCountValue(const QString& text)
{
    // Strictly a decimal integer: no blanks, line ends or other trailing text.
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    bool ok = false;
    const int value = decimal.match(text).hasMatch() ? text.toInt(&ok, 10) : 0;
    if (!ok)
        throw EVellora(QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(text));
    return value;
}

int CountPages(const MemoSink& memo, const RunCapturedOptions& options)
{
    const QString count = RunPageCount(ConverterFolders::user(), memo, options);
    prompts().warning(u"Number Pages:" + count);
    return PageCountValue(count);
}

QString RunPageCount(const ConverterFolders& folders, const MemoSink& memo,
                     const RunCapturedOptions& options)
{
    const ConverterCommand command = PageCountCommand(folders);
    QStringList memoLines{command.commandLine};
    const auto publish = [&] {
        if (memo)
            memo(memoLines.join(QStringLiteral("\r\n")));
    };
    try {
        RunCaptured(folders.tools, command.program, command.arguments, memoLines, options);
    } catch (...) {
        publish();
        throw;
    }
    publish();

    return PageCountText(memoLines.join(QStringLiteral("\r\n")));
}

} // namespace vellora
