#pragma once

#include "CupsChange.h"
#include "CupsClient.h"
#include "JobInformation.h"

#include <Errors.h>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vellora {

class CupsServerWatcher;

class EPrinterMonitorError : public EVellora
{
public:
    using EVellora::EVellora;
};

// The watcher of one printer: a thread that waits, with no time-out, for the notifier
// signals that name its printer or for its stop request, turns each signal into changes of
// its job record and hands every reportable one to `OnJob`.
class TPrintMonitor
{
public:
    // A new, suspended watcher for the printer at `index` of `printers`; none when it cannot
    // be made. Raises EPrinterMonitorError for an index outside the list.
    static std::unique_ptr<TPrintMonitor> CreateMonitor(std::int32_t index,
                                                        const QList<CupsPrinter>& printers,
                                                        TJobEvent callback, QString userName);
    ~TPrintMonitor();
    TPrintMonitor(const TPrintMonitor&) = delete;
    TPrintMonitor& operator=(const TPrintMonitor&) = delete;

    const QString& PrinterName() const { return m_printerName; }
    bool Started() const { return m_started.load(); }

    // Before the first Resume: `claimCompletion` returns true for the first completion of a
    // job (by its key) across every path and printer, so that a completion found by both a
    // signal and the reconciliation is reported once; `jobUnderWay` hears of a job of ours that
    // has not finished.
    void SetHooks(std::function<bool(const QString& key)> claimCompletion,
                  std::function<void(const QString& key)> jobUnderWay);

    // Any thread: queues one signal naming this printer.
    void Post(const CupsNotifierSignal& signal);
    void Resume();
    void Suspend();
    void SignalStop();

private:
    TPrintMonitor(const TJobInformation& record, TJobEvent callback, QString userName);
    void Execute();
    void ProcessChange(const CupsNotifierSignal& signal);
    void DoJob();
    std::optional<CupsJobAttributes> attributesOf(std::uint32_t jobId);

    TJobInformation JobInformation;
    TJobEvent OnJob;
    const QString m_printerName;
    const QString m_userName;
    std::unique_ptr<CupsClient> m_client; // used on the watcher's thread only (and cut on stop)
    std::function<bool(const QString&)> m_claimCompletion;
    std::function<void(const QString&)> m_jobUnderWay;
    std::atomic<bool> m_abort{false}; // ends the request under way when stop is asked
    QHash<std::uint32_t, CupsJobAttributes> m_knownJobs;
    std::deque<std::uint32_t> m_knownOrder;

    std::mutex m_mutex; // guards the fields below
    std::condition_variable m_wake;
    std::deque<CupsNotifierSignal> m_inbox;
    bool m_stopRequested = false;
    bool m_running = false;
    std::thread m_thread;
    std::atomic<bool> m_started{false};
};

// Watches the job queues of every printer and reports the current user's job changes on
// the GUI thread through three events.
class TPrintersMonitor : public QObject
{
    Q_OBJECT

public:
    explicit TPrintersMonitor(QObject* owner);
    ~TPrintersMonitor() override;

    bool Active() const { return m_active; }
    void SetActive(bool value);

    TJobEvent OnNewJob;
    TJobEvent OnJobChange;
    TJobEvent OnJobComplete;

    virtual void DoNewJob(const TJobInformation& job);
    virtual void DoJobChange(const TJobInformation& job);
    virtual void DoJobComplete(const TJobInformation& job);

    // The callback of every watcher; runs on the watcher's thread.
    void EnqueueJob(const TJobInformation& job);

    // The printers watched so far, in the order their watchers were made.
    QStringList WatchedPrinters() const;
    // True once cupsd holds our subscription, so that job signals reach us.
    bool IsSubscribed() const;

    // Asks cupsd for this user's completed jobs now (the window was opened, say): a
    // completion whose signal was lost is then reported like any other.
    void Reconcile();

Q_SIGNALS:
    void printersWatched();

private:
    void DispatchJobs();
    void CreateMonitors(const QList<CupsPrinter>& printers);
    void RemoveMonitors(const QList<CupsPrinter>& printers);
    void route(const CupsNotifierSignal& signal);
    bool claimCompletion(const QString& key);
    bool completionClaimed(const QString& key) const;

    std::mutex m_pendingLock; // the one lock of the pending list
    std::vector<std::unique_ptr<TJobInformation>> PendingJobs;

    std::vector<std::unique_ptr<TPrintMonitor>> Monitors;
    bool m_active = false;
    const QString m_userName;

    // Which watcher receives the signals of which printer; read on the bus thread.
    mutable std::mutex m_routeLock;
    QHash<QString, TPrintMonitor*> m_routes;
    std::deque<CupsNotifierSignal> m_unrouted;

    // The completions reported so far, by job key; read by every watcher and the bus thread.
    mutable std::mutex m_claimLock;
    QSet<QString> m_claimed;
    std::atomic<quint64> m_claimCount{0}; // every completion claimed so far
    std::deque<QString> m_claimOrder;

    std::atomic<bool> m_stopping{false};
    QThread m_busThread;
    CupsServerWatcher* m_server = nullptr;
};

} // namespace vellora
