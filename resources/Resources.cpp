#include "Resources.h"

#include <QtGlobal>

// Outside any namespace, as Qt's resource initializer requires.
static void initVelloraResources()
{
    Q_INIT_RESOURCE(vellora);
}

namespace vellora {

void initResources()
{
    static const bool done = [] {
        initVelloraResources();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace vellora
