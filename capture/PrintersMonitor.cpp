#include "PrintersMonitor.h"

#include "CupsServerWatcher.h"

#include <Paths.h>
#include <QFileInfo>
#include <QMetaObject>
#include <algorithm>
#include <chrono>

namespace vellora {

namespace {

constexpr int kRequestTimeoutMs = 400;
// A job's signals come in a burst (created, processing, completed): the connection stays for
// the burst, then goes.
constexpr auto kIdleConnection = std::chrono::seconds(2);
constexpr int kKnownJobs = 128;
constexpr std::size_t kInboxLimit = 10000;
constexpr std::size_t kUnroutedLimit = 256;
constexpr std::size_t kClaimedJobs = 4096;

// notify-user-data holds at most 63 octets.
QByteArray subscriptionTag(const QString& userName)
{
    const QByteArray tag = QByteArrayLiteral("vellora ") + userName.toUtf8();
    return tag.left(63);
}

QString routeKey(const QString& printerName)
{
    return printerName.toLower();
}

} // namespace

// ---- TPrintMonitor ----------------------------------------------------------------------

std::unique_ptr<TPrintMonitor> TPrintMonitor::CreateMonitor(std::int32_t index,
                                                            const QList<CupsPrinter>& printers,
                                                            TJobEvent callback, QString userName)
{
    if (index < 0 || index >= printers.size())
        throw EPrinterMonitorError(
            QStringLiteral("TPrintMonitor.CreateMonitor: index %1 is out of range. Valid "
                           "indices are %2..%3.")
                .arg(index)
                .arg(0)
                .arg(printers.size() - 1));
    const CupsPrinter& printer = printers.at(index);
    if (printer.Name.isEmpty())
        return nullptr;
    const TJobInformation record(index, printer.Name, printer.DeviceUri, QString(),
                                 printer.Shared ? printer.Name : QString());
    return std::unique_ptr<TPrintMonitor>(
        new TPrintMonitor(record, std::move(callback), std::move(userName)));
}

TPrintMonitor::TPrintMonitor(const TJobInformation& record, TJobEvent callback, QString userName)
    : JobInformation(record), OnJob(std::move(callback)), m_printerName(record.PrinterName),
      m_userName(std::move(userName)),
      m_client(std::make_unique<CupsClient>(kRequestTimeoutMs, &m_abort))
{}

TPrintMonitor::~TPrintMonitor()
{
    SignalStop();
    if (m_thread.joinable())
        m_thread.join();
}

void TPrintMonitor::SetHooks(std::function<bool(const QString&)> claimCompletion,
                             std::function<void(const QString&)> jobUnderWay)
{
    m_claimCompletion = std::move(claimCompletion);
    m_jobUnderWay = std::move(jobUnderWay);
}

void TPrintMonitor::Post(const CupsNotifierSignal& signal)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_inbox.size() >= kInboxLimit)
            m_inbox.pop_front();
        m_inbox.push_back(signal);
    }
    m_wake.notify_one();
}

void TPrintMonitor::Resume()
{
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
        if (!m_thread.joinable() && !m_stopRequested)
            m_thread = std::thread(&TPrintMonitor::Execute, this);
    }
    m_wake.notify_one();
}

void TPrintMonitor::Suspend()
{
    std::lock_guard lock(m_mutex);
    m_running = false;
}

void TPrintMonitor::SignalStop()
{
    m_abort = true;
    m_client->Interrupt(); // a hung cupsd keeps no watcher waiting
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    m_wake.notify_one();
}

void TPrintMonitor::Execute()
{
    m_started = true;
    const auto wanted = [this] {
        return m_stopRequested || (m_running && !m_inbox.empty());
    };
    for (;;) {
        CupsNotifierSignal signal;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_for(lock, kIdleConnection, wanted)) {
                // Idle watchers hold no connection: cupsd serves only so many clients.
                lock.unlock();
                m_client->Disconnect();
                lock.lock();
                m_wake.wait(lock, wanted);
            }
            if (m_stopRequested)
                break;
            signal = std::move(m_inbox.front());
            m_inbox.pop_front();
        }
        try {
            ProcessChange(signal);
        } catch (...) {
            // A change that cannot be read is dropped; the watcher waits for the next one.
        }
    }
    m_client->Disconnect();
}

std::optional<CupsJobAttributes> TPrintMonitor::attributesOf(std::uint32_t jobId)
{
    if (auto fresh = m_client->JobAttributes(jobId)) {
        if (!m_knownJobs.contains(jobId)) {
            m_knownOrder.push_back(jobId);
            if (m_knownOrder.size() > std::size_t(kKnownJobs)) {
                m_knownJobs.remove(m_knownOrder.front());
                m_knownOrder.pop_front();
            }
        }
        m_knownJobs.insert(jobId, *fresh);
        return fresh;
    }
    // cupsd may have purged a finished job already: what it said earlier still tells whose
    // job it was, and the signal then tells its state.
    const auto known = m_knownJobs.constFind(jobId);
    if (known == m_knownJobs.constEnd())
        return std::nullopt;
    CupsJobAttributes remembered = *known;
    remembered.JobState = 0;
    return remembered;
}

