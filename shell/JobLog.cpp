#include "JobLog.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace vellora {

namespace {

std::atomic<JobLog*> g_instance{nullptr};
std::atomic<JobLog*> g_collector{nullptr};
QtMessageHandler g_previousHandler = nullptr;

QString field(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : JobLog::escaped(text);
}

void collectWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    JobLog* log = g_collector.load();
    const bool ours = context.category && qstrncmp(context.category, "vellora.", 8) == 0;
    if (log && ours && type != QtDebugMsg && type != QtInfoMsg)
        log->write(QStringLiteral("avertissement : ") + message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

JobLog::JobLog(QString file) : m_file(std::move(file)) {}

QString JobLog::escaped(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\\')
            result += QStringLiteral("\\\\");
        else if (code == u'\n')
            result += QStringLiteral("\\n");
        else if (code == u'\r')
            result += QStringLiteral("\\r");
        else if (code == u'\t')
            result += QStringLiteral("\\t");
        else if (code < 0x20 || (code >= 0x7f && code <= 0x9f) || code == 0x2028 || code == 0x2029)
            result += code <= 0xff
                          ? QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'))
                          : QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

QString JobLog::line(const QDateTime& when, const Job& job, const QString& event)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + u'\t' +
           (job.Id ? QString::number(job.Id) : QStringLiteral("-")) + u'\t' + field(job.Key) +
           u'\t' + field(job.DocumentName) + u'\t' + field(event);
}

void JobLog::write(const Job& job, const QString& event)
{
    const QByteArray bytes = (line(QDateTime::currentDateTime(), job, event) + u'\n').toUtf8();
    QMutexLocker lock(&m_lock);
    rotateFor(bytes.size());
    // Appended with one write: two copies of the program, or a crash, never mix two lines.
    const int fd = ::open(QFile::encodeName(m_file).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return; // the log must never stop the program
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
}

void JobLog::setCurrentJob(const Job& job)
{
    QMutexLocker lock(&m_lock);
    m_current = job;
}

JobLog::Job JobLog::currentJob() const
{
    QMutexLocker lock(&m_lock);
    return m_current;
}

void JobLog::rotateFor(qint64 adding)
{
    const QFileInfo current(m_file);
    if (!current.exists() || current.size() + adding <= kRotateBytes)
        return;
    const QString old = m_file + QStringLiteral(".1");
    ::rename(QFile::encodeName(m_file).constData(), QFile::encodeName(old).constData());
}

JobLog* JobLog::instance()
{
    return g_instance.load();
}

void JobLog::setInstance(JobLog* log)
{
    g_instance = log;
}

void JobLog::collectWarnings(JobLog* log)
{
    static const bool installed = [] {
        g_previousHandler = qInstallMessageHandler(collectWarning);
        return true;
    }();
    Q_UNUSED(installed);
    g_collector = log;
}

void logJobEvent(const JobLog::Job& job, const QString& event)
{
    if (JobLog* log = JobLog::instance())
        log->write(job, event);
}

void logEvent(const QString& event)
{
    logJobEvent(JobLog::Job(), event);
}

void logCurrentJobEvent(const QString& event)
{
    if (JobLog* log = JobLog::instance())
        log->write(log->currentJob(), event);
}

} // namespace vellora
