#include "Log.h"

#include <QElapsedTimer>
#include <exception>

namespace vellora {

Q_LOGGING_CATEGORY(lcShell, "vellora.shell", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStartup, "vellora.startup", QtWarningMsg)

namespace {
// Started by the first step (main() marks it first).
QElapsedTimer& startupClock()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock;
}
} // namespace

void startupStep(const char* step)
{
    const qint64 ns = startupClock().nsecsElapsed();
    qCInfo(lcStartup, "%7.2f ms  %s", double(ns) / 1e6, step);
}

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
