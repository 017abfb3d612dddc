#include "StopSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vellora {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_received = 0;

void setDisposition(void (*handler)(int))
{
    struct sigaction action
    {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
}

extern "C" void onStopSignal(int signal)
{
    if (g_received != 0) {
        // The user asks again: no more waiting. Delivered as soon as this handler returns.
        setDisposition(SIG_DFL);
        ::raise(signal);
        return;
    }
    g_received = signal;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(std::function<void(int)> stop, QObject* parent)
    : QObject(parent), m_stop(std::move(stop))
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default action: the program still ends
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::onSignal);
    setDisposition(onStopSignal);
}

StopSignals::~StopSignals()
{
    setDisposition(SIG_DFL);
    delete m_notifier;
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int StopSignals::received()
{
    return g_received;
}

void StopSignals::onSignal()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
    }
    if (m_stop)
        m_stop(g_received);
}

QString signalName(int signal)
{
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QString::number(signal);
    }
}

} // namespace vellora
