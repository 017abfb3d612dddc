#include "builder/build/CatalogueBuild.h"

#include "Errors.h"
#include "Paths.h"
#include "builder/build/AtomicFile.h"
#include "builder/build/CatalogueFolder.h"
#include "builder/build/CatalogueManifest.h"
#include "builder/build/CataloguePage.h"
#include "builder/build/ConverterCommand.h"
#include "builder/build/CoverImage.h"
#include "builder/build/DocumentIdentity.h"
#include "builder/build/OutputFolder.h"
#include "builder/build/Readme.h"
#include "builder/build/SearchFile.h"
#include "builder/build/StaleFiles.h"
#include "builder/build/TextPages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <sys/resource.h>

namespace vellora {

namespace {
// The outline is read without drawing anything: a document that takes longer is damaged.
constexpr std::chrono::seconds kOutlineTimeLimit{60};

QString lastLine(const QByteArray& output)
{
    const QStringList lines = QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts);
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (!line->trimmed().isEmpty())
            return line->trimmed();
    }
    return {};
}

// The bookmarks as the manifest holds them. Their pages are the document's: catalogue page k
// is document page firstPage + k - 1, and a bookmark outside the catalogue leads nowhere (0).
QList<OutlineEntry> outlineEntries(const QJsonArray& entries, int firstPage, int pageCount)
{
    QList<OutlineEntry> result;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const int page = entry.value(u"page").toInt(0) - firstPage + 1;
        result.append({entry.value(u"title").toString(), page >= 1 && page <= pageCount ? page : 0,
                       outlineEntries(entry.value(u"children").toArray(), firstPage, pageCount)});
    }
    return result;
}
} // namespace

struct CatalogueBuild::Conversion
{
    QProcess* process = nullptr;
    QTimer* limit = nullptr;
    QTimer* kill = nullptr;
    bool timedOut = false;
    bool stopped = false; // by the build, which stops: neither converted nor failed
    QString startError;
};

CatalogueBuild::CatalogueBuild(Plan plan, QObject* parent)
    : QObject(parent), m_plan(std::move(plan))
{
    // Every path is built from the chosen page's folder; the process's current folder is never
    // used. A page chosen in "/" gives "//", which still names the root.
    m_outputFolder = QFileInfo(m_plan.htmlFile).absolutePath() + u'/';
    const paths::ToolFolders found = m_plan.toolFolder.isEmpty() || m_plan.viewerFolder.isEmpty()
                                         ? paths::FindToolFolders()
                                         : paths::ToolFolders{};
    m_toolFolder = m_plan.toolFolder.isEmpty() ? found.programs : m_plan.toolFolder;
    m_viewerFolder = m_plan.viewerFolder.isEmpty() ? found.viewer : m_plan.viewerFolder;
    m_plan.firstPage = std::max(1, m_plan.firstPage);
    if (m_plan.parallel < 1)
        m_plan.parallel = 1;
}

CatalogueBuild::~CatalogueBuild()
{
    stopOutline();
    for (auto& [page, conversion] : m_running) {
        conversion->process->disconnect(this);
        conversion->process->terminate();
        if (!conversion->process->waitForFinished(int(m_plan.stopGrace.count())))
            conversion->process->kill();
        conversion->process->waitForFinished(-1);
    }
}

CatalogueBuild::Plan CatalogueBuild::planFor(const CatalogueSettings& settings,
                                             const IndexGrid& index, const QString& htmlFile,
                                             const QString& pageListing, int firstPage,
                                             int pageCount)
{
    Plan plan;
    plan.settings = settings;
    plan.settings.startPage = QStringLiteral("1");
    plan.settings.endPage = QString::number(pageCount);
    plan.index = index;
    plan.htmlFile = htmlFile;
    plan.pageCount = pageCount;
    plan.firstPage = std::max(1, firstPage);
    plan.contentSize = contentSizeFor(pageSizeFromListing(pageListing, plan.firstPage));
    // The manifest gives each catalogue page its true size.
    const auto sizes = pageSizesFromListing(pageListing, plan.firstPage - 1 + pageCount);
    if (pageCount > 0)
        plan.pageSizes.assign(sizes.begin() + (plan.firstPage - 1), sizes.end());
    plan.appDataFolder = paths::StateFolder(); // where the working PDF is
    plan.logFile = paths::BuildLogFile();
    plan.parallel = conversionsAtOnce();
    return plan;
}

