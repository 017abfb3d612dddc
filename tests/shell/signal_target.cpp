// Vellora with one print file at start, for the signal tests: the real start-up, main window and
// shutdown, the print file from the test's own spool folder, and no print server.
//   signal_target <spool root> take|convert
// "take" takes a completed job on "vellora" as the intake does (preview, then conversion);
// "convert" converts the print file alone. Prints "running" once the job is under way.
#include "Application.h"
#include "FakeDesktop.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "JobInformation.h"
#include "Main.h"
#include "Paths.h"
#include "PrivateFolders.h"
#include "Startup.h"
#include "linux/LinuxSingleInstance.h"

#include <QTimer>
#include <cstdio>

using namespace vellora;

int main(int argc, char** argv)
{
    PrepareRuntimeFolder();
    PrepareInterpreterEnvironment();
    VelloraApplication app(argc, argv);
    if (argc != 3)
        return 2;
    paths::setSpoolRootForTesting(QString::fromLocal8Bit(argv[1]));
    const bool convertOnly = qstrcmp(argv[2], "convert") == 0;
    FakePrompts prompts;
    setPrompts(&prompts);
    FakeDesktop desktop;
    setDesktop(&desktop);
    LinuxSingleInstance instance(QStringLiteral("signal_target"));
    if (!claimOnlyCopy(instance))
        return 3;
    FakeTrayIcon tray;
    QTimer::singleShot(0, &app, [convertOnly] {
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget* widget : windows) {
            auto* window = qobject_cast<TF_Main*>(widget);
            if (!window)
                continue;
            if (convertOnly) {
                window->Button2Click();
            } else {
                TJobInformation job(0, QStringLiteral("vellora"), QStringLiteral("vellora:/"), {},
                                    {});
                job.JobId = 7;
                job.JobKey = QStringLiteral("urn:uuid:0007");
                job.DocumentName = QStringLiteral("Relevé\tjuin.ps");
                job.Status = jsCompleted;
                job.UserName = paths::CurrentUserName();
                window->JobNotify(job);
            }
            std::puts("running");
            std::fflush(stdout);
        }
    });
    return runVellora(tray, instance);
}
