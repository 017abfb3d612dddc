#include "CupsClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
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

// Names the attributes the answer is to carry.
template <std::size_t Count>
void addRequestedAttributes(ipp_t* message, const char* const (&names)[Count])
{
    ippAddStrings(message, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(Count),
                  nullptr, names);
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
constexpr qint64 kHungAfterMs = 500;

int keepWaiting(http_t*, void* client)
{
    return static_cast<CupsClient*>(client)->KeepWaiting() ? 1 : 0;
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

bool booleanOf(ipp_attribute_t* attribute)
{
    return attribute && ippGetBoolean(attribute, 0);
}

// Deletes a response when it goes out of scope.
struct Response
{
    ipp_t* ipp;
    ~Response() { ippDelete(ipp); }
    bool ok() const { return ipp && ippGetStatusCode(ipp) <= IPP_STATUS_OK_EVENTS_COMPLETE; }
    // Whether cupsd found what it was asked about; none without an answer, or with a refusal.
    std::optional<bool> found() const
    {
        if (ipp && ippGetStatusCode(ipp) == IPP_STATUS_ERROR_NOT_FOUND)
            return false;
        if (!ok())
            return std::nullopt;
        return true;
    }
};

// The attributes of one thing in an answer that lists things (printers, jobs, subscriptions),
// by name. They live as long as the response.
using AttributeGroup = QHash<QByteArray, ipp_attribute_t*>;

// The groups of a listing answer, one per thing, as cupsd separates them; "not found" is an
// empty list, no answer or a refusal is none.
std::optional<QList<AttributeGroup>> groupsOf(const Response& response)
{
    const std::optional<bool> found = response.found();
    if (!found)
        return std::nullopt;
    QList<AttributeGroup> groups;
    if (!*found)
        return groups;
    AttributeGroup group;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.ipp); attribute;
         attribute = ippNextAttribute(response.ipp)) {
        if (const char* name = ippGetName(attribute)) {
            group.insert(QByteArray(name), attribute);
        } else {
            groups << group;
            group.clear();
        }
    }
    groups << group;
    return groups;
}

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
    m_cut = true;
    if (m_socket >= 0 && m_inRequest.load()) {
        m_interrupted = true;
        ::shutdown(m_socket, SHUT_RDWR);
    }
}

bool CupsClient::KeepWaiting()
{
    const bool keep = !m_cut.load() && !(m_abort && m_abort->load()) &&
                      QDateTime::currentMSecsSinceEpoch() - m_requestStarted < m_timeoutMs;
    if (!keep) {
        // libcups would still wait for the rest of its second, or reconnect and ask again.
        std::lock_guard lock(m_socketLock);
        if (m_http)
            ::shutdown(httpGetFd(m_http), SHUT_RDWR);
    }
    return keep;
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
    if (m_cut.load() || (m_abort && m_abort->load()) || !ensureConnected()) {
        ippDelete(message);
        return nullptr;
    }
    m_interrupted = false;
    m_inRequest = true;
    ipp_t* response = cupsDoRequest(m_http, message, "/");
    m_inRequest = false;
    // A request cut short by shutdown counts as hung only when cupsd had already kept it for
    // a while: a healthy cupsd answers within milliseconds, and its subscription is still
    // worth cancelling.
    const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_requestStarted;
    m_timedOut =
        !response && (elapsed >= m_timeoutMs || (m_interrupted.load() && elapsed >= kHungAfterMs));
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
    addRequestedAttributes(message, wanted);
    Response response{request(message)};
    const std::optional<QList<AttributeGroup>> groups = groupsOf(response);
    if (!groups)
        return std::nullopt;
    QList<CupsPrinter> printers;
    for (const AttributeGroup& group : *groups) {
        CupsPrinter printer;
        printer.Name = stringOf(group.value("printer-name"));
        printer.DeviceUri = stringOf(group.value("device-uri"));
        printer.Shared = booleanOf(group.value("printer-is-shared"));
        if (!printer.Name.isEmpty())
            printers << printer;
    }
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
    addRequestedAttributes(message, wanted);
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
    addRequestedAttributes(message, wanted);
    Response response{request(message)};
    const std::optional<QList<AttributeGroup>> groups = groupsOf(response);
    if (!groups)
        return std::nullopt;
    QList<CupsJobSummary> jobs;
    for (const AttributeGroup& group : *groups) {
        CupsJobSummary job;
        job.Id = numberOf(group.value("job-id"));
        if (job.Id == 0)
            continue;
        job.State = numberOf(group.value("job-state"));
        job.PrinterName = stringOf(group.value("job-printer-uri")).section(u'/', -1);
        job.JobName = stringOf(group.value("job-name"));
        job.Key = JobKeyOf(stringOf(group.value("job-uuid")), job.Id,
                           numberOf(group.value("time-at-creation")));
        // A job not yet completed has the out-of-band value "no-value" there.
        ipp_attribute_t* completed = group.value("time-at-completed");
        if (completed && ippGetValueTag(completed) == IPP_TAG_INTEGER)
            job.CompletedAt = numberOf(completed);
        jobs << job;
    }
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
    const std::optional<QList<AttributeGroup>> groups = groupsOf(response);
    if (!groups)
        return std::nullopt;
    QList<int> found;
    for (const AttributeGroup& group : *groups) {
        const int id = int(numberOf(group.value("notify-subscription-id")));
        int length = 0;
        ipp_attribute_t* data = group.value("notify-user-data");
        const void* bytes = data ? ippGetOctetString(data, 0, &length) : nullptr;
        if (id > 0 && QByteArray(static_cast<const char*>(bytes), length) == tag &&
            stringOf(group.value("notify-recipient-uri")).startsWith(QLatin1String("dbus:")))
            found << id;
    }
    return found;
}

std::optional<bool> CupsClient::SubscriptionExists(int id)
{
    ipp_t* message = subscriptionRequest(IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES, id);
    Response response{request(message)};
    return response.found();
}

bool CupsClient::CancelSubscription(int id)
{
    ipp_t* message = subscriptionRequest(IPP_OP_CANCEL_SUBSCRIPTION, id);
    Response response{request(message)};
    return response.ok();
}

} // namespace vellora