int CatalogueBuild::conversionsAtOnce()
{
    return std::max(1, QThread::idealThreadCount());
}

void CatalogueBuild::start()
{
    Q_ASSERT(!m_started);
    m_log.clear();
    m_log.addOutputFolder(m_outputFolder);
    try {
        if (isProgramFolder(m_outputFolder, {m_toolFolder, m_viewerFolder, m_plan.appDataFolder,
                                             paths::AppDataFolder()}))
            throw EVellora(programFolderMessage(m_outputFolder));
        makeCatalogueFolder(m_outputFolder);
        // Read before this build writes its own: it names what the last build left here.
        m_previous = previousCatalogue(m_outputFolder);
        checkPdfCopy();
        WriteViewerConfig(m_plan.htmlFile, m_plan.pageCount, m_plan.contentSize.width,
                          m_plan.contentSize.height, true, m_plan.settings, m_plan.index);
    } catch (const EVellora& error) {
        return end(BuildOutcome::Result::Refused, error.message());
    }
    m_started = true;
    Q_EMIT progressChanged(0, m_plan.pageCount);
    startMorePages();
    endIfIdle();
}

void CatalogueBuild::cancel()
{
    if (!isRunning() || m_cancelled)
        return;
    m_cancelled = true;
    m_stopping = true;
    for (auto& [page, conversion] : m_running) {
        conversion->limit->stop();
        conversion->process->terminate();
        conversion->kill->start(m_plan.stopGrace);
    }
    stopOutline();
    endIfIdle();
}

void CatalogueBuild::startMorePages()
{
    while (!m_stopping && int(m_running.size()) < m_plan.parallel &&
           m_nextPage <= m_plan.pageCount) {
        if (!startPage(m_nextPage++))
            break;
    }
}

bool CatalogueBuild::startPage(int page)
{
    m_log.addGotoPage(page);
    Q_EMIT pageStarted(page);
    m_log.addPageFile(PageFile(m_outputFolder, page));

    if (!QFileInfo::exists(ConverterInput(converterFolders()))) {
        stopWithError(QStringLiteral("Error Creating PDF PAGE"));
        return false;
    }
    if (!QFileInfo::exists(ConverterProgram(converterFolders()))) {
        stopWithError(QStringLiteral("Error Initailizing swf"));
        return false;
    }
    const ConverterCommand command =
        PageCommand(converterFolders(), page, m_plan.settings.preset, m_plan.settings.qualite,
                    m_outputFolder, m_plan.firstPage + page - 1);
    m_log.addConverterCommand(command.commandLine);
    m_log.save(m_plan.logFile);

    auto conversion = std::make_unique<Conversion>();
    Conversion& c = *conversion;
    c.process = new QProcess(this);
    c.limit = new QTimer(this);
    c.kill = new QTimer(this);
    c.limit->setSingleShot(true);
    c.kill->setSingleShot(true);
    m_running.emplace(page, std::move(conversion));

    c.process->setProgram(command.program);
    c.process->setArguments(command.arguments);
    c.process->setWorkingDirectory(m_toolFolder);
    c.process->setStandardInputFile(QProcess::nullDevice());
    c.process->setStandardOutputFile(QProcess::nullDevice());
    // The conversions share the machine with the user's other work.
    c.process->setChildProcessModifier([] { ::setpriority(PRIO_PROCESS, 0, 19); });
    connect(c.process, &QProcess::finished, this, [this, page] { pageEnded(page); });
    connect(c.process, &QProcess::errorOccurred, this, [this, page](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        auto it = m_running.find(page);
        if (it == m_running.end() || !it->second->startError.isEmpty())
            return;
        it->second->startError = it->second->process->errorString();
        // Never re-enter the pool from inside QProcess::start().
        QMetaObject::invokeMethod(
            this, [this, page] { pageEnded(page); }, Qt::QueuedConnection);
    });
    connect(c.limit, &QTimer::timeout, this, [this, page] {
        auto it = m_running.find(page);
        if (it == m_running.end())
            return;
        it->second->timedOut = true;
        it->second->process->terminate();
        it->second->kill->start(m_plan.stopGrace);
    });
    connect(c.kill, &QTimer::timeout, this, [this, page] {
        if (auto it = m_running.find(page); it != m_running.end())
            it->second->process->kill();
    });
    c.process->start();
    c.limit->start(m_plan.pageTimeLimit);
    return true;
}

