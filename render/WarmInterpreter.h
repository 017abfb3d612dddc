#pragma once

#include "InterpreterProcess.h"

#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <mutex>
#include <sys/types.h>

namespace vellora {

// The interpreter program started ahead of its job, so that a print job does not wait for a
// process to start, link and load the library. It waits, set up, for one job; it serves that
// one and ends. Taking it starts the next one (when asked to keep one ready).
//
// The waiting program has its own private working folder and no document: it gets its file
// rules with its job. Used from the GUI thread and the run queue's worker, under its lock.
class TWarmInterpreter
{
public:
    // A program and its working folder, for one run.
    struct Child
    {
        std::unique_ptr<QTemporaryDir> work; // outlives the process: removed once it is gone
        TInterpreterProcess process;
        QString program;
        TInterpreterLimits limits;
        bool started = false;
    };

    TWarmInterpreter() = default;
    ~TWarmInterpreter() { Drop(); }
    TWarmInterpreter(const TWarmInterpreter&) = delete;
    TWarmInterpreter& operator=(const TWarmInterpreter&) = delete;

    // Starts a waiting program for `program` under `limits`, unless one is already waiting
    // for them. `expected`: the format word and resolution of the display job it will most
    // likely get, whose library instance it then makes ahead of the job.
    void Prestart(const QString& program, const TInterpreterLimits& limits,
                  const QStringList& expected = {});

    // The waiting program for a job, if it is alive and was started for `program` and
    // `limits`; otherwise a fresh start. `started` is false when no program could be started:
    // its process's Finish says why.
    std::unique_ptr<Child> Take(const QString& program, const TInterpreterLimits& limits);

    // Kills and reaps the waiting program, if any.
    void Drop();

    // The waiting program's process id, -1 when none is waiting.
    pid_t IdlePid();
    // Waits up to `timeout` for the waiting program to be set up.
    bool AwaitIdleReady(std::chrono::milliseconds timeout);

private:
    static std::unique_ptr<Child> start(const QString& program, const TInterpreterLimits& limits,
                                        const QStringList& expected = {});

    std::mutex m_mutex;
    std::unique_ptr<Child> m_idle;
};

} // namespace vellora
