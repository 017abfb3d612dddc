#include "CupsServerWatcher.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace vellora {

namespace {

constexpr int kRequestTimeoutMs = 400;
constexpr int kCancelTimeoutMs = 300;
constexpr int kRepeatWindowMs = 2000;
constexpr std::size_t kRecentSignals = 64;
constexpr int kStartRetries = 10;
constexpr int kRetryDelayMs = 200;
constexpr int kFailedReconcilesBeforeRest = 6;
constexpr int kPrintFolderCheckMs = 1500;
constexpr int kPrintFileGraceMs = 1000;

constexpr const char* kNotifierPath = "/org/cups/cupsd/Notifier";
constexpr const char* kNotifierInterface = "org.cups.cupsd.Notifier";
constexpr const char* kDefaultBusSocket = "/run/dbus/system_bus_socket";

// No JobProgress: another subscriber's notifier may send one per page, and none of them
// changes what the intake does.
const char* const kWatchedSignals[] = {"JobCreated",     "JobState",         "JobCompleted",
                                       "JobStopped",     "JobConfigChanged", "PrinterAdded",
                                       "PrinterDeleted", "ServerStarted",    "ServerRestarted"};

// The nearest folder that exists on the way up to `path`'s own folder.
QString existingFolderOf(const QString& path)
{
    QDir folder = QFileInfo(path).dir();
    while (!folder.exists() && !folder.isRoot())
        folder.setPath(QFileInfo(folder.absolutePath()).path());
    return folder.absolutePath();
}

// What tells one state of a folder from another: which folder it is and when its list of
// files last changed. Empty while there is no folder.
QByteArray folderIdentity(const QString& path)
{
    struct stat info
    {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    return QByteArray::number(quint64(info.st_dev)) + ':' +
           QByteArray::number(quint64(info.st_ino)) + ':' +
           QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qint64(info.st_mtim.tv_nsec));
}

// Which file stands at `path`: a print file renamed into place is a new one.
QByteArray fileIdentity(const QString& path)
{
    struct stat info
    {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return QByteArray::number(quint64(info.st_dev)) + ':' +
           QByteArray::number(quint64(info.st_ino)) + ':' +
           QByteArray::number(qint64(info.st_ctim.tv_sec)) + '.' +
           QByteArray::number(qint64(info.st_ctim.tv_nsec));
}

// libcups may wait a whole second for an answer before it asks the time-out callback: a
// request made while the program ends gets a guard that cuts its connection at the deadline.
template <typename Request>
void withinDeadline(CupsClient& client, std::chrono::milliseconds deadline, Request request)
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::thread guard([&] {
        std::unique_lock hold(lock);
        if (!done.wait_for(hold, deadline, [&] { return finished; }))
            client.Interrupt();
    });
    request();
    {
        std::lock_guard hold(lock);
        finished = true;
    }
    done.notify_one();
    guard.join();
}

} // namespace

CupsNotifierSignal SignalFromMessage(const QString& member, const QVariantList& arguments)
{
    CupsNotifierSignal signal;
    if (arguments.isEmpty())
        return signal;
    signal.Member = member;
    signal.Text = arguments.value(0).toString();
    if (arguments.size() >= 6) {
        signal.PrinterUri = arguments.value(1).toString();
        signal.PrinterName = arguments.value(2).toString();
        signal.PrinterState = arguments.value(3).toUInt();
        signal.PrinterStateReasons = arguments.value(4).toString();
        signal.Accepting = arguments.value(5).toBool();
    }
    if (arguments.size() >= 11) {
        signal.JobId = arguments.value(6).toUInt();
        signal.JobState = arguments.value(7).toUInt();
        signal.JobStateReasons = arguments.value(8).toString();
        signal.JobName = arguments.value(9).toString();
        signal.Impressions = arguments.value(10).toUInt();
    } else if (signal.IsJobSignal()) {
        signal.Member.clear();
    }
    return signal;
}

QString BusSocketPath(const QByteArray& address)
{
    if (address.isEmpty())
        return QString::fromLatin1(kDefaultBusSocket);
    for (const QByteArray& part : address.split(';').first().split(',')) {
        if (part.startsWith("unix:path="))
            return QString::fromLocal8Bit(part.mid(10));
        if (part.startsWith("path="))
            return QString::fromLocal8Bit(part.mid(5));
    }
    return QString(); // an abstract socket or a TCP bus: nothing on disk to watch
}

CupsServerWatcher::CupsServerWatcher(QByteArray tag, Sinks sinks, const QString& printFile,
                                     const std::atomic<bool>* stopping)
    : m_tag(std::move(tag)), m_sinks(std::move(sinks)), m_stopping(stopping),
      m_printFolder(QFileInfo(printFile).path()), m_printFile(printFile),
      m_reconciler(QDateTime::currentSecsSinceEpoch())
{}