void CatalogueBuild::pageEnded(int page)
{
    auto it = m_running.find(page);
    if (it == m_running.end())
        return;
    std::unique_ptr<Conversion> c = std::move(it->second);
    m_running.erase(it);
    c->limit->stop();
    c->kill->stop();

    if (!m_cancelled && !c->stopped) {
        const QString movie = PageFile(m_outputFolder, page);
        const QString image = movie.chopped(4) + u".jpg";
        QString reason;
        if (!c->startError.isEmpty()) {
            // The system's words (Qt's, in English) stay out of the French text.
            reason = QStringLiteral("le convertisseur n'a pas démarré");
        } else if (c->timedOut) {
            reason = QStringLiteral("arrêtée après %1 minutes")
                         .arg(std::chrono::duration_cast<std::chrono::minutes>(m_plan.pageTimeLimit)
                                  .count());
        } else if (c->process->exitStatus() != QProcess::NormalExit ||
                   c->process->exitCode() != 0) {
            if (c->process->exitStatus() == QProcess::NormalExit &&
                c->process->exitCode() == kConverterDiskFullStatus)
                stopForFullDisk();
            reason = lastLine(c->process->readAllStandardError());
            if (reason.isEmpty())
                reason = QStringLiteral("le convertisseur a échoué");
        } else if (!QFileInfo(movie).isFile()) {
            reason = QStringLiteral("%1 est absent").arg(QFileInfo(movie).fileName());
        } else if (!QFileInfo(image).isFile()) {
            reason = QStringLiteral("%1 est absent").arg(QFileInfo(image).fileName());
        }
        if (!reason.isEmpty())
            m_failed.emplace(page, reason);
        else
            m_converted.insert(page);
        ++m_finished;
        Q_EMIT progressChanged(m_finished, m_plan.pageCount);
    }
    c->process->deleteLater();
    c->limit->deleteLater();
    c->kill->deleteLater();

    startMorePages();
    endIfIdle();
}

void CatalogueBuild::stopWithError(const QString& message)
{
    m_stopping = true;
    if (m_error.isEmpty())
        m_error = message;
}

// Stops every conversion still running and starts no more: a full disk fails them all.
void CatalogueBuild::stopForFullDisk()
{
    m_diskFull = true;
    m_stopping = true;
    for (auto& [page, conversion] : m_running) {
        conversion->stopped = true;
        conversion->limit->stop();
        conversion->process->terminate();
        conversion->kill->start(m_plan.stopGrace);
    }
}

// The catalogue page goes when it is the build's: the previous manifest names it, or this
// build copied it (it holds the viewer page's bytes). A page of the user's that only shares
// the name stays.
void CatalogueBuild::abandonFolder()
{
    const QString page = QFileInfo(m_plan.htmlFile).fileName();
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray viewerPage = contents(m_viewerFolder + u'/' + kViewerPage);
    const QByteArray onDisk = contents(m_plan.htmlFile);
    if ((m_previous && m_previous->page == page) ||
        (!viewerPage.isEmpty() && onDisk == viewerPage) ||
        (!m_cataloguePage.isEmpty() && onDisk == m_cataloguePage))
        QFile::remove(m_plan.htmlFile);
    QFile::remove(m_outputFolder + kCatalogueManifestFile);
}

// What a build stopped by a full disk says: the folder, and the missing pages as ranges
// ("3, 5 à 397").
QString CatalogueBuild::fullDiskMessage() const
{
    QStringList ranges;
    for (int page = 1; page <= m_plan.pageCount; ++page) {
        if (m_converted.count(page))
            continue;
        int last = page;
        while (last < m_plan.pageCount && !m_converted.count(last + 1))
            ++last;
        ranges.append(last == page ? QString::number(page)
                                   : QStringLiteral("%1 à %2").arg(page).arg(last));
        page = last;
    }
    const QString missing =
        ranges.isEmpty() ? QString()
                         : QStringLiteral(" (pages manquantes : %1)").arg(ranges.join(u", "));
    return QStringLiteral("Le disque est plein : impossible d'écrire dans le dossier %1.\n"
                          "La création s'est arrêtée : le catalogue est incomplet%2 et n'a pas "
                          "de page à ouvrir.")
        .arg(QDir::cleanPath(m_outputFolder), missing);
}

