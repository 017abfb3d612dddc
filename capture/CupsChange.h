#pragma once

#include "JobInformation.h"

#include <QList>
#include <QString>
#include <cstdint>

namespace vellora {

// One org.cups.cupsd.Notifier signal of cupsd's D-Bus notifier. Job signals carry every
// field; printer signals stop after `Accepting`; server signals carry only `Text`.
struct CupsNotifierSignal
{
    QString Member; // "JobCreated", "JobState", "JobProgress", "JobCompleted", ...
    QString Text;
    QString PrinterUri;
    QString PrinterName;
    std::uint32_t PrinterState = 0;
    QString PrinterStateReasons;
    bool Accepting = false;
    std::uint32_t JobId = 0;
    std::uint32_t JobState = 0;
    QString JobStateReasons;
    QString JobName;
    std::uint32_t Impressions = 0;

    bool operator==(const CupsNotifierSignal&) const = default;
    bool IsJobSignal() const { return Member.startsWith(QLatin1String("Job")); }
};

// IPP job states.
namespace ipp_job_state {
inline constexpr std::uint32_t Pending = 3;
inline constexpr std::uint32_t Held = 4;
inline constexpr std::uint32_t Processing = 5;
inline constexpr std::uint32_t Stopped = 6;
inline constexpr std::uint32_t Canceled = 7;
inline constexpr std::uint32_t Aborted = 8;
inline constexpr std::uint32_t Completed = 9;
} // namespace ipp_job_state

// What cupsd answers about a job (Get-Job-Attributes): the signal carries no user, size,
// copies or orientation. `JobState` 0 means unknown.
struct CupsJobAttributes
{
    QString UserName; // empty when cupsd hides it (another user's job)
    QString HostName;
    QString JobName;
    std::uint32_t JobState = 0;
    std::uint32_t Copies = 1;
    std::uint32_t Orientation = 0; // orientation-requested, 0 when absent
    std::uint32_t KOctets = 0;
    std::uint32_t KOctetsProcessed = 0;
    std::uint32_t Impressions = 0; // job-impressions, the pages of the job when known
    QString Key;                   // JobKeyOf its job-uuid, id and time-at-creation

    bool operator==(const CupsJobAttributes&) const = default;
};

// What tells one job from every other, also after cupsd crashed and gave its id again: its
// job-uuid, or else its id with the second it was created.
QString JobKeyOf(const QString& uuid, std::uint32_t jobId, qint64 createdAt);

// The job status bits of an IPP job state.
std::uint32_t JobStatusBitsFromState(std::uint32_t jobState);

// The device-mode orientation of an orientation-requested value: 4 and 5 are landscape;
// 3, 6, 7 (none) or no value are portrait; anything else is unknown (0).
std::int16_t OrientationFromIpp(std::uint32_t orientationRequested);

// The changes one notifier signal stands for, each with its change word and entries, in the
// order the rules read them. A completion that cupsd's own answer denies is not one, so that
// a forged signal cannot complete a job. A completed job gives two changes, one when
// it is printed and one when it leaves the queue; a cancelled or aborted job never gives a
// completion. Signals that concern no job give none.
QList<TPrinterChange> ChangesFromSignal(const CupsNotifierSignal& signal,
                                        const CupsJobAttributes& attributes);

// A key under which two deliveries of the same signal compare equal.
QString SignalKey(const CupsNotifierSignal& signal);

} // namespace vellora
