#include "CupsClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <cups/cups.h>
#include <sys/socket.h>

namespace vellora {

namespace {

constexpr const char* kServerUri = "ipp://localhost/";

// Every request speaks for the user who runs us.
void addRequestingUser(ipp_t* message)
{
    ippAddString(message, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
}

// A request addressed to the whole server.
ipp_t* serverRequest(ipp_op_t operation)
{
    ipp_t* message = ippNewRequest(operation);
    ippAddString(message, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, kServerUri);
    addRequestingUser(message);
    return message;
}

// A request about one of the server's subscriptions.
ipp_t* subscriptionRequest(ipp_op_t operation, int id)
{
    ipp_t* message = serverRequest(operation);
    ippAddInteger(message, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", id);
    return message;
}
constexpr const char* kDefaultSocket = "/run/cups/cups.sock";

// libcups asks every 100 ms whether to go on waiting for the server.
constexpr double kWaitSliceSeconds = 0.1;

int keepWaiting(http_t*, void* client)
{
    return static_cast<const CupsClient*>(client)->KeepWaiting() ? 1 : 0;
}

// The monitor never asks anyone for a password: a request that needs one fails.
const char* noPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

QString stringOf(ipp_attribute_t* attribute)
{
    if (!attribute)
        return QString();
    return QString::fromUtf8(ippGetString(attribute, 0, nullptr));
}

std::uint32_t numberOf(ipp_attribute_t* attribute, std::uint32_t fallback = 0)
{
    if (!attribute)
        return fallback;
    const int value = ippGetInteger(attribute, 0);
    return value < 0 ? fallback : std::uint32_t(value);
}

// Deletes a response when it goes out of scope.
struct Response
{
    ipp_t* ipp;
    ~Response() { ippDelete(ipp); }
    bool ok() const { return ipp && ippGetStatusCode(ipp) <= IPP_STATUS_OK_EVENTS_COMPLETE; }
};

} // namespace

QString CupsServerName()
{
    const QByteArray custom = qgetenv("CUPS_SERVER");
    if (!custom.isEmpty())
        return QString::fromLocal8Bit(custom);
    if (QFileInfo::exists(QString::fromLatin1(kDefaultSocket)))
        return QString::fromLatin1(kDefaultSocket);
    return QString::fromUtf8(cupsServer());
}

QString CupsSocketPath()
{
    const QByteArray custom = qgetenv("CUPS_SERVER");
    if (custom.isEmpty())
        return QString::fromLatin1(kDefaultSocket);
    return custom.startsWith('/') ? QString::fromLocal8Bit(custom) : QString();
}

CupsClient::CupsClient(int timeoutMs, const std::atomic<bool>* abort)
    : m_timeoutMs(timeoutMs), m_abort(abort)
{}

CupsClient::~CupsClient()
{
    Disconnect();
}

void CupsClient::Disconnect()
{
    {
        std::lock_guard lock(m_socketLock);
        m_socket = -1;
    }
    if (m_http)
        httpClose(m_http);
    m_http = nullptr;
}

void CupsClient::Interrupt()
{
    std::lock_guard lock(m_socketLock);
    if (m_socket >= 0 && m_inRequest.load()) {
        m_interrupted = true;
        ::shutdown(m_socket, SHUT_RDWR);
    }
}

bool CupsClient::KeepWaiting() const
{
    if (m_abort && m_abort->load())
        return false;
    return QDateTime::currentMSecsSinceEpoch() - m_requestStarted < m_timeoutMs;
}

bool CupsClient::ensureConnected()
{
    if (m_http)
        return true;
    cupsSetPasswordCB2(noPassword, nullptr);
    const QByteArray server = CupsServerName().toLocal8Bit();
    int cancel = 0;
    m_http = httpConnect2(server.constData(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                          m_timeoutMs, &cancel);
    if (!m_http)
        return false;
    httpSetTimeout(m_http, kWaitSliceSeconds, keepWaiting, this);
    std::lock_guard lock(m_socketLock);
    m_socket = httpGetFd(m_http);
    return true;
}

ipp_t* CupsClient::request(ipp_t* message)
{
    m_requestStarted = QDateTime::currentMSecsSinceEpoch();
    if ((m_abort && m_abort->load()) || !ensureConnected()) {
        ippDelete(message);
        return nullptr;
    }
    m_interrupted = false;
    m_inRequest = true;
    ipp_t* response = cupsDoRequest(m_http, message, "/");
    m_inRequest = false;
    m_timedOut =
        !response && (m_interrupted.load() ||
                      QDateTime::currentMSecsSinceEpoch() - m_requestStarted >= m_timeoutMs);
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        // A broken connection is made anew next time; a refused request keeps it.
        if (!response || httpError(m_http) != 0 || cupsLastError() >= IPP_STATUS_ERROR_INTERNAL) {
            Disconnect();
        }
    }
    return response;
}

std::optional<QList<CupsPrinter>> CupsClient::Printers()
{
    ipp_t* message = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    addRequestingUser(message);
    static const char* const wanted[] = {"printer-name", "device-uri", "printer-is-shared",
                                         "printer-type"};
    ippAddStrings(message, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(wanted)), nullptr, wanted);
    Response response{request(message)};
    if (!response.ipp)
        return std::nullopt;
    QList<CupsPrinter> printers;
    if (ippGetStatusCode(response.ipp) == IPP_STATUS_ERROR_NOT_FOUND)
        return printers; // no printer at all
    if (!response.ok())
        return std::nullopt;
    CupsPrinter current;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.ipp); attribute;
         attribute = ippNextAttribute(response.ipp)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            if (!current.Name.isEmpty())
                printers << current;
            current = CupsPrinter();
            continue;
        }
        const QByteArray key(name);
        if (key == "printer-name")
            current.Name = stringOf(attribute);
        else if (key == "device-uri")
            current.DeviceUri = stringOf(attribute);
        else if (key == "printer-is-shared")
            current.Shared = ippGetBoolean(attribute, 0);
    }
    if (!current.Name.isEmpty())
        printers << current;
    return printers;
}

