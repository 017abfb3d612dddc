#pragma once

#include <QLoggingCategory>

namespace vellora {

// Start-up and single-copy events, quiet unless asked for with
// QT_LOGGING_RULES="vellora.shell.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcShell)

} // namespace vellora