CupsServerWatcher::~CupsServerWatcher() = default;

void CupsServerWatcher::Start()
{
    m_client = std::make_unique<CupsClient>(kRequestTimeoutMs, m_stopping);
    m_activeClient = m_client.get();
    // A name of its own, never reused: a watcher made where a stopped one lay must not meet
    // that one's connection while the bus thread is still taking it down.
    static std::atomic<int> started{0};
    m_busName = QStringLiteral("vellora-monitor-%1").arg(++started);
    m_reconcileTimer = new QTimer(this);
    m_reconcileTimer->setSingleShot(true);
    connect(m_reconcileTimer, &QTimer::timeout, this, &CupsServerWatcher::reconcileDue);
    m_printFileGrace = new QTimer(this);
    m_printFileGrace->setSingleShot(true);
    m_printFileGrace->setInterval(kPrintFileGraceMs);
    connect(m_printFileGrace, &QTimer::timeout, this, &CupsServerWatcher::printFileGraceOver);
    m_printFileSeen = fileIdentity(m_printFile);

    m_cupsSocket.Path = CupsSocketPath();
    m_busSocket.Path = BusSocketPath(qgetenv("DBUS_SYSTEM_BUS_ADDRESS"));
    m_folderWatch = new QFileSystemWatcher(this);
    connect(m_folderWatch, &QFileSystemWatcher::directoryChanged, this,
            &CupsServerWatcher::onFolderChanged);
    m_printFolderCheck = new QTimer(this);
    m_printFolderCheck->setInterval(kPrintFolderCheckMs);
    connect(m_printFolderCheck, &QTimer::timeout, this, &CupsServerWatcher::checkPrintFolder);
    m_printFolderSeen = folderIdentity(m_printFolder);
    armWatches();
    socketChanged(m_cupsSocket);
    socketChanged(m_busSocket);
    ensureBus();
    if (!m_cupsSocket.Path.isEmpty() && m_cupsSocket.Inode == 0)
        return; // cupsd is not running yet: its socket's appearance starts the watching
    serverUp();
}

void CupsServerWatcher::Stop()
{
    delete m_folderWatch;
    m_folderWatch = nullptr;
    if (m_printFolderCheck)
        m_printFolderCheck->stop();
    if (m_reconcileTimer)
        m_reconcileTimer->stop();
    if (m_printFileGrace)
        m_printFileGrace->stop();
    // A hung server gets no cancellation: the next start cancels what we leave behind.
    const bool hung = m_client && m_client->LastRequestTimedOut();
    if (const int id = m_subscriptionId.exchange(0); id > 0 && !hung) {
        // The shared client gives up at once now; cancelling gets a short time of its own.
        CupsClient quick(kCancelTimeoutMs);
        withinDeadline(quick, std::chrono::milliseconds(kCancelTimeoutMs),
                       [&] { quick.CancelSubscription(id); });
    }
    dropBus();
    m_activeClient = nullptr;
    m_client.reset();
}

void CupsServerWatcher::InterruptRequest()
{
    // The client lives until Stop, which runs on this object's thread after this returns.
    if (CupsClient* client = m_activeClient.load())
        client->Interrupt();
}

void CupsServerWatcher::RescanPrinters()
{
    if (!m_client)
        return;
    if (const auto printers = m_client->Printers())
        m_sinks.Printers(*printers);
}

bool CupsServerWatcher::ensureBus()
{
    if (m_busConnected)
        return true;
    // The system bus, or the one $DBUS_SYSTEM_BUS_ADDRESS names.
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_busName);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(m_busName);
        return false;
    }
    hookSignals(bus, true);
    m_busConnected = true;
    return true;
}

// Connects or disconnects the bus signals this watcher takes.
void CupsServerWatcher::hookSignals(QDBusConnection& bus, bool hook)
{
    const auto apply = [&](const QString& path, const QString& interface, const QString& member,
                           const char* slot) {
        if (hook)
            bus.connect(QString(), path, interface, member, this, slot);
        else
            bus.disconnect(QString(), path, interface, member, this, slot);
    };
    for (const char* member : kWatchedSignals)
        apply(QString::fromLatin1(kNotifierPath), QString::fromLatin1(kNotifierInterface),
              QString::fromLatin1(member), SLOT(onNotifierSignal(QDBusMessage)));
    apply(QStringLiteral("/org/freedesktop/DBus/Local"),
          QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"),
          SLOT(onBusDisconnected()));
}

void CupsServerWatcher::dropBus()
{
    if (!m_busConnected)
        return;
    m_busConnected = false;
    // The hooks go first and at once: the bus thread takes the connection down later, and
    // must not find this watcher among its receivers once it is gone.
    QDBusConnection bus(m_busName);
    hookSignals(bus, false);
    QDBusConnection::disconnectFromBus(m_busName);
}