void TPrintMonitor::ProcessChange(const CupsNotifierSignal& signal)
{
    const std::optional<CupsJobAttributes> attributes = attributesOf(signal.JobId);
    // Only the jobs of the user who runs this copy are ours. cupsd hides another user's name,
    // and a job it does not know cannot be vouched for.
    if (!attributes || attributes->UserName != m_userName)
        return;
    const QList<TPrinterChange> changes = ChangesFromSignal(signal, *attributes);
    bool completes = false;
    for (const TPrinterChange& change : changes)
        completes |= StatusFromChange(change.ChangeWord, change.Info ? &*change.Info : nullptr) ==
                     jsCompleted;
    // The signal and the reconciliation may both find one completion: the first reports it.
    if (completes && m_claimCompletion && !m_claimCompletion(attributes->Key))
        return;
    for (const TPrinterChange& change : changes) {
        const TNotifyInfo* info = change.Info ? &*change.Info : nullptr;
        JobInformation.Status = StatusFromChange(change.ChangeWord, info);
        if (JobInformation.Status == jsNone)
            continue;
        FillFromNotifyInfo(JobInformation, info);
        JobInformation.JobKey = attributes->Key;
        DoJob();
    }
    const std::uint32_t state = attributes->JobState ? attributes->JobState : signal.JobState;
    if (!completes && state < ipp_job_state::Canceled && m_jobUnderWay)
        m_jobUnderWay(attributes->Key);
}

void TPrintMonitor::DoJob()
{
    if (OnJob)
        OnJob(JobInformation);
}

// ---- TPrintersMonitor ---------------------------------------------------------------------

TPrintersMonitor::TPrintersMonitor(QObject* owner)
    : QObject(owner), m_userName(paths::CurrentUserName())
{
    // The printer list comes from the bus thread, like every later one: a cupsd that is slow
    // or hung never holds up the GUI thread.
    CupsServerWatcher::Sinks sinks;
    sinks.Signals = [this](const CupsNotifierSignal& signal) {
        route(signal);
    };
    sinks.Printers = [this](const QList<CupsPrinter>& printers) {
        QMetaObject::invokeMethod(
            this,
            [this, printers] {
                RemoveMonitors(printers);
                CreateMonitors(printers);
            },
            Qt::QueuedConnection);
    };
    sinks.Reported = [this](const QString& key) {
        return completionClaimed(key);
    };
    sinks.Completions = [this] {
        return m_claimCount.load();
    };
    m_server = new CupsServerWatcher(subscriptionTag(m_userName), std::move(sinks),
                                     paths::PrintFile(), &m_stopping);
    m_server->moveToThread(&m_busThread);
    m_busThread.setObjectName(QStringLiteral("vellora-cups-bus"));
    m_busThread.start();
    QMetaObject::invokeMethod(m_server, &CupsServerWatcher::Start, Qt::QueuedConnection);
}

TPrintersMonitor::~TPrintersMonitor()
{
    // Every watcher is told first, so that they all wind down while the subscription is
    // cancelled; none of them waits longer than one bounded request.
    for (const auto& monitor : Monitors)
        monitor->SignalStop();
    m_stopping = true;
    m_server->InterruptRequest();
    QMetaObject::invokeMethod(m_server, &CupsServerWatcher::Stop, Qt::BlockingQueuedConnection);
    m_busThread.quit();
    m_busThread.wait();
    // The watchers first: one may still be telling the bus object of a job under way.
    Monitors.clear();
    delete m_server;
    std::lock_guard lock(m_pendingLock);
    PendingJobs.clear();
}

void TPrintersMonitor::SetActive(bool value)
{
    if (value == m_active)
        return;
    m_active = value;
    for (const auto& monitor : Monitors) {
        if (value)
            monitor->Resume();
        else
            monitor->Suspend();
    }
}

void TPrintersMonitor::DoNewJob(const TJobInformation& job)
{
    if (OnNewJob)
        OnNewJob(job);
}

void TPrintersMonitor::DoJobChange(const TJobInformation& job)
{
    if (OnJobChange)
        OnJobChange(job);
}

void TPrintersMonitor::DoJobComplete(const TJobInformation& job)
{
    if (OnJobComplete)
        OnJobComplete(job);
}

void TPrintersMonitor::EnqueueJob(const TJobInformation& job)
{
    std::unique_ptr<TJobInformation> copy = job.Clone();
    {
        std::lock_guard lock(m_pendingLock);
        PendingJobs.push_back(std::move(copy));
    }
    QMetaObject::invokeMethod(this, &TPrintersMonitor::DispatchJobs, Qt::QueuedConnection);
}

