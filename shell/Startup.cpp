#include "Startup.h"

#include "Errors.h"
#include "Log.h"
#include "Main.h"
#include "Prompts.h"
#include "Resources.h"
#include "SingleInstance.h"
#include "builder/dialogs/Index.h"
#include "builder/dialogs/Options.h"
#include "linux/LinuxSingleInstance.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>

namespace vellora {

void PrepareRuntimeFolder()
{
    const QString current = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!current.isEmpty() && QFileInfo(current).isDir())
        return;
    try {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(LinuxSingleInstance::runtimeFolder()));
    } catch (const EVellora&) {
        // No safe folder: Qt makes its own and says so; the program runs all the same.
    }
}

QString executableFileName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

bool claimOnlyCopy(SingleInstance& instance)
{
    bool first = false;
    try {
        first = instance.claim();
    } catch (const EVellora& error) {
        prompts().error(QStringLiteral("Unable to verify that Mutex already exists! An Exception "
                                       "was raised with the message : ") +
                        error.message());
        return false;
    }
    if (!first) {
        qCInfo(lcShell, "another copy is running, asking it to come forward");
        instance.askRunningCopyToRaise();
    }
    return first;
}

int runVellora(TrayIcon& tray, SingleInstance& instance)
{
    initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/window.svg")));
    TF_Main F_Main(tray);
    TForm1 Form1(F_Main);
    F_Main.setOptionsDialog(&Form1);
    TindexForm indexForm;
    setIndexForm(&indexForm);
    QObject::connect(&instance, &SingleInstance::raiseRequested, &F_Main,
                     &TF_Main::RaiseFromOtherCopy);
    QObject::connect(
        &F_Main, &TF_Main::programEnding, &F_Main, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    return QApplication::exec();
}

} // namespace vellora