std::optional<CupsJobAttributes> CupsClient::JobAttributes(std::uint32_t jobId)
{
    ipp_t* message = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = QByteArray("ipp://localhost/jobs/") + QByteArray::number(jobId);
    ippAddString(message, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    addRequestingUser(message);
    static const char* const wanted[] = {"job-originating-user-name",
                                         "job-originating-host-name",
                                         "job-name",
                                         "job-state",
                                         "copies",
                                         "orientation-requested",
                                         "job-k-octets",
                                         "job-k-octets-processed",
                                         "job-impressions",
                                         "job-uuid",
                                         "time-at-creation"};
    ippAddStrings(message, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(wanted)), nullptr, wanted);
    Response response{request(message)};
    if (!response.ok())
        return std::nullopt;
    ipp_t* ipp = response.ipp;
    CupsJobAttributes job;
    // cupsd hides another user's names from us: they come back absent or as a placeholder.
    job.UserName = stringOf(ippFindAttribute(ipp, "job-originating-user-name", IPP_TAG_NAME));
    job.HostName = stringOf(ippFindAttribute(ipp, "job-originating-host-name", IPP_TAG_NAME));
    job.JobName = stringOf(ippFindAttribute(ipp, "job-name", IPP_TAG_NAME));
    job.JobState = numberOf(ippFindAttribute(ipp, "job-state", IPP_TAG_ENUM));
    job.Copies = numberOf(ippFindAttribute(ipp, "copies", IPP_TAG_INTEGER), 1);
    job.Orientation = numberOf(ippFindAttribute(ipp, "orientation-requested", IPP_TAG_ENUM));
    job.KOctets = numberOf(ippFindAttribute(ipp, "job-k-octets", IPP_TAG_INTEGER));
    job.KOctetsProcessed =
        numberOf(ippFindAttribute(ipp, "job-k-octets-processed", IPP_TAG_INTEGER));
    job.Impressions = numberOf(ippFindAttribute(ipp, "job-impressions", IPP_TAG_INTEGER));
    job.Key = JobKeyOf(stringOf(ippFindAttribute(ipp, "job-uuid", IPP_TAG_URI)), jobId,
                       numberOf(ippFindAttribute(ipp, "time-at-creation", IPP_TAG_INTEGER)));
    return job;
}

