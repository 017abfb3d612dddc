#pragma once

#include "CupsChange.h"
#include "CupsClient.h"
#include "JobReconciler.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <sys/types.h>

class QDBusConnection;

class QFileSystemWatcher;

namespace vellora {

// The monitor's link to cupsd, living on a thread of its own: the connection to the system
// bus that carries cupsd's notifier signals, the one server-wide subscription that makes
// cupsd send them, the watches that tell when cupsd or the bus (re)starts, and the
// reconciliation that finds the completions whose signals were lost.
//
// cupsd starts one D-Bus notifier process per subscription, and those processes share one
// lock file: only the process that holds the lock sends anything, the others drop their
// events. Per-printer subscriptions would therefore lose the events of every printer but one,
// so the monitor holds a single subscription for the whole server and sorts the signals by
// printer name itself. The same lock, left behind by a killed notifier or held by another
// program's notifier, silences ours completely: hence the reconciliation, which needs no
// signal at all when it is triggered by the user's print folder.
class CupsServerWatcher : public QObject
{
    Q_OBJECT

public:
    using SignalSink = std::function<void(const CupsNotifierSignal&)>;
    using PrinterSink = std::function<void(const QList<CupsPrinter>&)>;

    struct Sinks
    {
        SignalSink Signals;                    // every job signal, repeated deliveries dropped
        PrinterSink Printers;                  // the printer list, each time it is read
        JobReconciler::ReportedQuery Reported; // whether a job's completion was reported
        std::function<quint64()> Completions;  // how many completions were reported so far
    };

    // `tag` marks our subscriptions (notify-user-data); `printFile` is the print file in the
    // user's own drop folder; `stopping` ends any request under way as soon as it becomes true.
    CupsServerWatcher(QByteArray tag, Sinks sinks, const QString& printFile,
                      const std::atomic<bool>* stopping);
    ~CupsServerWatcher() override;

    int SubscriptionId() const { return m_subscriptionId.load(); }

    // Any thread, before Stop: ends the request under way at once.
    void InterruptRequest();

public Q_SLOTS:
    void Start();
    void Stop();
    void RescanPrinters();
    // Asks cupsd at once for this user's completed jobs, then on the back-off while needed.
    void Reconcile();
    // A job of ours (by its key) is under way: make sure its end is looked for even without
    // a signal.
    void WatchJobs(const QString& key);

private Q_SLOTS:
    void onNotifierSignal(const QDBusMessage& message);
    void onFolderChanged(const QString& folder);
    void checkPrintFolder();
    void onBusDisconnected();
    void reconcileNow();
    void reconcileDue();
    void printFileGraceOver();
    void busUp();

private:
    struct SocketWatch
    {
        QString Path;
        ino_t Inode = 0; // 0 while absent
        qint64 ChangedAt = 0;
    };

    void serverUp();
    bool ensureBus();
    void dropBus();
    void hookSignals(QDBusConnection& bus, bool hook);
    void ensureSubscription(bool renew);
    void armWatches();
    bool printFolderWatched() const;
    bool socketChanged(SocketWatch& socket);
    bool isRepeated(const CupsNotifierSignal& signal);
    void printFileArrived();
    void scheduleReconcile();

    QByteArray m_tag;
    Sinks m_sinks;
    const std::atomic<bool>* m_stopping;
    std::unique_ptr<CupsClient> m_client; // made by Start, freed by Stop
    std::atomic<CupsClient*> m_activeClient{nullptr};
    QFileSystemWatcher* m_folderWatch = nullptr;
    // While the print folder is missing or cannot be watched: a stat now and then, which
    // costs cupsd nothing, and the identity of the folder at the last look.
    QTimer* m_printFolderCheck = nullptr;
    QByteArray m_printFolderSeen;
    SocketWatch m_cupsSocket;
    SocketWatch m_busSocket;
    QString m_printFolder;
    QString m_printFile;
    QString m_busName;
    bool m_busConnected = false;
    bool m_staleCancelled = false;
    int m_serverRetries = 0;
    int m_busRetries = 0;
    int m_failedReconciles = 0;
    std::atomic<int> m_subscriptionId{0};
    std::deque<std::pair<QString, qint64>> m_recent;
    JobReconciler m_reconciler;
    QTimer* m_reconcileTimer = nullptr;
    // The jobs whose end the timer looks for, and whether cupsd's last answer had one of ours
    // under way: once the signals have reported all of them, asking cupsd again is useless.
    QSet<QString> m_watchedJobs;
    bool m_jobsUnderWay = false;
    // A new print file in the folder means a job ending: its completion signal normally
    // follows within milliseconds, and cupsd, busy answering a list of every job, would only
    // delay it. cupsd is asked after a grace, only when fewer completions were reported than
    // print files arrived.
    QTimer* m_printFileGrace = nullptr;
    QByteArray m_printFileSeen;
    quint64 m_printFilesArrived = 0;
    quint64 m_completionsAtFirstFile = 0;
};

// Reads one notifier signal from its D-Bus message; a message of another shape gives a
// signal with an empty member.
CupsNotifierSignal SignalFromMessage(const QString& member, const QVariantList& arguments);

// The socket a D-Bus address names ("unix:path=..."), or the system bus's usual one.
QString BusSocketPath(const QByteArray& address);

} // namespace vellora
