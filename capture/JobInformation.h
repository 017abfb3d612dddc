#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vellora {

// What happened to a print job. The names are part of the interface: the intake compares
// the lower-cased name of a status with "jscompleted".
enum TJobStatus : std::uint8_t
{
    jsNone,
    jsNew,
    jsProcessing,
    jsPaused,
    jsResumed,
    jsAborted,
    jsCompleted,
    jsError,
};

// The enumerator's name as text ("jsCompleted").
QString JobStatusName(TJobStatus status);

// What the monitor knows of one printer and of the latest job change seen on it.
class TJobInformation
{
public:
    TJobInformation(std::int32_t printerIndex, const QString& printerName, const QString& portName,
                    const QString& serverName, const QString& shareName);

    std::unique_ptr<TJobInformation> Clone() const;
    bool operator==(const TJobInformation&) const = default;

    std::int32_t PrinterIndex = 0;
    QString PrinterName;
    QString PortName;
    QString ServerName;
    QString ShareName;
    QString MachineName;
    QString UserName;
    QString DocumentName;
    std::uint32_t PagesPrinted = 0;
    std::uint32_t TotalPages = 0;
    std::uint32_t BytesPrinted = 0;
    std::uint32_t TotalBytes = 0;
    std::uint32_t JobId = 0;
    TJobStatus Status = jsNone;
    std::int32_t Copies = 0;
    bool Landscape = false;
    // What tells this job from every other one, also from a later job under the same id after
    // cupsd crashed (its job-uuid); set by the monitor with each report, empty in a record
    // that no job has reached yet.
    QString JobKey;
};

// Every job event takes one record, valid only during the call.
using TJobEvent = std::function<void(const TJobInformation& aJobinformation)>;

// One change notification as the rules below read it: a change word of PRINTER_CHANGE_*
// bits and entries of JOB_NOTIFY_FIELD_* codes, each for one job id.
namespace notify {

inline constexpr std::uint32_t PRINTER_CHANGE_ADD_JOB = 0x100;
inline constexpr std::uint32_t PRINTER_CHANGE_SET_JOB = 0x200;
inline constexpr std::uint32_t PRINTER_CHANGE_DELETE_JOB = 0x400;
inline constexpr std::uint32_t PRINTER_CHANGE_WRITE_JOB = 0x800;
inline constexpr std::uint32_t PRINTER_CHANGE_JOB = 0xFF00;

inline constexpr std::uint16_t JOB_NOTIFY_FIELD_MACHINE_NAME = 0x01;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_USER_NAME = 0x03;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_DEVMODE = 0x09;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_STATUS = 0x0A;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_DOCUMENT = 0x0D;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_TOTAL_PAGES = 0x14;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_PAGES_PRINTED = 0x15;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_TOTAL_BYTES = 0x16;
inline constexpr std::uint16_t JOB_NOTIFY_FIELD_BYTES_PRINTED = 0x17;

inline constexpr std::uint32_t JOB_STATUS_PAUSED = 0x01;
inline constexpr std::uint32_t JOB_STATUS_ERROR = 0x02;
inline constexpr std::uint32_t JOB_STATUS_DELETING = 0x04;
inline constexpr std::uint32_t JOB_STATUS_SPOOLING = 0x08;
inline constexpr std::uint32_t JOB_STATUS_PRINTING = 0x10;
inline constexpr std::uint32_t JOB_STATUS_OFFLINE = 0x20;
inline constexpr std::uint32_t JOB_STATUS_PAPEROUT = 0x40;
inline constexpr std::uint32_t JOB_STATUS_PRINTED = 0x80;
inline constexpr std::uint32_t JOB_STATUS_DELETED = 0x100;
inline constexpr std::uint32_t JOB_STATUS_BLOCKED_DEVQ = 0x200;
inline constexpr std::uint32_t JOB_STATUS_USER_INTERVENTION = 0x400;
inline constexpr std::uint32_t JOB_STATUS_RESTART = 0x800;
inline constexpr std::uint32_t JOB_STATUS_COMPLETE = 0x1000;

inline constexpr std::int16_t DMORIENT_PORTRAIT = 1;
inline constexpr std::int16_t DMORIENT_LANDSCAPE = 2;

} // namespace notify

// The two settings of a device mode that the record keeps.
struct TDeviceMode
{
    std::int16_t dmCopies = 0;
    std::int16_t dmOrientation = 0;
    bool operator==(const TDeviceMode&) const = default;
};

struct TNotifyEntry
{
    std::uint16_t Field = 0;
    std::uint32_t Id = 0;
    std::uint32_t Number = 0;              // number fields and the status bits
    QString Text;                          // text fields
    std::optional<TDeviceMode> DeviceMode; // the device-mode field
    bool operator==(const TNotifyEntry&) const = default;
};

struct TNotifyInfo
{
    QList<TNotifyEntry> aData;
    bool operator==(const TNotifyInfo&) const = default;
};

// One change: its word and its entries, which may be absent.
struct TPrinterChange
{
    std::uint32_t ChangeWord = 0;
    std::optional<TNotifyInfo> Info;
    bool operator==(const TPrinterChange&) const = default;
};

// The status of one change; the first rule that holds decides (add, delete, set, write).
TJobStatus StatusFromChange(std::uint32_t changeWord, const TNotifyInfo* notification);

// The status read from the first status entry of the notification.
TJobStatus StatusFromJobStatusBits(const TNotifyInfo* notification);

// Copies the entries into the record, in place. A record whose job id changes starts empty,
// so that no field of an earlier job carries over to a later one; an orientation the rules do
// not know leaves `Landscape` as it was and the remaining entries still apply.
void FillFromNotifyInfo(TJobInformation& record, const TNotifyInfo* notification);

} // namespace vellora
