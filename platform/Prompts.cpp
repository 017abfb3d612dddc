#include "Prompts.h"

#include <QtGlobal>

namespace vellora {

namespace {
Prompts* g_prompts = nullptr;
}

Prompts& prompts()
{
    Q_ASSERT_X(g_prompts, "vellora::prompts", "no prompts installed");
    return *g_prompts;
}

void setPrompts(Prompts* prompts) { g_prompts = prompts; }

} // namespace vellora
