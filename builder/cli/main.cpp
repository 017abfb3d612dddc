// vellora-build: the catalogue build from the command line (see --help).
#include "CommandLine.h"
#include "CommandLineBuild.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace vellora;

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int signal)
{
    // Only the pipe here: the event loop does the work.
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = (text.endsWith(u'\n') ? text : text + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const cli::ParsedArguments parsed = cli::parseArguments(arguments);
    if (!parsed.request) {
        print(parsed.status == 0 ? stdout : stderr,
              parsed.status == 0 ? parsed.text : u"vellora-build : " + parsed.text);
        return parsed.status;
    }

    int stopSignal = 0;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        print(stderr, QStringLiteral("vellora-build : impossible de préparer l'arrêt par Ctrl+C"));
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    int status = 1;
    {
        cli::CommandLineBuild build(*parsed.request);
        QSocketNotifier stops(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&stops, &QSocketNotifier::activated, &build, [&] {
            unsigned char byte = 0;
            while (::read(g_signalPipe[0], &byte, 1) == 1)
                stopSignal = stopSignal ? stopSignal : byte;
            build.interrupt();
        });
        bool ended = false;
        QObject::connect(&build, &cli::CommandLineBuild::done, &app, [&](int result) {
            status = result;
            ended = true;
            app.exit(result);
        });
        build.start();
        if (!ended)
            app.exec();
    } // the work folder and every child process are gone from here on

    if (stopSignal) {
        // End by the signal itself, so that a shell loop around us stops too.
        std::signal(stopSignal, SIG_DFL);
        ::raise(stopSignal);
    }
    return status;
}
