#include "JobInformation.h"

namespace vellora {

using namespace notify;

QString JobStatusName(TJobStatus status)
{
    switch (status) {
    case jsNone:
        return QStringLiteral("jsNone");
    case jsNew:
        return QStringLiteral("jsNew");
    case jsProcessing:
        return QStringLiteral("jsProcessing");
    case jsPaused:
        return QStringLiteral("jsPaused");
    case jsResumed:
        return QStringLiteral("jsResumed");
    case jsAborted:
        return QStringLiteral("jsAborted");
    case jsCompleted:
        return QStringLiteral("jsCompleted");
    case jsError:
        return QStringLiteral("jsError");
    }
    return QString();
}

TJobInformation::TJobInformation(std::int32_t printerIndex, const QString& printerName,
                                 const QString& portName, const QString& serverName,
                                 const QString& shareName)
    : PrinterIndex(printerIndex), PrinterName(printerName), PortName(portName),
      ServerName(serverName), ShareName(shareName)
{}

std::unique_ptr<TJobInformation> TJobInformation::Clone() const
{
    return std::make_unique<TJobInformation>(*this);
}

TJobStatus StatusFromChange(std::uint32_t changeWord, const TNotifyInfo* notification)
{
    if (changeWord & PRINTER_CHANGE_ADD_JOB)
        return jsNew;
    if (changeWord & PRINTER_CHANGE_DELETE_JOB)
        return jsCompleted;
    if (changeWord & PRINTER_CHANGE_SET_JOB)
        return StatusFromJobStatusBits(notification);
    if (changeWord & PRINTER_CHANGE_WRITE_JOB)
        return jsProcessing;
    return jsNone;
}

TJobStatus StatusFromJobStatusBits(const TNotifyInfo* notification)
{
    if (!notification)
        return jsNone;
    for (const TNotifyEntry& entry : notification->aData) {
        if (entry.Field != JOB_NOTIFY_FIELD_STATUS)
            continue;
        const std::uint32_t v = entry.Number;
        if (v & JOB_STATUS_PRINTED)
            return jsCompleted;
        if (v & JOB_STATUS_DELETING)
            return jsNone;
        if (v & (JOB_STATUS_SPOOLING | JOB_STATUS_PRINTING))
            return jsProcessing;
        if (v & (JOB_STATUS_ERROR | JOB_STATUS_OFFLINE | JOB_STATUS_PAPEROUT))
            return jsError;
        if (v & JOB_STATUS_PAUSED)
            return jsPaused;
        return jsNone;
    }
    return jsNone;
}

namespace {

void startNewJob(TJobInformation& record, std::uint32_t jobId)
{
    TJobInformation empty(record.PrinterIndex, record.PrinterName, record.PortName,
                          record.ServerName, record.ShareName);
    empty.Status = record.Status;
    empty.JobId = jobId;
    record = empty;
}

void applyDeviceMode(TJobInformation& record, const TDeviceMode& mode)
{
    record.Copies = mode.dmCopies;
    if (mode.dmOrientation == DMORIENT_PORTRAIT)
        record.Landscape = false;
    else if (mode.dmOrientation == DMORIENT_LANDSCAPE)
        record.Landscape = true;
    // Any other value keeps the earlier orientation; the change itself still counts.
}

} // namespace

void FillFromNotifyInfo(TJobInformation& record, const TNotifyInfo* notification)
{
    if (!notification || notification->aData.isEmpty())
        return;
    const std::uint32_t jobId = notification->aData.first().Id;
    if (jobId != record.JobId)
        startNewJob(record, jobId);

    for (const TNotifyEntry& entry : notification->aData) {
        switch (entry.Field) {
        case JOB_NOTIFY_FIELD_MACHINE_NAME:
            record.MachineName = entry.Text;
            break;
        case JOB_NOTIFY_FIELD_USER_NAME:
            record.UserName = entry.Text;
            break;
        case JOB_NOTIFY_FIELD_DOCUMENT:
            record.DocumentName = entry.Text;
            break;
        case JOB_NOTIFY_FIELD_TOTAL_PAGES:
            record.TotalPages = entry.Number;
            break;
        case JOB_NOTIFY_FIELD_PAGES_PRINTED:
            record.PagesPrinted = entry.Number;
            break;
        case JOB_NOTIFY_FIELD_TOTAL_BYTES:
            record.TotalBytes = entry.Number;
            break;
        case JOB_NOTIFY_FIELD_BYTES_PRINTED:
            record.BytesPrinted = entry.Number;
            break;
        case JOB_NOTIFY_FIELD_DEVMODE:
            if (entry.DeviceMode)
                applyDeviceMode(record, *entry.DeviceMode);
            break;
        default:
            break;
        }
    }
}

} // namespace vellora
