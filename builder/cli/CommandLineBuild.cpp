#include "CommandLineBuild.h"

#include "Errors.h"
#include "GhostScript.h"
#include "Paths.h"
#include "builder/build/AtomicFile.h"
#include "builder/build/BuildChecks.h"
#include "builder/build/CatalogueManifest.h"
#include "builder/build/CountPages.h"
#include "builder/build/IndexFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vellora::cli {

namespace {

const QString kLogName = QStringLiteral("vellora-build.log");

QString quotedName(const QString& path)
{
    return QStringLiteral("« %1 »").arg(path);
}

// The usual reasons a file or folder cannot be read or made, in French.
QString reasonFor(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permission refusée");
    case ENOENT:
        return QStringLiteral("fichier ou dossier introuvable");
    case ENOTDIR:
        return QStringLiteral("un élément du chemin n'est pas un dossier");
    case EISDIR:
        return QStringLiteral("c'est un dossier");
    case ENOSPC:
        return QStringLiteral("plus de place sur le disque");
    case EROFS:
        return QStringLiteral("système de fichiers en lecture seule");
    case EEXIST:
        return QStringLiteral("un fichier porte déjà ce nom");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

enum class DocumentKind
{
    Pdf,
    PostScript,
    Other,
};

DocumentKind kindOf(const QByteArray& head)
{
    // A PDF may carry a few bytes before its header; PostScript starts with "%!" (possibly
    // after a printer job language preamble or a DOS EPS header, which the interpreter skips).
    if (head.left(1024).contains("%PDF-"))
        return DocumentKind::Pdf;
    if (head.startsWith("%!") || head.startsWith("\x04%!") || head.startsWith("\xC5\xD0\xD3\xC6") ||
        head.startsWith("\x1B%-12345X"))
        return DocumentKind::PostScript;
    return DocumentKind::Other;
}

} // namespace

CommandLineBuild::CommandLineBuild(BuildRequest request, QObject* parent)
    : QObject(parent), m_request(std::move(request)),
      m_progress(Progress::styleFor(m_request.quiet), stderr),
      m_work(QDir::tempPath() + QStringLiteral("/vellora-build-XXXXXX"))
{}

CommandLineBuild::~CommandLineBuild() = default;

void CommandLineBuild::printError(const QString& text)
{
    m_progress.finish();
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QByteArray bytes = (u"vellora-build : " + line + u'\n').toLocal8Bit();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    }
    std::fflush(stderr);
}

void CommandLineBuild::start()
{
    m_request.htmlFile = QFileInfo(m_request.htmlFile).absoluteFilePath();
    const QString name = QFileInfo(m_request.htmlFile).fileName();
    if (isReservedOutputName(name) || name.compare(kLogName, Qt::CaseInsensitive) == 0)
        return fail(reservedOutputNameMessage(name), 2);
    if (!checkInput())
        return;
    m_index = IndexGrid::initial();
    if (!m_request.indexFile.isEmpty()) {
        try {
            openIndexFile(m_request.indexFile, m_index);
        } catch (const EVellora& error) {
            return fail(error.message() == kFileIsEmpty
                            ? quotedName(m_request.indexFile) + QStringLiteral(" : fichier vide")
                            : error.message());
        }
    }
    const QString converter = ConverterProgram({paths::ToolFolder(), QString()});
    if (!QFileInfo(converter).isExecutable())
        return fail(QStringLiteral("le convertisseur %1 est introuvable : installez Vellora")
                        .arg(quotedName(converter)));
    if (!m_work.isValid())
        return fail(QStringLiteral("impossible de créer un dossier de travail dans %1 : %2")
                        .arg(quotedName(QDir::tempPath()), m_work.errorString()));

    const QString workPdf = ConverterInput({QString(), m_work.path()});
    QFile input(m_request.input);
    input.open(QIODevice::ReadOnly);
    const QByteArray head = input.peek(1024);
    if (kindOf(head) == DocumentKind::Pdf) {
        // A copy of its own: the document may change while the pages are converted.
        try {
            const QByteArray bytes = input.readAll();
            if (input.error() != QFileDevice::NoError)
                return fail(QStringLiteral("impossible de lire %1 : %2")
                                .arg(quotedName(m_request.input), input.errorString()));
            writeFileAtomically(workPdf, bytes);
        } catch (const EVellora& error) {
            return fail(error.message());
        }
        return inputReady();
    }
    // PostScript: the interpreter writes the PDF, as for a printed document.
    m_interpreter = std::make_unique<TGhostScript>();
    m_converting = true;
    m_interpreter->ConvertToPdf(
        QFileInfo(m_request.input).absoluteFilePath(), workPdf, [this](bool ok) {
            m_converting = false;
            if (m_ended)
                return;
            if (!ok) {
                QString why = m_interpreter->LastError();
                return fail(QStringLiteral("%1 : l'interpréteur PostScript n'a pas "
                                           "pu en faire un PDF%2")
                                .arg(quotedName(m_request.input),
                                     why.isEmpty() ? QString() : u" (" + why + u')'));
            }
            inputReady();
        });
}

