#include "Desktop.h"

#include <QtGlobal>

namespace vellora {

namespace {
Desktop* g_desktop = nullptr;
}

Desktop& desktop()
{
    Q_ASSERT_X(g_desktop, "vellora::desktop", "no desktop installed");
    return *g_desktop;
}

void setDesktop(Desktop* desktop) { g_desktop = desktop; }

} // namespace vellora
