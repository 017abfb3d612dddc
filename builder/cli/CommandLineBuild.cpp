#include "CommandLineBuild.h"

#include "Errors.h"
#include "GhostScript.h"
#include "Paths.h"
#include "SystemErrors.h"
#include "WorkFolders.h"
#include "builder/build/AtomicFile.h"
#include "builder/build/BuildChecks.h"
#include "builder/build/CatalogueManifest.h"
#include "builder/build/CountPages.h"
#include "builder/build/IndexFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

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
    case EDQUOT:
        return QStringLiteral("le disque est plein");
    case ENAMETOOLONG:
        return QStringLiteral("le nom est trop long");
    case EROFS:
        return QStringLiteral("système de fichiers en lecture seule");
    case EEXIST:
        return QStringLiteral("un fichier porte déjà ce nom");
    default:
        return QString::fromStdString(frenchSystemError(error));
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

// What stands at a path that is not a regular file, in words.
QString whatIs(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("un tube nommé");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("un périphérique");
    if (S_ISSOCK(mode))
        return QStringLiteral("une socket");
    return QStringLiteral("un fichier spécial");
}

// A stop signal ends the conversions at once: the converter removes its temporary files as
// soon as it gets SIGTERM, so the grace before SIGKILL stays short.
constexpr std::chrono::milliseconds kStopGrace{500};

} // namespace

CommandLineBuild::CommandLineBuild(BuildRequest request, QObject* parent)
    : QObject(parent), m_request(std::move(request)),
      m_progress(Progress::styleFor(m_request.quiet), stderr),
      m_work(workFolderTemplate(QDir::tempPath())), m_workError(m_work.isValid() ? 0 : errno)
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
    // The work folders of runs that were killed before they could remove theirs.
    sweepAbandonedWorkFolders(QDir::tempPath());
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
                        .arg(quotedName(QDir::tempPath()), reasonFor(m_workError)));

    const QString workPdf = ConverterInput({QString(), m_work.path()});
    const QByteArray head = m_input.peek(1024);
    if (kindOf(head) == DocumentKind::Pdf) {
        // A copy of its own: the document may change while the pages are converted.
        try {
            const QByteArray bytes = m_input.readAll();
            if (m_input.error() != QFileDevice::NoError)
                return fail(QStringLiteral("impossible de lire %1 : %2")
                                .arg(quotedName(m_request.input), reasonFor(EIO)));
            m_input.close();
            writeFileAtomically(workPdf, bytes);
        } catch (const EVellora& error) {
            return fail(error.message());
        }
        return inputReady();
    }
    // PostScript: the interpreter writes the PDF, as for a printed document.
    m_input.close();
    m_interpreter = std::make_unique<TGhostScript>();
    m_interpreter->SetKeepWarm(false); // one conversion: no program waits for a next one
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

// The document must be a regular file: a named pipe, a device or a socket could block the
// opening or the reading for ever. It is looked at before it is opened, then opened without
// blocking and looked at again, in case it was replaced in between.
bool CommandLineBuild::checkInput()
{
    const QString& path = m_request.input;
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {};
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        fail(QStringLiteral("%1 : %2").arg(quotedName(path), reasonFor(error)));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        fail(QStringLiteral("%1 : %2").arg(quotedName(path), reasonFor(EISDIR)));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        refuseNonFile(info.st_mode);
        return false;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        fail(QStringLiteral("impossible de lire %1 : %2").arg(quotedName(path), reasonFor(error)));
        return false;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        refuseNonFile(info.st_mode);
        return false;
    }
    m_input.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray head = m_input.peek(1024);
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

void CommandLineBuild::refuseNonFile(mode_t mode)
{
    fail(QStringLiteral("%1 est %2, pas un fichier : indiquez un PDF ou un fichier PostScript")
             .arg(quotedName(m_request.input), whatIs(mode)),
         2);
}

// The page listing runs while the event loop turns, so that a stop signal ends it at once.
void CommandLineBuild::inputReady()
{
    if (m_interrupted)
        return end(1);
    m_listing = new PageListingRun({paths::ToolFolder(), m_work.path()}, {}, this);
    m_listing->start([this](const PageListing& listing) {
        m_listing->deleteLater();
        listingReady(listing);
    });
}

void CommandLineBuild::listingReady(const PageListing& listing)
{
    const QString memo = listing.memoLines.join(QStringLiteral("\r\n"));
    int pages = 0;
    try {
        if (!listing.startFailure.isEmpty())
            return fail(QStringLiteral("impossible de lancer le convertisseur %1")
                            .arg(quotedName(ConverterProgram({paths::ToolFolder(), QString()}))));
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
    plan.stopGrace = kStopGrace;
    plan.publication = m_request.publication;
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
    } else if (m_listing) {
        delete m_listing; // stops the converter
        end(1);
    }
    // Otherwise the run is between two steps: the next one sees the flag.
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
