#pragma once

#include "CupsChange.h"

#include <QList>
#include <QString>
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
    explicit CupsClient(int timeoutMs);
    ~CupsClient();
    CupsClient(const CupsClient&) = delete;
    CupsClient& operator=(const CupsClient&) = delete;

    std::optional<QList<CupsPrinter>> Printers();
    std::optional<CupsJobAttributes> JobAttributes(std::uint32_t jobId);

    // Subscriptions with the D-Bus notifier, server-wide, tagged with notify-user-data.
    int CreateSubscription(const QByteArray& tag); // 0 on failure
    std::optional<QList<int>> SubscriptionsTagged(const QByteArray& tag);
    std::optional<bool> SubscriptionExists(int id);
    bool CancelSubscription(int id);

private:
    bool ensureConnected();
    _ipp_s* request(_ipp_s* message);

    int m_timeoutMs;
    _http_s* m_http = nullptr;
};

} // namespace vellora