std::optional<QList<CupsJobSummary>> CupsClient::MyJobs()
{
    ipp_t* message = serverRequest(IPP_OP_GET_JOBS);
    ippAddString(message, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddBoolean(message, IPP_TAG_OPERATION, "my-jobs", 1);
    static const char* const wanted[] = {"job-id",           "job-state", "job-printer-uri",
                                         "job-name",         "job-uuid",  "time-at-creation",
                                         "time-at-completed"};
    ippAddStrings(message, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(wanted)), nullptr, wanted);
    Response response{request(message)};
    if (!response.ipp)
        return std::nullopt;
    QList<CupsJobSummary> jobs;
    if (ippGetStatusCode(response.ipp) == IPP_STATUS_ERROR_NOT_FOUND)
        return jobs;
    if (!response.ok())
        return std::nullopt;
    CupsJobSummary job;
    QString uuid;
    qint64 createdAt = 0;
    const auto finish = [&] {
        if (job.Id > 0) {
            job.Key = JobKeyOf(uuid, job.Id, createdAt);
            jobs << job;
        }
        job = CupsJobSummary();
        uuid.clear();
        createdAt = 0;
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.ipp); attribute;
         attribute = ippNextAttribute(response.ipp)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            finish();
            continue;
        }
        const QByteArray key(name);
        if (key == "job-id")
            job.Id = numberOf(attribute);
        else if (key == "job-state")
            job.State = numberOf(attribute);
        else if (key == "job-printer-uri")
            job.PrinterName = stringOf(attribute).section(u'/', -1);
        else if (key == "job-name")
            job.JobName = stringOf(attribute);
        else if (key == "job-uuid")
            uuid = stringOf(attribute);
        else if (key == "time-at-creation")
            job.CreatedAt = createdAt = numberOf(attribute);
        else if (key == "time-at-completed" && ippGetValueTag(attribute) == IPP_TAG_INTEGER)
            job.CompletedAt = numberOf(attribute);
    }
    finish();
    return jobs;
}

int CupsClient::CreateSubscription(const QByteArray& tag)
{
    ipp_t* message = serverRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    ippAddString(message, IPP_TAG_SUBSCRIPTION, IPP_TAG_URI, "notify-recipient-uri", nullptr,
                 "dbus://");
    // No job-progress: one event per page floods cupsd's notifier, which then drops events,
    // completions included.
    static const char* const events[] = {"job-created",    "job-completed",   "job-state-changed",
                                         "job-stopped",    "printer-added",   "printer-deleted",
                                         "server-started", "server-restarted"};
    ippAddStrings(message, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events",
                  int(std::size(events)), nullptr, events);
    ippAddInteger(message, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", 0);
    ippAddOctetString(message, IPP_TAG_SUBSCRIPTION, "notify-user-data", tag.constData(),
                      int(tag.size()));
    Response response{request(message)};
    if (!response.ok())
        return 0;
    return int(numberOf(ippFindAttribute(response.ipp, "notify-subscription-id", IPP_TAG_INTEGER)));
}

std::optional<QList<int>> CupsClient::SubscriptionsTagged(const QByteArray& tag)
{
    ipp_t* message = serverRequest(IPP_OP_GET_SUBSCRIPTIONS);
    ippAddBoolean(message, IPP_TAG_OPERATION, "my-subscriptions", 1);
    Response response{request(message)};
    if (!response.ipp)
        return std::nullopt;
    QList<int> found;
    if (ippGetStatusCode(response.ipp) == IPP_STATUS_ERROR_NOT_FOUND)
        return found;
    if (!response.ok())
        return std::nullopt;
    int id = 0;
    QByteArray data;
    QString recipient;
    const auto finish = [&] {
        if (id > 0 && data == tag && recipient.startsWith(QLatin1String("dbus:")))
            found << id;
        id = 0;
        data.clear();
        recipient.clear();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.ipp); attribute;
         attribute = ippNextAttribute(response.ipp)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            finish();
            continue;
        }
        const QByteArray key(name);
        if (key == "notify-subscription-id") {
            id = ippGetInteger(attribute, 0);
        } else if (key == "notify-recipient-uri") {
            recipient = stringOf(attribute);
        } else if (key == "notify-user-data") {
            int length = 0;
            const void* bytes = ippGetOctetString(attribute, 0, &length);
            data = QByteArray(static_cast<const char*>(bytes), length);
        }
    }
    finish();
    return found;
}

std::optional<bool> CupsClient::SubscriptionExists(int id)
{
    ipp_t* message = subscriptionRequest(IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES, id);
    Response response{request(message)};
    if (!response.ipp)
        return std::nullopt;
    if (ippGetStatusCode(response.ipp) == IPP_STATUS_ERROR_NOT_FOUND)
        return false;
    if (!response.ok())
        return std::nullopt;
    return true;
}

bool CupsClient::CancelSubscription(int id)
{
    ipp_t* message = subscriptionRequest(IPP_OP_CANCEL_SUBSCRIPTION, id);
    Response response{request(message)};
    return response.ok();
}

} // namespace vellora
