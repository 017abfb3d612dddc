#include "Log.h"

namespace vellora {

Q_LOGGING_CATEGORY(lcShell, "vellora.shell", QtWarningMsg)

} // namespace vellora
