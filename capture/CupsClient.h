#pragma once

#include "CupsChange.h"

#include <QList>
#include <QString>
#include <atomic>
#include <mutex>
#include <optional>

struct _http_s;
struct _ipp_s;

namespace vellora {

struct CupsPrinter
{
    QString Name;
    QString DeviceUri;
    bool Shared = false;
};

// One job of ours as Get-Jobs lists it.
struct CupsJobSummary
{
    std::uint32_t Id = 0;
    std::uint32_t State = 0;
    QString PrinterName;
    QString JobName;
    QString Key;            // what tells this job from any other, across restarts of cupsd
    qint64 CompletedAt = 0; // time-at-completed, seconds since the epoch; 0 while unfinished
};

// The print server this process talks to: $CUPS_SERVER when set, else the local socket of
// cupsd when it exists, else libcups' own choice.
QString CupsServerName();

// The local socket whose appearance means that cupsd has started; empty for a remote server.
QString CupsSocketPath();

// One connection to cupsd for one thread (libcups connections are not shared between
// threads). Every call is bounded by the time-out given, so that no caller waits for a
// hung server; a failed call reconnects on the next one.
class CupsClient
{
public:
    // `abort`, when given, ends a request as soon as it becomes true (within 100 ms), so that
    // shutting down never waits for a hung server's full time-out.
    explicit CupsClient(int timeoutMs, const std::atomic<bool>* abort = nullptr);
    ~CupsClient();
    CupsClient(const CupsClient&) = delete;
    CupsClient& operator=(const CupsClient&) = delete;

    std::optional<QList<CupsPrinter>> Printers();
    std::optional<CupsJobAttributes> JobAttributes(std::uint32_t jobId);
    // Every job of this user that cupsd still lists, finished or not, on every printer.
    std::optional<QList<CupsJobSummary>> MyJobs();

    // Subscriptions with the D-Bus notifier, server-wide, tagged with notify-user-data.
    int CreateSubscription(const QByteArray& tag); // 0 on failure
    std::optional<QList<int>> SubscriptionsTagged(const QByteArray& tag);
    std::optional<bool> SubscriptionExists(int id);
    bool CancelSubscription(int id);

    // Closes the connection; the next request opens a new one.
    void Disconnect();

    // Any thread: cuts the connection under the request under way, which libcups would
    // otherwise wait on for a second even when told to give up; every later request of this
    // client fails at once (the program is ending).
    void Interrupt();

    // The last request got no answer in time, or was cut while it waited for one: the server
    // may be hung or stopped.
    bool LastRequestTimedOut() const { return m_timedOut; }

    // For the time-out callback of libcups, on the requesting thread: on giving up, the
    // connection is cut too, so that libcups does not go on reading it.
    bool KeepWaiting();

private:
    bool ensureConnected();
    _ipp_s* request(_ipp_s* message);

    int m_timeoutMs;
    const std::atomic<bool>* m_abort;
    qint64 m_requestStarted = 0;
    bool m_timedOut = false;
    std::atomic<bool> m_inRequest{false};
    std::atomic<bool> m_interrupted{false};
    std::atomic<bool> m_cut{false}; // Interrupt was called: no more requests
    std::mutex m_socketLock;        // guards m_socket against Interrupt from another thread
    int m_socket = -1;
    _http_s* m_http = nullptr;
};

} // namespace vellora