void CatalogueBuild::endIfIdle()
{
    if (m_ended || !m_running.empty() || m_outlineProcess)
        return;
    if (!m_stopping && m_nextPage <= m_plan.pageCount)
        return;
    if (m_cancelled) {
        end(BuildOutcome::Result::Cancelled);
    } else if (m_diskFull) {
        abandonFolder();
        end(BuildOutcome::Result::Failed, fullDiskMessage());
    } else if (m_stopping) {
        end(BuildOutcome::Result::Failed, m_error);
    } else {
        readOutline();
    }
}

void CatalogueBuild::end(BuildOutcome::Result result, const QString& error)
{
    // Before the signal: whatever its receivers do (a message box's event loop), the build
    // ends once.
    m_ended = true;
    BuildOutcome outcome;
    outcome.result = result;
    outcome.pageCount = m_plan.pageCount;
    outcome.convertedPages = m_finished - int(m_failed.size());
    outcome.failedPages = m_failed;
    outcome.missingViewerFiles = m_missingViewerFiles;
    outcome.viewerFolder = m_viewerFolder;
    outcome.error = error;
    Q_EMIT finished(outcome);
}

// The converter prints the document's reading direction and bookmarks once every page is
// done; the folder is finished when it has answered. Without an answer the catalogue still
// works, reading left to right with the user's index alone.
void CatalogueBuild::readOutline()
{
    const ConverterCommand command = OutlineCommand(converterFolders());
    m_outlineProcess = new QProcess(this);
    m_outlineLimit = new QTimer(this);
    m_outlineLimit->setSingleShot(true);
    m_outlineProcess->setProgram(command.program);
    m_outlineProcess->setArguments(command.arguments);
    m_outlineProcess->setWorkingDirectory(m_toolFolder);
    m_outlineProcess->setStandardInputFile(QProcess::nullDevice());
    m_outlineProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_outlineProcess->setChildProcessModifier([] { ::setpriority(PRIO_PROCESS, 0, 19); });
    connect(m_outlineProcess, &QProcess::finished, this, &CatalogueBuild::outlineEnded);
    connect(m_outlineProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            QMetaObject::invokeMethod(this, &CatalogueBuild::outlineEnded, Qt::QueuedConnection);
    });
    connect(m_outlineLimit, &QTimer::timeout, this, [this] {
        if (m_outlineProcess)
            m_outlineProcess->kill();
    });
    m_outlineProcess->start();
    m_outlineLimit->start(kOutlineTimeLimit);
}

void CatalogueBuild::outlineEnded()
{
    if (!m_outlineProcess)
        return;
    if (m_outlineProcess->exitStatus() == QProcess::NormalExit && m_outlineProcess->exitCode() == 0)
        m_outline = ParseDocumentOutline(m_outlineProcess->readAllStandardOutput(),
                                         m_plan.firstPage + m_plan.pageCount - 1);
    stopOutline();
    finishFolder();
}

void CatalogueBuild::stopOutline()
{
    if (!m_outlineProcess)
        return;
    m_outlineProcess->disconnect(this);
    m_outlineLimit->stop();
    if (m_outlineProcess->state() != QProcess::NotRunning) {
        m_outlineProcess->kill();
        m_outlineProcess->waitForFinished(5000);
    }
    m_outlineProcess->deleteLater();
    m_outlineLimit->deleteLater();
    m_outlineProcess = nullptr;
    m_outlineLimit = nullptr;
}

void CatalogueBuild::finishFolder()
{
    try {
        writeFolderFiles();
    } catch (const EDiskFull&) {
        m_diskFull = true;
        abandonFolder();
        return end(BuildOutcome::Result::Failed, fullDiskMessage());
    } catch (const EVellora& error) {
        return end(BuildOutcome::Result::Failed, error.message());
    }
    // Pages that failed may still have their previous files: the folder is only tidied once
    // every page is there.
    if (m_failed.empty())
        removeStaleCatalogueFiles(m_outputFolder, m_previous, writtenFiles(m_missingViewerFiles),
                                  m_plan.pageCount);
    end(m_failed.empty() && m_missingViewerFiles.isEmpty() ? BuildOutcome::Result::Succeeded
                                                           : BuildOutcome::Result::Failed);
}

QString CatalogueBuild::pdfCopyPath() const
{
    return m_outputFolder + pdfCopyName(m_plan.htmlFile);
}

