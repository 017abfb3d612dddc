#pragma once

#include "InterpreterChannel.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace vellora {

// The limits of one interpreter run.
struct TInterpreterLimits
{
    // Address space of the interpreter program. 2 GiB: a page at the pixel budget (below)
    // takes about 110 MB in the library and as much again on its way out, and Ghostscript
    // itself needs a few hundred MB for large documents; a print file that wants more is not
    // one we can show.
    qint64 memoryBytes = qint64(2) * 1024 * 1024 * 1024;
    int cpuSeconds = 300;
    // Largest page, in pixels, rendered at the asked resolution: 36 million pixels, a page of
    // 6000 x 6000, more than an A0 poster at 120 dpi (4000 x 5600). A larger page is rendered
    // at the resolution that brings it within the budget.
    qint64 pixelBudget = 36'000'000;
    // A run that reports nothing (no page, no text, no piece of the document taken in) for
    // this long is stopped.
    std::chrono::milliseconds watchdog{60000};
};

// One run of the interpreter program, on the calling thread, in three steps: Spawn starts the
// program, ReadFrames takes in what it sends until the run ends or has to be cut short, and
// Finish reaps it and says how the run ended. Starting is kept apart from reading so that a
// program can be started before its work is known.
class TInterpreterProcess
{
public:
    enum class End
    {
        Finished, // it ran to its end and sent its report
        Stopped,  // the stop flag was set: it was killed
        Stalled,  // nothing came for the watchdog's time: it was killed
        Crashed,  // it died or exited without a report (a signal, a limit, a broken channel)
        NotStarted,
    };

    struct Result
    {
        End end = End::NotStarted;
        TRunReport report;     // meaningful when `end` is Finished
        QStringList arguments; // the interpreter's argument vector
        QString failure;       // what went wrong, in English, for the log
        int pagesReceived = 0;
        // The program said something beyond its readiness: a waiting one took its job. One
        // that died before that never saw the document.
        bool jobTaken = false;
    };

    using FrameHandler = std::function<void(TFrameKind, QByteArray&)>;

    TInterpreterProcess() = default;
    // A program still running here (an exception, a run never finished) is killed and reaped.
    ~TInterpreterProcess();
    TInterpreterProcess(const TInterpreterProcess&) = delete;
    TInterpreterProcess& operator=(const TInterpreterProcess&) = delete;

    // Starts `program` with `arguments` after the program name. `workFolder` becomes its
    // working folder and TMPDIR. False when it could not start: Finish says why.
    bool Spawn(const QString& program, const QStringList& arguments, const QString& workFolder,
               const TInterpreterLimits& limits);

    // Starts `program` ahead of its job: it sets itself up under `limits` (for the display
    // job `expected`, its format word and resolution, if given, with that job's library
    // instance ready), says it is ready and waits on its input for the job that SendJob gives
    // it. False when it could not start.
    bool SpawnWaiting(const QString& program, const QString& workFolder,
                      const TInterpreterLimits& limits, const QStringList& expected = {});
    // Hands a waiting program its one job: the mode and operands of its command line.
    bool SendJob(const QStringList& job);
    // Waits up to `timeout` for a waiting program to say it is ready; true once it has.
    bool AwaitReady(std::chrono::milliseconds timeout);
    // The program has ended (it is reaped then; Finish says how).
    bool Exited();
    pid_t Pid() const { return m_pid; }

    // Reads the program's frames until its channel closes and it exits, `stop` is set, nothing
    // comes for `watchdog`, or the frames are damaged. `frame` receives pages and text as they
    // come.
    void ReadFrames(const std::atomic<bool>& stop, std::chrono::milliseconds watchdog,
                    const FrameHandler& frame);

    // Reaps the program, killing it first unless it exited by itself, and says how the run
    // ended.
    Result Finish();

    // The three steps in turn.
    static Result Run(const QString& program, const QStringList& arguments,
                      const QString& workFolder, const TInterpreterLimits& limits,
                      const std::atomic<bool>& stop, const FrameHandler& frame);

    // The options that put the limits on the program's command line.
    static QStringList LimitArguments(const TInterpreterLimits& limits);

private:
    enum class Look
    {
        Nothing,
        Bytes,
        Closed,
    };
    Look look(TFrameReader& reader, std::vector<char>& buffer);
    void takeFrames(TFrameReader& reader, const FrameHandler& frame);
    bool exitedByItself();
    void reap();
    Result ending();

    bool start(const QString& program, const QStringList& arguments, const QString& workFolder,
               const TInterpreterLimits& limits, bool waiting);

    pid_t m_pid = -1;
    int m_channel = -1; // the read end; the program writes on its descriptor 3
    int m_job = -1;     // the write end of a waiting program's input
    bool m_ready = false;
    Result m_result;
    bool m_reported = false;
    bool m_exited = false;
    int m_status = 0;
    std::optional<End> m_killedFor;
};

} // namespace vellora
