#pragma once

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <cstdint>

namespace vellora {

// The job log (travaux.log in Vellora's state folder): what happened to each printout, for a
// user or an administrator who asks where it went. One line per event, fields separated by a
// tab: the time, the job's id, its key, its document name, then the event in French. A field
// that does not apply reads "-". Control characters, tabs and backslashes in the texts are
// escaped ("\n", "\t", "\\", "\x1b"), so one event is always one line, whatever a job title
// holds. Past 1 MB the log becomes travaux.log.1 (replacing the one before) and starts again.
//
// Any thread may write: the print monitor's threads report their swallowed failures too.
class JobLog
{
public:
    static constexpr qint64 kRotateBytes = 1024 * 1024;

    struct Job
    {
        std::uint32_t Id = 0; // 0: no job (a build from a chosen PDF, a start-up event)
        QString Key;
        QString DocumentName;
    };

    explicit JobLog(QString file);

    const QString& file() const { return m_file; }

    void write(const Job& job, const QString& event);
    void write(const QString& event) { write(Job(), event); }

    // The job whose document Vellora holds now (the last one taken): events that have no job
    // of their own, an error box or a build of the printed document, name it.
    void setCurrentJob(const Job& job);
    Job currentJob() const;

    // One line of the log, without its line end.
    static QString line(const QDateTime& when, const Job& job, const QString& event);
    static QString escaped(const QString& text);

    // The program's one log, set by main(); none in tests that do not ask for it.
    static JobLog* instance();
    static void setInstance(JobLog* log);

    // From now on, every warning of Vellora's logging categories ("vellora.*": a failure that
    // a handler dropped, for one) is written to `log` as well as where it went before.
    static void collectWarnings(JobLog* log);

private:
    void rotateFor(qint64 adding);

    QString m_file;
    mutable QMutex m_lock;
    Job m_current;
};

// Writes one event to the program's log, when there is one.
void logJobEvent(const JobLog::Job& job, const QString& event);
void logEvent(const QString& event);
// The same for the job Vellora holds now.
void logCurrentJobEvent(const QString& event);

} // namespace vellora
