#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace vellora {

// SIGTERM (the session ends), SIGINT (Ctrl+C) and SIGHUP (its terminal closed) end the program
// the way "Fermer Vellora" does: `stop` runs on the GUI thread with the signal's number, and
// the program winds down in its own time (the interpreter child killed, the print system's
// subscription cancelled, the temporary folders removed). A second signal meanwhile ends the
// process at once. One object at a time; its destruction gives the signals back their default
// action.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(std::function<void(int signal)> stop, QObject* parent = nullptr);
    ~StopSignals() override;

    // The first signal received, 0 while none was.
    static int received();

private:
    void onSignal();

    std::function<void(int)> m_stop;
    QSocketNotifier* m_notifier = nullptr;
};

// "SIGTERM", "SIGINT", "SIGHUP"; the number for any other.
QString signalName(int signal);

} // namespace vellora
