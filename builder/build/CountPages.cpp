#include "builder/build/CountPages.h"

#include "Errors.h"
#include "Paths.h"
#include "builder/build/ConverterCommand.h"
#include "builder/build/HyperStr.h"

#include <QDir>
#include <QMetaObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <sys/resource.h>

namespace vellora {

namespace {

QStringList outputLines(const QByteArray& output)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = QString::fromUtf8(output).split(lineEnd);
    // A final line end closes the last line rather than opening an empty one.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

QString PageCountText(const QString& memoText)
{
    int position = LastPos(QStringLiteral("page="), memoText) - 1;
    return TextBetween(memoText, QStringLiteral("page="), QStringLiteral(" "), position);
}

int PageCountValue(const QString& text)
{
    // Strictly a decimal integer: no blanks, line ends or other trailing text.
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    bool ok = false;
    const int value = decimal.match(text).hasMatch() ? text.toInt(&ok, 10) : 0;
    if (!ok)
        throw EVellora(QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(text));
    return value;
}

QString converterReason(const QByteArray& standardError, const QString& input)
{
    QString reason;
    for (const QString& line : outputLines(standardError)) {
        if (!line.trimmed().isEmpty())
            reason = line.trimmed();
    }
    const QStringList prefixes = {QStringLiteral("pdf2swf: "), input + QStringLiteral(" : ")};
    for (const QString& prefix : prefixes) {
        if (reason.startsWith(prefix))
            reason = reason.mid(prefix.size());
    }
    return reason;
}

PageListingRun::PageListingRun(RunCapturedOptions options, QObject* parent)
    : PageListingRun(ConverterFolders::user(), options, parent)
{}

PageListingRun::PageListingRun(ConverterFolders folders, RunCapturedOptions options,
                               QObject* parent)
    : QObject(parent), m_folders(std::move(folders)), m_options(options)
{}

PageListingRun::~PageListingRun()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(-1);
    }
}

void PageListingRun::prepare()
{
    const ConverterCommand command = PageCountCommand(m_folders);
    m_listing = PageListing{{command.commandLine}, {}, {}, false, m_options.timeout};
    m_process = new QProcess(this);
    m_process->setProgram(command.program);
    m_process->setArguments(command.arguments);
    m_process->setWorkingDirectory(m_folders.tools);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setChildProcessModifier([] { ::setpriority(PRIO_PROCESS, 0, 19); });
}

void PageListingRun::start(std::function<void(const PageListing&)> done)
{
    Q_ASSERT(!m_process);
    m_done = std::move(done);
    prepare();
    m_limit = new QTimer(this);
    m_kill = new QTimer(this);
    m_limit->setSingleShot(true);
    m_kill->setSingleShot(true);
    connect(m_process, &QProcess::finished, this, &PageListingRun::finish);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || !m_listing.startFailure.isEmpty())
            return;
        m_listing.startFailure = m_process->errorString();
        // Never answer from inside start().
        QMetaObject::invokeMethod(this, &PageListingRun::finish, Qt::QueuedConnection);
    });
    connect(m_limit, &QTimer::timeout, this, [this] {
        m_listing.timedOut = true;
        m_process->terminate();
        m_kill->start(m_options.killGrace);
    });
    connect(m_kill, &QTimer::timeout, this, [this] { m_process->kill(); });
    m_process->start(QIODevice::ReadOnly);
    m_limit->start(m_options.timeout);
}

PageListing PageListingRun::runToEnd()
{
    Q_ASSERT(!m_process);
    prepare();
    m_process->start(QIODevice::ReadOnly);
    if (!m_process->waitForStarted(-1)) {
        m_listing.startFailure = m_process->errorString();
        return m_listing;
    }
    if (!m_process->waitForFinished(int(m_options.timeout.count()))) {
        m_listing.timedOut = true;
        m_process->terminate();
        if (!m_process->waitForFinished(int(m_options.killGrace.count()))) {
            m_process->kill();
            m_process->waitForFinished(-1);
        }
        return m_listing;
    }
    collect();
    return m_listing;
}

void PageListingRun::collect()
{
    m_listing.memoLines += outputLines(m_process->readAllStandardOutput());
    if (m_process->exitStatus() != QProcess::NormalExit || m_process->exitCode() != 0)
        m_listing.reason =
            converterReason(m_process->readAllStandardError(), ConverterInput(m_folders));
}

void PageListingRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_limit->stop();
    m_kill->stop();
    if (m_listing.startFailure.isEmpty() && !m_listing.timedOut)
        collect();
    if (auto done = std::move(m_done))
        done(m_listing);
}

int PageCountOf(const PageListing& listing)
{
    if (listing.timedOut) {
        throw EVellora(
            QStringLiteral("Le convertisseur n'a pas répondu en %1 secondes ; il a été arrêté.")
                .arg(double(listing.timeLimit.count()) / 1000.0));
    }
    try {
        return PageCountValue(PageCountText(listing.memoText()));
    } catch (const EVellora&) {
        if (listing.reason.isEmpty())
            throw;
        throw EVellora(QStringLiteral("Impossible de lire le document : %1").arg(listing.reason));
    }
}

QString startFailureMessage(const PageListing& listing)
{
    if (listing.startFailure.isEmpty())
        return {};
    const QString folder = paths::ToolFolder();
    return QDir(folder).exists()
               ? QStringLiteral("Impossible de lancer %1 : %2")
                     .arg(ConverterProgram(ConverterFolders::user()), listing.startFailure)
               : QStringLiteral("Le dossier de travail %1 n'existe pas.").arg(folder);
}

int CountPages(const MemoSink& memo, const RunCapturedOptions& options)
{
    const PageListing listing = PageListingRun(options).runToEnd();
    if (memo)
        memo(listing.memoText());
    return PageCountOf(listing);
}

} // namespace vellora
