#include "Log.h"

#include <exception>

namespace vellora {

Q_LOGGING_CATEGORY(lcShell, "vellora.shell", QtWarningMsg)

namespace {
QString currentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& error) {
        // The program's own failures carry their text in UTF-8.
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}
} // namespace

void logDroppedException(const QLoggingCategory& category, const char* where)
{
    qCWarning(category, "%s: exception dropped: %s", where, qUtf8Printable(currentExceptionText()));
}

} // namespace vellora
