#pragma once

#include "CupsChange.h"
#include "CupsClient.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class QFileSystemWatcher;

namespace vellora {

// The monitor's link to cupsd, living on a thread of its own: the connection to the system
// bus that carries cupsd's notifier signals, the one server-wide subscription that makes
// cupsd send them, and the watch on cupsd's socket that tells when the server (re)starts.
//
// cupsd starts one D-Bus notifier process per subscription, and those processes share one
// lock file: only the process that holds the lock sends anything, the others drop their
// events. Per-printer subscriptions would therefore lose the events of every printer but one,
// so the monitor holds a single subscription for the whole server and sorts the signals by
// printer name itself.
class CupsServerWatcher : public QObject
{
    Q_OBJECT

public:
    using SignalSink = std::function<void(const CupsNotifierSignal&)>;
    using PrinterSink = std::function<void(const QList<CupsPrinter>&)>;

    // `tag` marks our subscriptions (notify-user-data); `onSignal` receives every job signal
    // on this object's thread, repeated deliveries dropped; `onPrinters` receives the printer
    // list each time it is read.
    CupsServerWatcher(QByteArray tag, SignalSink onSignal, PrinterSink onPrinters);
    ~CupsServerWatcher() override;

    int SubscriptionId() const { return m_subscriptionId.load(); }

public Q_SLOTS:
    void Start();
    void Stop();
    void RescanPrinters();

private Q_SLOTS:
    void onNotifierSignal(const QDBusMessage& message);
    void onSocketFolderChanged();

private:
    void serverUp();
    void ensureBus();
    void ensureSubscription();
    void armSocketWatch();
    bool isRepeated(const CupsNotifierSignal& signal);

    QByteArray m_tag;
    SignalSink m_signals;
    PrinterSink m_printers;
    std::unique_ptr<CupsClient> m_client;
    QFileSystemWatcher* m_socketWatch = nullptr;
    QString m_socketPath;
    bool m_socketPresent = false;
    QString m_busName;
    bool m_busConnected = false;
    bool m_staleCancelled = false;
    int m_retries = 0;
    std::atomic<int> m_subscriptionId{0};
    std::deque<std::pair<QString, qint64>> m_recent;
};

// Reads one notifier signal from its D-Bus message; a message of another shape gives a
// signal with an empty member.
CupsNotifierSignal SignalFromMessage(const QString& member, const QVariantList& arguments);

} // namespace vellora