void CupsServerWatcher::onBusDisconnected()
{
    if (!m_busConnected)
        return;
    QTimer::singleShot(0, this, &CupsServerWatcher::busUp);
}

void CupsServerWatcher::busUp()
{
    if (!m_client)
        return;
    dropBus();
    if (!ensureBus()) {
        if (m_busRetries++ < kStartRetries)
            QTimer::singleShot(kRetryDelayMs, this, &CupsServerWatcher::busUp);
        return;
    }
    m_busRetries = 0;
    // cupsd's notifier still speaks to the bus that is gone: a new subscription starts a new
    // notifier on the new bus.
    if (m_subscriptionId.load() > 0)
        ensureSubscription(true);
    Reconcile();
}

void CupsServerWatcher::ensureSubscription(bool renew)
{
    if (!m_staleCancelled) {
        // Subscriptions outlive a crashed copy of Vellora, and cupsd allows only so many.
        const auto stale = m_client->SubscriptionsTagged(m_tag);
        if (!stale)
            return;
        for (int id : *stale)
            m_client->CancelSubscription(id);
        m_staleCancelled = true;
        m_subscriptionId = 0;
    }
    if (const int id = m_subscriptionId.load(); id > 0) {
        if (renew) {
            m_client->CancelSubscription(id);
        } else {
            // Subscriptions survive a restart of cupsd, not a crash soon after they were made;
            // and a lost id may have gone to someone else's subscription since.
            const auto ours = m_client->SubscriptionsTagged(m_tag);
            if (!ours || ours->contains(id))
                return;
        }
        m_subscriptionId = 0;
    }
    m_subscriptionId = m_client->CreateSubscription(m_tag);
}

void CupsServerWatcher::serverUp()
{
    if (!m_client)
        return;
    ensureBus();
    ensureSubscription(false);
    const auto printers = m_client->Printers();
    if (printers)
        m_sinks.Printers(*printers);
    if ((m_subscriptionId.load() == 0 || !printers || !m_busConnected) &&
        m_serverRetries < kStartRetries) {
        // cupsd creates its socket a moment before it answers: try again a few times.
        ++m_serverRetries;
        QTimer::singleShot(kRetryDelayMs, this, &CupsServerWatcher::serverUp);
        return;
    }
    m_serverRetries = 0;
    // Whatever finished while nobody was listening.
    Reconcile();
}

void CupsServerWatcher::armWatches()
{
    if (!m_folderWatch)
        return;
    QStringList wanted;
    for (const QString& socket : {m_cupsSocket.Path, m_busSocket.Path})
        if (!socket.isEmpty())
            wanted << existingFolderOf(socket);
    // The print folder itself, once the backend has made it (its parent is not ours to list).
    if (!m_printFolder.isEmpty() && QFileInfo(m_printFolder).isDir())
        wanted << m_printFolder;
    wanted.removeDuplicates();
    const QStringList watched = m_folderWatch->directories();
    for (const QString& folder : watched)
        if (!wanted.contains(folder) || !QFileInfo(folder).isDir())
            m_folderWatch->removePath(folder);
    for (const QString& folder : wanted)
        if (!m_folderWatch->directories().contains(folder))
            m_folderWatch->addPath(folder);
    // The backend makes the folder at this user's first printout, and an administrator may
    // remove it: until it is under watch, looking at it now and then is what notices.
    if (m_printFolder.isEmpty() || printFolderWatched())
        m_printFolderCheck->stop();
    else if (!m_printFolderCheck->isActive())
        m_printFolderCheck->start();
}

bool CupsServerWatcher::printFolderWatched() const
{
    return m_folderWatch && m_folderWatch->directories().contains(m_printFolder);
}

// A folder that appeared (or one that cannot be watched and changed) may hold the print file
// of a job that ended unseen: no signal may ever tell of it.
void CupsServerWatcher::checkPrintFolder()
{
    QByteArray identity = folderIdentity(m_printFolder);
    if (identity == m_printFolderSeen)
        return;
    m_printFolderSeen = std::move(identity);
    armWatches();
    if (!m_printFolderSeen.isEmpty())
        Reconcile();
}

bool CupsServerWatcher::socketChanged(SocketWatch& socket)
{
    if (socket.Path.isEmpty())
        return false;
    struct stat info
    {};
    ino_t identity = 0;
    qint64 changedAt = 0;
    if (::lstat(QFile::encodeName(socket.Path).constData(), &info) == 0) {
        identity = info.st_ino;
        changedAt = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    }
    // A crashed server leaves its socket file behind and the next one makes it anew, perhaps
    // under the same inode number: the time of the change tells them apart.
    const bool changed = identity != socket.Inode || changedAt != socket.ChangedAt;
    socket.Inode = identity;
    socket.ChangedAt = changedAt;
    return changed;
}

