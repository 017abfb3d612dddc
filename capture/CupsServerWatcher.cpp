#include "CupsServerWatcher.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace vellora {

namespace {

constexpr int kRequestTimeoutMs = 400;
constexpr int kRepeatWindowMs = 2000;
constexpr std::size_t kRecentSignals = 64;
constexpr int kStartRetries = 10;
constexpr int kRetryDelayMs = 200;

constexpr const char* kNotifierPath = "/org/cups/cupsd/Notifier";
constexpr const char* kNotifierInterface = "org.cups.cupsd.Notifier";

const char* const kWatchedSignals[] = {"JobCreated",   "JobState",      "JobProgress",
                                       "JobCompleted", "JobStopped",    "JobConfigChanged",
                                       "PrinterAdded", "ServerStarted", "ServerRestarted"};

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

CupsServerWatcher::CupsServerWatcher(QByteArray tag, SignalSink onSignal, PrinterSink onPrinters)
    : m_tag(std::move(tag)), m_signals(std::move(onSignal)), m_printers(std::move(onPrinters))
{}

CupsServerWatcher::~CupsServerWatcher() = default;

void CupsServerWatcher::Start()
{
    m_client = std::make_unique<CupsClient>(kRequestTimeoutMs);
    m_busName = QStringLiteral("vellora-monitor-%1").arg(quintptr(this), 0, 16);
    m_socketPath = CupsSocketPath();
    if (!m_socketPath.isEmpty()) {
        m_socketWatch = new QFileSystemWatcher(this);
        connect(m_socketWatch, &QFileSystemWatcher::directoryChanged, this,
                &CupsServerWatcher::onSocketFolderChanged);
        armSocketWatch();
        m_socketPresent = QFileInfo::exists(m_socketPath);
        if (!m_socketPresent) {
            ensureBus();
            return; // cupsd is not running yet: its socket's appearance starts the watching
        }
    }
    serverUp();
}

void CupsServerWatcher::Stop()
{
    if (m_socketWatch) {
        delete m_socketWatch;
        m_socketWatch = nullptr;
    }
    if (const int id = m_subscriptionId.exchange(0); id > 0 && m_client)
        m_client->CancelSubscription(id);
    if (m_busConnected) {
        QDBusConnection::disconnectFromBus(m_busName);
        m_busConnected = false;
    }
    m_client.reset();
}

void CupsServerWatcher::RescanPrinters()
{
    if (!m_client)
        return;
    if (const auto printers = m_client->Printers())
        m_printers(*printers);
}

void CupsServerWatcher::ensureBus()
{
    if (m_busConnected)
        return;
    // The system bus, or the one $DBUS_SYSTEM_BUS_ADDRESS names.
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_busName);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(m_busName);
        return;
    }
    for (const char* member : kWatchedSignals)
        bus.connect(QString(), QString::fromLatin1(kNotifierPath),
                    QString::fromLatin1(kNotifierInterface), QString::fromLatin1(member), this,
                    SLOT(onNotifierSignal(QDBusMessage)));
    m_busConnected = true;
}

void CupsServerWatcher::ensureSubscription()
{
    if (!m_staleCancelled) {
        // Subscriptions outlive a crashed copy of Vellora, and cupsd allows only so many.
        const auto stale = m_client->SubscriptionsTagged(m_tag);
        if (!stale)
            return;
        for (int id : *stale)
            m_client->CancelSubscription(id);
        m_staleCancelled = true;
    }
    if (const int id = m_subscriptionId.load(); id > 0) {
        // Subscriptions survive a restart of cupsd: keep ours rather than add a second.
        const auto exists = m_client->SubscriptionExists(id);
        if (!exists || *exists)
            return;
        m_subscriptionId = 0;
    }
    m_subscriptionId = m_client->CreateSubscription(m_tag);
}

void CupsServerWatcher::serverUp()
{
    if (!m_client)
        return;
    ensureBus();
    ensureSubscription();
    const auto printers = m_client->Printers();
    if (printers)
        m_printers(*printers);
    if ((m_subscriptionId.load() == 0 || !printers || !m_busConnected) &&
        m_retries < kStartRetries) {
        // cupsd creates its socket a moment before it answers: try again a few times.
        ++m_retries;
        QTimer::singleShot(kRetryDelayMs, this, &CupsServerWatcher::serverUp);
        return;
    }
    m_retries = 0;
}

void CupsServerWatcher::armSocketWatch()
{
    if (!m_socketWatch)
        return;
    if (!m_socketWatch->directories().isEmpty())
        m_socketWatch->removePaths(m_socketWatch->directories());
    // The socket's folder may not exist before cupsd starts: watch the nearest folder above.
    QDir folder = QFileInfo(m_socketPath).dir();
    while (!folder.exists() && !folder.isRoot())
        folder.setPath(QFileInfo(folder.absolutePath()).path());
    m_socketWatch->addPath(folder.absolutePath());
}

void CupsServerWatcher::onSocketFolderChanged()
{
    armSocketWatch();
    const bool present = QFileInfo::exists(m_socketPath);
    const bool appeared = present && !m_socketPresent;
    m_socketPresent = present;
    if (appeared) {
        m_retries = 0;
        serverUp();
    }
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
    if (signal.Member == QLatin1String("PrinterAdded")) {
        RescanPrinters();
        return;
    }
    // Other subscribers' notifiers may send the same event again: pass it on once.
    if (isRepeated(signal))
        return;
    m_signals(signal);
}

} // namespace vellora
