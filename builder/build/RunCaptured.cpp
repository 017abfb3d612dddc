#include "builder/build/RunCaptured.h"

#include "Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>
#include <sys/resource.h>

namespace vellora {

namespace {

// Waits for the child's end or the time-out; true when it ended in time.
bool waitForEnd(QProcess& process, std::chrono::milliseconds timeout)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    if (QCoreApplication::instance() == nullptr)
        return process.waitForFinished(static_cast<int>(timeout.count()));

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool ended = false;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError) {
        if (process.state() == QProcess::NotRunning) {
            ended = true;
            loop.quit();
        }
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeout);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return ended || process.state() == QProcess::NotRunning;
}

void stop(QProcess& process, std::chrono::milliseconds grace)
{
    process.terminate();
    if (!process.waitForFinished(static_cast<int>(grace.count()))) {
        process.kill();
        process.waitForFinished(-1);
    }
}

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EVellora(QStringLiteral("Impossible de lire la sortie du convertisseur : %1")
                           .arg(file.errorString()));
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineEnd);
    // A final line end closes the last line rather than opening an empty one.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString startFailureText(const QProcess& process, const QString& program,
                         const QString& currentDirectory)
{
    if (!QDir(currentDirectory).exists())
        return QStringLiteral("Le dossier de travail %1 n'existe pas.").arg(currentDirectory);
    return QStringLiteral("Impossible de lancer %1 : %2").arg(program, process.errorString());
}

} // namespace

bool RunCaptured(const QString& CurrentDirectory, const QString& program,
                 const QStringList& arguments, QStringList& Target,
                 const RunCapturedOptions& options, QString* startFailure)
{
    // A private file in the temporary folder: never shared between two runs, never in a
    // folder we may not write to. It disappears with this object whatever happens.
    QTemporaryFile capture(QDir::tempPath() + QStringLiteral("/vellora-capture-XXXXXX"));
    if (!capture.open())
        throw EVellora(QStringLiteral("Impossible de créer le fichier de capture : %1")
                           .arg(capture.errorString()));
    capture.close();

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(CurrentDirectory);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(capture.fileName(), QIODevice::Truncate);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setChildProcessModifier([] { ::setpriority(PRIO_PROCESS, 0, 19); });
    // Opened for reading: in a write-only or closed process Qt would send standard error to
    // the null device, against the forwarding asked for above.
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        if (startFailure)
            *startFailure = startFailureText(process, program, CurrentDirectory);
        return false;
    }

    if (!waitForEnd(process, options.timeout)) {
        stop(process, options.killGrace);
        throw EVellora(
            QStringLiteral("Le convertisseur n'a pas répondu en %1 secondes ; il a été arrêté.")
                .arg(options.timeout.count() / 1000.0));
    }

    Target += readLines(capture.fileName());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace vellora
