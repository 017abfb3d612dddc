#pragma once

#include <QLoggingCategory>

namespace vellora {

// Each subsystem logs under its own category, "vellora.<subsystem>". Warnings are on by default;
// the shell's start-up and single-copy events are info, quiet unless asked for with
// QT_LOGGING_RULES="vellora.shell.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcShell)

// Writes one warning line for the exception being handled, which a guarded handler then drops:
// "<where>: exception dropped: <its message>". Call it only inside a catch block.
void logDroppedException(const QLoggingCategory& category, const char* where);

} // namespace vellora
