#include "WarmInterpreter.h"

#include "PrivateFolders.h"

namespace vellora {

namespace {

// The limits that the program itself applies (the watchdog is ours).
bool sameLimits(const TInterpreterLimits& a, const TInterpreterLimits& b)
{
    return a.memoryBytes == b.memoryBytes && a.cpuSeconds == b.cpuSeconds &&
           a.pixelBudget == b.pixelBudget;
}

} // namespace

std::unique_ptr<TWarmInterpreter::Child> TWarmInterpreter::start(const QString& program,
                                                                 const TInterpreterLimits& limits,
                                                                 const QStringList& expected)
{
    auto child = std::make_unique<Child>();
    child->program = program;
    child->limits = limits;
    // The program's own working folder, also its TMPDIR, gone with whatever it left there.
    child->work =
        std::make_unique<QTemporaryDir>(InterpreterTempFolder() + QStringLiteral("/run-XXXXXX"));
    if (child->work->isValid())
        child->started =
            child->process.SpawnWaiting(program, child->work->path(), limits, expected);
    return child;
}

void TWarmInterpreter::Prestart(const QString& program, const TInterpreterLimits& limits,
                                const QStringList& expected)
{
    std::lock_guard lock(m_mutex);
    if (m_idle && m_idle->program == program && sameLimits(m_idle->limits, limits) &&
        !m_idle->process.Exited())
        return;
    m_idle = start(program, limits, expected);
    if (!m_idle->started)
        m_idle.reset();
}

std::unique_ptr<TWarmInterpreter::Child> TWarmInterpreter::Take(const QString& program,
                                                                const TInterpreterLimits& limits)
{
    std::unique_ptr<Child> idle;
    {
        std::lock_guard lock(m_mutex);
        idle = std::move(m_idle);
    }
    // One that died while it waited, or was started for other limits, is replaced by a fresh
    // start: the job waits for that start and no longer.
    if (idle && idle->program == program && sameLimits(idle->limits, limits) &&
        !idle->process.Exited())
        return idle;
    idle.reset();
    return start(program, limits);
}

void TWarmInterpreter::Drop()
{
    std::unique_ptr<Child> idle;
    {
        std::lock_guard lock(m_mutex);
        idle = std::move(m_idle);
    }
    // The process object kills and reaps it; the folder goes with it.
}

pid_t TWarmInterpreter::IdlePid()
{
    std::lock_guard lock(m_mutex);
    return m_idle ? m_idle->process.Pid() : -1;
}

bool TWarmInterpreter::AwaitIdleReady(std::chrono::milliseconds timeout)
{
    std::lock_guard lock(m_mutex);
    return m_idle && m_idle->process.AwaitReady(timeout);
}

} // namespace vellora
