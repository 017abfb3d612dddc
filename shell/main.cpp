// Vellora: the real dialogs, desktop, notification area and single-copy lock, wired together.
#include "Application.h"
#include "LinuxDesktop.h"
#include "Log.h"
#include "PrivateFolders.h"
#include "QtPrompts.h"
#include "QtTrayIcon.h"
#include "Startup.h"
#include "linux/LinuxSingleInstance.h"

int main(int argc, char* argv[])
{
    // Both change the environment (the runtime folder, the interpreter's TMPDIR): only while
    // no other thread runs.
    vellora::startupStep("main");
    vellora::PrepareRuntimeFolder();
    vellora::PrepareInterpreterEnvironment();
    vellora::startupStep("runtime and interpreter folders");
    vellora::VelloraApplication app(argc, argv);
    vellora::startupStep("application object");
    vellora::QtPrompts prompts;
    vellora::setPrompts(&prompts);
    vellora::LinuxDesktop desktop;
    vellora::setDesktop(&desktop);

    vellora::LinuxSingleInstance instance(vellora::executableFileName());
    if (!vellora::claimOnlyCopy(instance))
        return 0;
    vellora::startupStep("single-copy lock");

    vellora::QtTrayIcon tray;
    return vellora::runVellora(tray, instance);
}