void CupsServerWatcher::onFolderChanged(const QString& folder)
{
    armWatches();
    if (socketChanged(m_busSocket) && m_busSocket.Inode != 0) {
        m_busRetries = 0;
        busUp();
    }
    if (socketChanged(m_cupsSocket) && m_cupsSocket.Inode != 0) {
        m_serverRetries = 0;
        serverUp();
    }
    if (folder == m_printFolder) {
        m_printFolderSeen = folderIdentity(m_printFolder);
        printFileArrived();
    }
}

// A print file renamed into place: its job is ending, whether a signal says so or not.
void CupsServerWatcher::printFileArrived()
{
    QByteArray identity = fileIdentity(m_printFile);
    if (identity.isEmpty() || identity == m_printFileSeen)
        return; // a temporary file came or went, or the print file was removed
    m_printFileSeen = std::move(identity);
    if (!m_printFileGrace->isActive()) {
        m_printFilesArrived = 0;
        m_completionsAtFirstFile = m_sinks.Completions ? m_sinks.Completions() : 0;
        m_printFileGrace->start();
    }
    ++m_printFilesArrived;
}

void CupsServerWatcher::printFileGraceOver()
{
    const quint64 reported =
        (m_sinks.Completions ? m_sinks.Completions() : 0) - m_completionsAtFirstFile;
    if (reported < m_printFilesArrived)
        Reconcile();
}

void CupsServerWatcher::Reconcile()
{
    m_reconciler.ResetBackOff();
    m_failedReconciles = 0;
    reconcileNow();
}

void CupsServerWatcher::WatchJobs(const QString& key)
{
    if (!m_reconcileTimer)
        return;
    if (!key.isEmpty())
        m_watchedJobs.insert(key);
    if (m_reconcileTimer->isActive())
        return;
    m_reconciler.ResetBackOff();
    scheduleReconcile();
}

void CupsServerWatcher::scheduleReconcile()
{
    m_reconcileTimer->start(m_reconciler.NextDelayMs());
}

// The back-off's turn: cupsd is asked unless the signals have reported the end of every job
// it was waiting for and cupsd's last answer had none of ours under way.
void CupsServerWatcher::reconcileDue()
{
    for (auto it = m_watchedJobs.begin(); it != m_watchedJobs.end();)
        it = m_sinks.Reported && m_sinks.Reported(*it) ? m_watchedJobs.erase(it) : std::next(it);
    if (m_watchedJobs.isEmpty() && !m_jobsUnderWay && m_failedReconciles == 0)
        return;
    reconcileNow();
}

void CupsServerWatcher::reconcileNow()
{
    if (!m_client)
        return;
    armWatches();
    const auto jobs = m_client->MyJobs();
    if (!jobs) {
        // cupsd is away: its socket's return asks again, so stop after a few tries.
        if (++m_failedReconciles < kFailedReconcilesBeforeRest)
            scheduleReconcile();
        return;
    }
    m_failedReconciles = 0;
    const JobReconciler::Outcome outcome = m_reconciler.Read(*jobs, m_sinks.Reported);
    m_jobsUnderWay = outcome.KeepAsking;
    for (const CupsJobSummary& job : outcome.Completed) {
        // Reported exactly as cupsd's own completion signal would be.
        CupsNotifierSignal signal;
        signal.Member = QStringLiteral("JobCompleted");
        signal.PrinterName = job.PrinterName;
        signal.JobId = job.Id;
        signal.JobState = ipp_job_state::Completed;
        signal.JobName = job.JobName;
        m_sinks.Signals(signal);
    }
    if (outcome.KeepAsking)
        scheduleReconcile();
    else
        m_reconcileTimer->stop();
}

bool CupsServerWatcher::isRepeated(const CupsNotifierSignal& signal)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    while (!m_recent.empty() &&
           (now - m_recent.front().second > kRepeatWindowMs || m_recent.size() > kRecentSignals))
        m_recent.pop_front();
    const QString key = SignalKey(signal);
    for (const auto& [seen, when] : m_recent)
        if (seen == key)
            return true;
    m_recent.emplace_back(key, now);
    return false;
}

void CupsServerWatcher::onNotifierSignal(const QDBusMessage& message)
{
    const CupsNotifierSignal signal = SignalFromMessage(message.member(), message.arguments());
    if (signal.Member.isEmpty())
        return;
    if (signal.Member == QLatin1String("ServerStarted") ||
        signal.Member == QLatin1String("ServerRestarted")) {
        serverUp();
        return;
    }
    if (signal.Member == QLatin1String("PrinterAdded") ||
        signal.Member == QLatin1String("PrinterDeleted")) {
        RescanPrinters();
        return;
    }
    // Other subscribers' notifiers may send the same event again: pass it on once.
    if (isRepeated(signal))
        return;
    m_sinks.Signals(signal);
}

} // namespace vellora