// A PDF copy replaces only a copy the previous build made: any other file of that name is the
// user's, and the build refuses before it writes anything.
void CatalogueBuild::checkPdfCopy() const
{
    if (!m_plan.publication.pdfCopy)
        return;
    const QString name = pdfCopyName(m_plan.htmlFile);
    const QFileInfo target(pdfCopyPath());
    const bool ours = m_previous && m_previous->files.contains(name);
    if (name.compare(QFileInfo(m_plan.htmlFile).fileName(), Qt::CaseInsensitive) == 0 ||
        ((target.exists() || target.isSymLink()) && !ours))
        throw EVellora(pdfCopyTakenMessage(QDir::cleanPath(target.filePath())));
}

// The viewer files, the search file, the text version, the cover, the site map and the PDF
// copy, and last of all the manifest: a folder with a manifest is a complete folder.
void CatalogueBuild::writeFolderFiles()
{
    const QString htmlName = QFileInfo(m_plan.htmlFile).fileName();
    const QStringList texts = ReadPageTexts(m_outputFolder, m_plan.pageCount);
    const QString firstBookmark =
        m_outline.outline.isEmpty()
            ? QString()
            : m_outline.outline.first().toObject().value(u"title").toString();
    const DocumentIdentity identity =
        documentIdentity(m_outline.title, m_outline.subject, m_outline.lang, firstBookmark, texts);
    const QString url = m_plan.publication.url;
    const CataloguePageFacts pageFacts{identity, htmlName, m_plan.pageCount, url};
    const QStringList missing =
        CopyViewerFiles(m_plan.htmlFile, m_viewerFolder, [&](const QByteArray& viewerPage) {
            m_cataloguePage = filledCataloguePage(viewerPage, pageFacts);
            return m_cataloguePage;
        });
    m_searchFiles = WriteSearchFiles(m_outputFolder, texts);
    m_publishedFiles =
        WriteTextPages(m_outputFolder, {identity, htmlName, m_plan.pageCount, m_plan.firstPage,
                                        m_outline.direction == u"rtl", url});
    WriteCoverImage(m_outputFolder);
    m_publishedFiles.append(kCoverFile);
    if (!url.isEmpty()) {
        writeFileAtomically(m_outputFolder + kSitemapFile,
                            sitemapXml(url, htmlName, m_plan.pageCount));
        m_publishedFiles.append(kSitemapFile);
    }
    QString pdf;
    if (m_plan.publication.pdfCopy) {
        copyFileAtomically(ConverterInput(converterFolders()), pdfCopyPath());
        pdf = pdfCopyName(m_plan.htmlFile);
        m_publishedFiles.append(pdf);
    }
    QStringList written;
    if (!missing.contains(kViewerPage))
        written.append(htmlName);
    for (const QString& file : {kViewerScript, kViewerMovie}) {
        if (!missing.contains(file))
            written.append(file);
    }
    written << kReadmeFile << kViewerConfigFile << kViewerConfigScriptFile;
    written << m_searchFiles << m_publishedFiles;
    CatalogueManifest manifest =
        catalogueManifestFor(m_plan.htmlFile, m_plan.pageSizes, m_plan.pageCount, written);
    manifest.outline = outlineEntries(m_outline.outline, m_plan.firstPage, m_plan.pageCount);
    manifest.direction = m_outline.direction;
    manifest.search = m_searchFiles;
    manifest.title = identity.title;
    manifest.description = identity.description;
    manifest.lang = identity.lang;
    manifest.url = url;
    manifest.pdf = pdf;
    if (!missing.contains(kViewerPage))
        manifest.catalogue = htmlName;
    WriteCatalogueManifest(m_plan.htmlFile, manifest);
    m_missingViewerFiles = missing;
}

QStringList CatalogueBuild::writtenFiles(const QStringList& missingViewerFiles) const
{
    QStringList files = {QFileInfo(m_plan.htmlFile).fileName(), kViewerConfigFile,
                         kViewerConfigScriptFile, kReadmeFile, kCatalogueManifestFile};
    for (const QString& viewerFile : {kViewerScript, kViewerMovie}) {
        if (!missingViewerFiles.contains(viewerFile))
            files.append(viewerFile);
    }
    files << m_searchFiles << m_publishedFiles;
    return files;
}

} // namespace vellora