bool CommandLineBuild::checkInput()
{
    const QString& path = m_request.input;
    const QFileInfo info(path);
    if (!info.exists()) {
        fail(QStringLiteral("%1 : %2").arg(quotedName(path), reasonFor(ENOENT)));
        return false;
    }
    if (info.isDir()) {
        fail(QStringLiteral("%1 : %2").arg(quotedName(path), reasonFor(EISDIR)));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int error = errno;
        fail(QStringLiteral("impossible de lire %1 : %2").arg(quotedName(path), reasonFor(error)));
        return false;
    }
    const QByteArray head = file.read(1024);
    if (head.isEmpty()) {
        fail(QStringLiteral("%1 est vide").arg(quotedName(path)));
        return false;
    }
    if (kindOf(head) == DocumentKind::Other) {
        fail(QStringLiteral("%1 n'est ni un PDF ni un fichier PostScript").arg(quotedName(path)));
        return false;
    }
    return true;
}

void CommandLineBuild::inputReady()
{
    if (m_interrupted)
        return end(1);
    const PageListing listing = PageListingRun({paths::ToolFolder(), m_work.path()}).runToEnd();
    const QString memo = listing.memoLines.join(QStringLiteral("\r\n"));
    int pages = 0;
    try {
        if (!listing.startFailure.isEmpty())
            return fail(QStringLiteral("impossible de lancer le convertisseur : %1")
                            .arg(listing.startFailure));
        if (listing.timedOut)
            return fail(QStringLiteral("%1 : le convertisseur n'a pas répondu à temps")
                            .arg(quotedName(m_request.input)));
        if (!listing.reason.isEmpty())
            return fail(quotedName(m_request.input) + u" : " + listing.reason);
        pages = PageCountValue(PageCountText(memo));
    } catch (const EVellora& error) {
        return fail(quotedName(m_request.input) + u" : " + error.message());
    }
    if (m_interrupted)
        return end(1);
    startBuild(pages, memo);
}

void CommandLineBuild::startBuild(int documentPages, const QString& listing)
{
    int first = 1;
    int pages = documentPages;
    if (m_request.firstPage > 0) {
        if (m_request.lastPage > documentPages)
            return fail(QStringLiteral("--pages %1-%2 : %3 n'a que %4 pages")
                            .arg(m_request.firstPage)
                            .arg(m_request.lastPage)
                            .arg(quotedName(m_request.input))
                            .arg(documentPages),
                        2);
        first = m_request.firstPage;
        pages = m_request.lastPage - m_request.firstPage + 1;
    }
    if (const QString problem = pageCountProblem(pages); !problem.isEmpty())
        return fail(quotedName(m_request.input) + u" : " + problem);

    const QString folder = QFileInfo(m_request.htmlFile).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error)
        return fail(QStringLiteral("impossible de créer le dossier %1 : %2")
                        .arg(quotedName(folder), reasonFor(error.value())));

    CatalogueBuild::Plan plan = CatalogueBuild::planFor(m_request.settings, m_index,
                                                        m_request.htmlFile, listing, first, pages);
    plan.appDataFolder = m_work.path();
    plan.logFile = folder + u'/' + kLogName;
    if (m_request.jobs > 0)
        plan.parallel = m_request.jobs;

    auto* build = new CatalogueBuild(plan, this);
    m_build = build;
    connect(build, &CatalogueBuild::progressChanged, this,
            [this](int finished, int total) { m_progress.update(finished, total); });
    connect(build, &CatalogueBuild::finished, this, &CommandLineBuild::buildFinished);
    build->start();
}

// The outcome's message, one line per line, and the status: 0 only when every page was
// converted and every file written.
void CommandLineBuild::buildFinished(const BuildOutcome& outcome)
{
    m_progress.finish();
    if (const QString message = outcome.message(); !message.isEmpty())
        printError(message);
    end(outcome.result == BuildOutcome::Result::Succeeded ? 0 : 1);
}

void CommandLineBuild::interrupt()
{
    if (m_interrupted || m_ended)
        return;
    m_interrupted = true;
    if (m_build && m_build->isRunning()) {
        m_build->cancel(); // ended(Cancelled) follows once the converters have stopped
    } else if (m_converting) {
        m_interpreter->Shutdown();
        end(1);
    }
    // Otherwise the page count is running: its end sees the flag.
}

void CommandLineBuild::fail(const QString& message, int status)
{
    printError(message);
    end(status);
}

void CommandLineBuild::end(int status)
{
    if (m_ended)
        return;
    m_ended = true;
    Q_EMIT done(status);
}

} // namespace vellora::cli
