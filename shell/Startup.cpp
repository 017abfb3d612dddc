#include "Startup.h"

#include "Errors.h"
#include "JobEvents.h"
#include "JobLog.h"
#include "Log.h"
#include "Main.h"
#include "Paths.h"
#include "Prompts.h"
#include "Resources.h"
#include "SingleInstance.h"
#include "StopSignals.h"
#include "WorkingFiles.h"
#include "builder/dialogs/CatalogueBuilder.h"
#include "builder/dialogs/Index.h"
#include "builder/dialogs/Options.h"
#include "linux/LinuxSingleInstance.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QScopeGuard>
#include <QTimer>
#include <memory>

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
    // Only the one running copy writes the job log.
    JobLog log(paths::JobLogFile());
    JobLog::setInstance(&log);
    JobLog::collectWarnings(&log);
    const auto forgetLog = qScopeGuard([] {
        JobLog::collectWarnings(nullptr);
        JobLog::setInstance(nullptr);
    });
    for (const QString& moved : MoveOldWorkingFiles())
        log.write(moved);
    log.write(QStringLiteral("Vellora démarre"));

    // A session that ends, Ctrl+C or a closed terminal: the same end as "Fermer Vellora".
    TF_Main* window = nullptr;
    StopSignals stops([&window](int signal) {
        logEvent(QStringLiteral("signal %1 reçu : Vellora se ferme").arg(signalName(signal)));
        if (window)
            window->FermerVellora1Click();
    });

    // Every error box is an event of the job log too.
    Prompts& shown = prompts();
    LoggedPrompts logged(shown);
    setPrompts(&logged);
    const auto showDirectly = qScopeGuard([&shown] { setPrompts(&shown); });

    initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/window.svg")));
    // The tray icon comes first; the window's controls, the monitor and the interpreter
    // component are made on the event loop's first turn, then the two dialogs, none of them
    // shown: the same order as before, with nothing to see in between.
    TF_Main F_Main(tray, nullptr, TF_Main::StartMode::TrayFirst);
    window = &F_Main;
    startupStep("main window");
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TindexForm> indexForm;
    QTimer::singleShot(0, &F_Main, [&] {
        if (TF_Main::Quitting)
            return;
        F_Main.ensureBuilt();
        Form1 = std::make_unique<TForm1>(F_Main);
        F_Main.setOptionsDialog(Form1.get());
        startupStep("options dialog");
        CatalogueBuilder& builder = CatalogueBuilder::of(*Form1);
        QObject::connect(&builder, &CatalogueBuilder::buildEnded, &F_Main,
                         [&builder](const BuildOutcome& outcome) {
                             const CatalogueBuilder::Summary& build = builder.lastBuild();
                             // A picked PDF is no print job's document.
                             const JobLog::Job job = build.source.isEmpty() && JobLog::instance()
                                                         ? JobLog::instance()->currentJob()
                                                         : JobLog::Job();
                             logJobEvent(job, jobevents::built(build, outcome));
                         });
        indexForm = std::make_unique<TindexForm>();
        setIndexForm(indexForm.get());
        startupStep("index editor");
    });
    const auto forgetDialogs = qScopeGuard([&] {
        setIndexForm(nullptr);
        F_Main.setOptionsDialog(nullptr);
    });
    QObject::connect(&instance, &SingleInstance::raiseRequested, &F_Main,
                     &TF_Main::RaiseFromOtherCopy);
    QObject::connect(
        &F_Main, &TF_Main::programEnding, &F_Main, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    const int status = QApplication::exec();
    log.write(QStringLiteral("Vellora se termine"));
    return status;
}

} // namespace vellora