void TPrintersMonitor::DispatchJobs()
{
    std::vector<std::unique_ptr<TJobInformation>> batch;
    {
        std::lock_guard lock(m_pendingLock);
        batch.swap(PendingJobs);
    }
    for (const auto& job : batch) {
        switch (job->Status) {
        case jsNew:
            DoNewJob(*job);
            break;
        case jsCompleted:
            DoJobComplete(*job);
            break;
        default:
            DoJobChange(*job);
            break;
        }
    }
}

void TPrintersMonitor::CreateMonitors(const QList<CupsPrinter>& printers)
{
    bool added = false;
    try {
        for (std::int32_t index = 0; index < printers.size(); ++index) {
            const QString key = routeKey(printers.at(index).Name);
            if (m_routes.contains(key))
                continue;
            auto monitor = TPrintMonitor::CreateMonitor(
                index, printers, [this](const TJobInformation& job) { EnqueueJob(job); },
                m_userName);
            if (!monitor)
                continue;
            TPrintMonitor* watcher = monitor.get();
            watcher->SetHooks([this](const QString& key) { return claimCompletion(key); },
                              [this](const QString& key) {
                                  QMetaObject::invokeMethod(
                                      m_server,
                                      [server = m_server, key] { server->WatchJobs(key); },
                                      Qt::QueuedConnection);
                              });
            Monitors.push_back(std::move(monitor));
            {
                std::lock_guard lock(m_routeLock);
                m_routes.insert(key, watcher);
                // Signals that came before the printer was known go to its new watcher.
                for (auto it = m_unrouted.begin(); it != m_unrouted.end();) {
                    if (routeKey(it->PrinterName) == key) {
                        watcher->Post(*it);
                        it = m_unrouted.erase(it);
                    } else {
                        ++it;
                    }
                }
            }
            if (m_active)
                watcher->Resume();
            added = true;
        }
    } catch (...) {
        // The watchers made so far stay.
    }
    if (added)
        Q_EMIT printersWatched();
}

void TPrintersMonitor::RemoveMonitors(const QList<CupsPrinter>& printers)
{
    QSet<QString> present;
    for (const CupsPrinter& printer : printers)
        present.insert(routeKey(printer.Name));
    std::vector<std::unique_ptr<TPrintMonitor>> gone;
    for (auto it = Monitors.begin(); it != Monitors.end();) {
        const QString key = routeKey((*it)->PrinterName());
        if (present.contains(key)) {
            ++it;
            continue;
        }
        {
            std::lock_guard lock(m_routeLock);
            m_routes.remove(key);
        }
        (*it)->SignalStop();
        gone.push_back(std::move(*it));
        it = Monitors.erase(it);
    }
    // Every removed watcher was told first; each ends within its aborted request.
    gone.clear();
}

bool TPrintersMonitor::claimCompletion(const QString& key)
{
    std::lock_guard lock(m_claimLock);
    if (m_claimed.contains(key))
        return false;
    m_claimed.insert(key);
    ++m_claimCount;
    m_claimOrder.push_back(key);
    if (m_claimOrder.size() > kClaimedJobs) {
        m_claimed.remove(m_claimOrder.front());
        m_claimOrder.pop_front();
    }
    return true;
}

bool TPrintersMonitor::completionClaimed(const QString& key) const
{
    std::lock_guard lock(m_claimLock);
    return m_claimed.contains(key);
}

void TPrintersMonitor::Reconcile()
{
    QMetaObject::invokeMethod(m_server, &CupsServerWatcher::Reconcile, Qt::QueuedConnection);
}

void TPrintersMonitor::route(const CupsNotifierSignal& signal)
{
    if (signal.PrinterName.isEmpty())
        return;
    bool unknownPrinter = false;
    {
        std::lock_guard lock(m_routeLock);
        if (TPrintMonitor* watcher = m_routes.value(routeKey(signal.PrinterName))) {
            watcher->Post(signal);
            return;
        }
        unknownPrinter = std::none_of(m_unrouted.begin(), m_unrouted.end(), [&](const auto& s) {
            return routeKey(s.PrinterName) == routeKey(signal.PrinterName);
        });
        if (m_unrouted.size() >= kUnroutedLimit)
            m_unrouted.pop_front();
        m_unrouted.push_back(signal);
    }
    // A printer installed after the start: read the list again so that it gets a watcher.
    if (unknownPrinter)
        m_server->RescanPrinters();
}

QStringList TPrintersMonitor::WatchedPrinters() const
{
    QStringList names;
    for (const auto& monitor : Monitors)
        names << monitor->PrinterName();
    return names;
}

bool TPrintersMonitor::IsSubscribed() const
{
    return m_server && m_server->SubscriptionId() > 0;
}

} // namespace vellora
