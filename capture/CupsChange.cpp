#include "CupsChange.h"

#include <algorithm>
#include <limits>

namespace vellora {

using namespace notify;

std::uint32_t JobStatusBitsFromState(std::uint32_t jobState)
{
    switch (jobState) {
    case ipp_job_state::Held:
        return JOB_STATUS_PAUSED;
    case ipp_job_state::Processing:
        return JOB_STATUS_PRINTING;
    case ipp_job_state::Stopped:
        return JOB_STATUS_OFFLINE;
    case ipp_job_state::Canceled:
        return JOB_STATUS_DELETING;
    case ipp_job_state::Aborted:
        return JOB_STATUS_ERROR;
    case ipp_job_state::Completed:
        return JOB_STATUS_PRINTED;
    default:
        return 0;
    }
}

std::int16_t OrientationFromIpp(std::uint32_t orientationRequested)
{
    switch (orientationRequested) {
    case 0:
    case 3:
    case 6:
    case 7:
        return DMORIENT_PORTRAIT;
    case 4:
    case 5:
        return DMORIENT_LANDSCAPE;
    default:
        return 0;
    }
}

namespace {

std::uint32_t kilobytesToBytes(std::uint32_t kilobytes)
{
    const std::uint64_t bytes = std::uint64_t(kilobytes) * 1024;
    return std::uint32_t(std::min<std::uint64_t>(bytes, std::numeric_limits<std::uint32_t>::max()));
}

std::int16_t copiesOf(std::uint32_t copies)
{
    return std::int16_t(std::min<std::uint32_t>(copies, std::numeric_limits<std::int16_t>::max()));
}

TNotifyEntry text(std::uint16_t field, std::uint32_t id, const QString& value)
{
    TNotifyEntry entry;
    entry.Field = field;
    entry.Id = id;
    entry.Text = value;
    return entry;
}

TNotifyEntry number(std::uint16_t field, std::uint32_t id, std::uint32_t value)
{
    TNotifyEntry entry;
    entry.Field = field;
    entry.Id = id;
    entry.Number = value;
    return entry;
}

// The nine fields, in the order the monitor asks for them.
TNotifyInfo entriesFor(const CupsNotifierSignal& signal, const CupsJobAttributes& attributes,
                       std::uint32_t statusBits)
{
    const std::uint32_t id = signal.JobId;
    TNotifyInfo info;
    info.aData << text(JOB_NOTIFY_FIELD_MACHINE_NAME, id, attributes.HostName)
               << text(JOB_NOTIFY_FIELD_USER_NAME, id, attributes.UserName)
               << text(JOB_NOTIFY_FIELD_DOCUMENT, id,
                       signal.JobName.isEmpty() ? attributes.JobName : signal.JobName)
               << number(JOB_NOTIFY_FIELD_TOTAL_PAGES, id, attributes.Impressions)
               << number(JOB_NOTIFY_FIELD_TOTAL_BYTES, id, kilobytesToBytes(attributes.KOctets))
               << number(JOB_NOTIFY_FIELD_BYTES_PRINTED, id,
                         kilobytesToBytes(attributes.KOctetsProcessed))
               << number(JOB_NOTIFY_FIELD_PAGES_PRINTED, id, signal.Impressions)
               << number(JOB_NOTIFY_FIELD_STATUS, id, statusBits);
    TNotifyEntry deviceMode;
    deviceMode.Field = JOB_NOTIFY_FIELD_DEVMODE;
    deviceMode.Id = id;
    deviceMode.DeviceMode =
        TDeviceMode{copiesOf(attributes.Copies), OrientationFromIpp(attributes.Orientation)};
    info.aData << deviceMode;
    return info;
}

TPrinterChange change(std::uint32_t word, TNotifyInfo info)
{
    TPrinterChange result;
    result.ChangeWord = word;
    result.Info = std::move(info);
    return result;
}

} // namespace

QList<TPrinterChange> ChangesFromSignal(const CupsNotifierSignal& signal,
                                        const CupsJobAttributes& attributes)
{
    if (!signal.IsJobSignal() || signal.JobId == 0)
        return {};
    // The signal tells which state this change is about; cupsd's own answer can only deny a
    // completion, so that a forged signal never completes a job.
    std::uint32_t state = signal.JobState;
    if (state == ipp_job_state::Completed && attributes.JobState != 0)
        state = attributes.JobState;
    const TNotifyInfo info = entriesFor(signal, attributes, JobStatusBitsFromState(state));

    if (signal.Member == QLatin1String("JobCreated"))
        return {change(PRINTER_CHANGE_ADD_JOB, info)};
    if (signal.Member == QLatin1String("JobProgress"))
        return {change(PRINTER_CHANGE_SET_JOB | PRINTER_CHANGE_WRITE_JOB, info)};
    if (signal.Member == QLatin1String("JobCompleted") && state == ipp_job_state::Completed)
        return {change(PRINTER_CHANGE_SET_JOB, info), change(PRINTER_CHANGE_DELETE_JOB, info)};
    if (signal.Member == QLatin1String("JobCompleted") ||
        signal.Member == QLatin1String("JobState") ||
        signal.Member == QLatin1String("JobStopped") ||
        signal.Member == QLatin1String("JobConfigChanged"))
        return {change(PRINTER_CHANGE_SET_JOB, info)};
    return {};
}

QString JobKeyOf(const QString& uuid, std::uint32_t jobId, qint64 createdAt)
{
    if (!uuid.isEmpty())
        return uuid;
    return QStringLiteral("%1@%2").arg(jobId).arg(createdAt);
}

QString SignalKey(const CupsNotifierSignal& signal)
{
    return QStringList{signal.Member,
                       signal.Text,
                       signal.PrinterName,
                       QString::number(signal.PrinterState),
                       signal.PrinterStateReasons,
                       QString::number(signal.JobId),
                       QString::number(signal.JobState),
                       signal.JobStateReasons,
                       signal.JobName,
                       QString::number(signal.Impressions)}
        .join(QChar(0x1F));
}

} // namespace vellora
