#include "GhostScript.h"

#include "PageList.h"
#include "Paths.h"
#include "PrivateFolders.h"
#include "Prompts.h"
#include "gsimage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>
#include <mutex>

namespace vellora {

namespace {

struct ProcessEvents
{
    TgsStdioEvent input;
    TgsStdioEvent output;
    TgsStdioEvent error;
    TgsPageGeneratedEvent pageGenerated;
};

ProcessEvents& events()
{
    static ProcessEvents shared;
    return shared;
}

int g_screenDepthForTesting = 0;

std::mutex g_limitsMutex;
TInterpreterLimits g_limits;

// The document as it stands: its path, size and modification time.
QString documentKey(const QString& file)
{
    const QFileInfo info(file);
    return info.absoluteFilePath() + u'\n' + QString::number(info.size()) + u'\n' +
           QString::number(info.lastModified().toMSecsSinceEpoch());
}

bool isCompletePdf(const QString& file)
{
    QFile pdf(file);
    return pdf.open(QIODevice::ReadOnly) && pdf.size() > 0 && pdf.read(5) == "%PDF-";
}

// A unique name beside `target`, for the writer to fill before it replaces `target`.
QString temporaryNameBeside(const QString& target)
{
    QTemporaryFile file(target + QStringLiteral(".XXXXXX.part"));
    file.setAutoRemove(false);
    if (!file.open())
        return {};
    return file.fileName();
}

} // namespace

// What one run shares between its GUI-thread steps and its worker-thread work.
struct TGhostScript::RunState
{
    QString program;
    unsigned displayFormat = 0;
    int resolution = 75;
    TInterpreterLimits limits;
    QString file;
    QString pdfFile;
    QString lastError;
    QStringList lastArguments;
    Failure failure = Failure::None;
};

TGhostScript::TGhostScript(QObject* owner) : QObject(owner)
{
    PrepareInterpreterEnvironment();
    PageList();
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TGhostScript::Shutdown);
}

TGhostScript::~TGhostScript()
{
    Shutdown();
}

void TGhostScript::SetResolution(int value)
{
    if (value == m_resolution)
        return;
    if (value <= 0) {
        prompts().error(QStringLiteral("The resolution cannot be negative"));
        return;
    }
    m_resolution = value;
}

void TGhostScript::SetOnInput(TgsStdioEvent handler)
{
    events().input = std::move(handler);
}
void TGhostScript::SetOnOutput(TgsStdioEvent handler)
{
    events().output = std::move(handler);
}
void TGhostScript::SetOnError(TgsStdioEvent handler)
{
    events().error = std::move(handler);
}
void TGhostScript::SetOnPageGenerated(TgsPageGeneratedEvent handler)
{
    events().pageGenerated = std::move(handler);
}
const TgsStdioEvent& TGhostScript::GetOnInput()
{
    return events().input;
}
const TgsStdioEvent& TGhostScript::GetOnOutput()
{
    return events().output;
}
const TgsStdioEvent& TGhostScript::GetOnError()
{
    return events().error;
}
const TgsPageGeneratedEvent& TGhostScript::GetOnPageGenerated()
{
    return events().pageGenerated;
}

void TGhostScript::ClearPages()
{
    PageList().clear();
    m_currentPage = 0;
}

void TGhostScript::SetPageCount(int count)
{
    PageList().setCount(count);
}

int TGhostScript::GetPageCount() const
{
    return PageList().count();
}

int TGhostScript::PagesRendered() const
{
    return PageList().PagesRendered();
}

QImage TGhostScript::GetPage(int n) const
{
    return PageList().page(n);
}

int TGhostScript::GetPageWidth() const
{
    const QSize size = PageList().pageSize(m_currentPage);
    return size.isValid() ? size.width() : 0;
}

int TGhostScript::GetPageHeight() const
{
    const QSize size = PageList().pageSize(m_currentPage);
    return size.isValid() ? size.height() : 0;
}

void TGhostScript::showCurrentPage()
{
    try {
        if (OnResizePage)
            OnResizePage(this);
        m_viewBitmap->Assign(GetPage(m_currentPage));
    } catch (...) {
        // A failing handler leaves the page number as it was given.
    }
}

void TGhostScript::FirstPage()
{
    if (!m_viewBitmap || GetPageCount() <= 0)
        return;
    m_currentPage = 1;
    showCurrentPage();
}

void TGhostScript::NextPage()
{
    if (!m_viewBitmap || GetPageCount() <= m_currentPage)
        return;
    ++m_currentPage;
    showCurrentPage();
}

void TGhostScript::PreviousPage()
{
    if (!m_viewBitmap || m_currentPage <= 1)
        return;
    --m_currentPage;
    showCurrentPage();
}

void TGhostScript::GoToPage(int n)
{
    if (!m_viewBitmap || GetPageCount() <= 0 || n == m_currentPage || n > GetPageCount())
        return;
    m_currentPage = n;
    showCurrentPage();
}

int TGhostScript::ScreenDepth()
{
    if (g_screenDepthForTesting > 0)
        return g_screenDepthForTesting;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
}

void TGhostScript::SetScreenDepthForTesting(int depth)
{
    g_screenDepthForTesting = depth;
}

TInterpreterLimits TGhostScript::Limits()
{
    std::lock_guard lock(g_limitsMutex);
    return g_limits;
}

void TGhostScript::SetLimitsForTesting(const TInterpreterLimits& limits)
{
    std::lock_guard lock(g_limitsMutex);
    g_limits = limits;
}

QString TGhostScript::InterpreterProgram()
{
    return paths::ToolFolder() + QStringLiteral("/vellora-interpreter");
}

QString TGhostScript::DisplayFormatArg()
{
    return u"-dDisplayFormat=" + QString::number(DisplayFormatForDepth(ScreenDepth()));
}

void TGhostScript::raiseStdio(const TgsStdioEvent& event, QByteArray text)
{
    if (event)
        event(text, static_cast<int>(text.size()));
}

void TGhostScript::pageArrived(TPackedPage page)
{
    const int number = PageList().deliver(std::move(page));
    if (const TgsPageGeneratedEvent& generated = events().pageGenerated)
        generated(number);
}

void TGhostScript::enqueueRun(std::shared_ptr<RunState> state, std::function<bool(RunState&)> body,
                              std::function<void(bool)> finished, std::function<void()> started)
{
    TRunQueue::Job job;
    job.start = [this, state, started = std::move(started)] {
        // Fixed here, on the GUI thread, for the whole run.
        state->program = InterpreterProgram();
        state->displayFormat = DisplayFormatForDepth(ScreenDepth());
        state->resolution = m_resolution;
        state->limits = Limits();
        if (started)
            started();
    };
    job.work = [state, body = std::move(body)] {
        return body(*state);
    };
    job.finished = [this, state, finished = std::move(finished)](bool ok) {
        m_lastError = state->lastError;
        m_lastArguments = state->lastArguments;
        m_lastFailure = state->failure;
        if (finished)
            finished(ok);
    };
    m_queue.enqueue(std::move(job));
}

// A frame from the interpreter program, handed to the GUI thread: a page or a line of text.
void TGhostScript::forwardFrame(TFrameKind kind, const QByteArray& payload)
{
    switch (kind) {
    case TFrameKind::Page:
        if (auto page = DecodePage(payload)) {
            QMetaObject::invokeMethod(
                this, [this, page = std::move(*page)] { pageArrived(page); }, Qt::QueuedConnection);
        }
        break;
    case TFrameKind::Output:
    case TFrameKind::Error:
    case TFrameKind::Input: {
        const TgsStdioEvent& (*which)() = kind == TFrameKind::Output  ? &GetOnOutput
                                          : kind == TFrameKind::Error ? &GetOnError
                                                                      : &GetOnInput;
        QMetaObject::invokeMethod(
            this, [which, text = payload] { raiseStdio(which(), text); }, Qt::QueuedConnection);
        break;
    }
    default:
        break;
    }
}

TInterpreterProcess::Result TGhostScript::runSession(RunState& run, const QString& pdfFile)
{
    const QString key = documentKey(run.file);
    if (!m_unreadableDocument.isEmpty() && key == m_unreadableDocument) {
        // The same document, unchanged, just had to be killed: it is not tried again.
        TInterpreterProcess::Result refused;
        refused.end = TInterpreterProcess::End::Crashed;
        refused.failure = QStringLiteral("L'interpréteur n'a pas pu lire le document.");
        run.lastError = refused.failure;
        run.failure = Failure::Unreadable;
        return refused;
    }

    QStringList job;
    if (pdfFile.isEmpty())
        job << QStringLiteral("display") << QString::number(run.displayFormat)
            << QString::number(run.resolution);
    else
        job << QStringLiteral("pdf") << pdfFile;
    job << run.file;

    std::unique_ptr<TWarmInterpreter::Child> child = m_warm.Take(run.program, run.limits);
    // The next job finds its program waiting; this one never serves another.
    if (m_keepWarm)
        m_warm.Prestart(run.program, run.limits,
                        {QString::number(run.displayFormat), QString::number(run.resolution)});
    m_active = true;
    auto frame = [this](TFrameKind kind, QByteArray& payload) {
        forwardFrame(kind, payload);
    };
    TInterpreterProcess::Result result;
    for (int attempt = 0;; ++attempt) {
        m_lastPid = child->process.Pid();
        const bool sent = child->started && child->process.SendJob(job);
        if (sent)
            child->process.ReadFrames(m_queue.stopFlag(), run.limits.watchdog, frame);
        result = child->process.Finish();
        // A waiting program can die between the look at it and its job, or before it read
        // the job (its last threads still hold the pipe): it never saw the document, so the
        // job gets one fresh start rather than a failure.
        const bool diedWaiting = child->started && !result.jobTaken &&
                                 (!sent || result.end == TInterpreterProcess::End::Crashed);
        if (attempt > 0 || !diedWaiting)
            break;
        child = m_warm.Take(run.program, run.limits);
    }
    if (!child->work->isValid())
        result.failure = QStringLiteral("Aucun dossier privé pour l'interpréteur.");
    m_active = false;

    run.lastArguments = result.arguments;
    switch (result.end) {
    case TInterpreterProcess::End::Finished:
        run.lastError = result.report.lastError;
        run.failure = result.report.ran ? Failure::None : Failure::Failed;
        break;
    case TInterpreterProcess::End::Stalled:
    case TInterpreterProcess::End::Crashed:
        m_unreadableDocument = key;
        run.lastError = result.failure;
        run.failure = Failure::Unreadable;
        break;
    case TInterpreterProcess::End::Stopped:
    case TInterpreterProcess::End::NotStarted:
        run.lastError = result.failure;
        run.failure = Failure::Failed;
        break;
    }
    return result;
}

void TGhostScript::Preview(const QString& file, std::function<void(bool)> finished)
{
    auto state = std::make_shared<RunState>();
    state->file = file;
    enqueueRun(state,
               [this](RunState& run) {
                   // The page list is emptied first, before any page of this run arrives.
                   QMetaObject::invokeMethod(
                       this, [this] { ClearPages(); }, Qt::QueuedConnection);
                   const TInterpreterProcess::Result result = runSession(run, QString());
                   const bool finished = result.end == TInterpreterProcess::End::Finished;
                   if (finished && result.report.ran && result.pagesReceived == 0)
                       run.failure = Failure::NoPage;
                   return finished && result.report.ran;
               },
               std::move(finished), {});
}

void TGhostScript::ConvertToPdf(const QString& file, const QString& pdfFile,
                                std::function<void(bool)> finished, std::function<void()> started)
{
    auto state = std::make_shared<RunState>();
    state->file = file;
    state->pdfFile = pdfFile;
    enqueueRun(
        state,
        [this](RunState& run) {
            QDir().mkpath(QFileInfo(run.pdfFile).absolutePath());
            const QString partial = temporaryNameBeside(run.pdfFile);

            const TInterpreterProcess::Result result =
                partial.isEmpty() ? TInterpreterProcess::Result{} : runSession(run, partial);
            const TRunReport& report = result.report;
            const bool finished = result.end == TInterpreterProcess::End::Finished;
            // The writer leaves a blank page behind when it fails or gets no page: only a run
            // that really went through and wrote pages replaces the working PDF.
            if (finished && report.ran && report.fileRan && report.pdfPages == 0)
                run.failure = Failure::NoPage;
            if (partial.isEmpty()) {
                run.lastError = u"Aucun fichier temporaire possible à côté de " + run.pdfFile;
                run.failure = Failure::Failed;
            }
            const bool written = finished && report.ran && report.fileRan && report.pdfClosed &&
                                 report.pdfPages != 0 && isCompletePdf(partial);
            if (!written && run.failure == Failure::None)
                run.failure = Failure::Failed;
            if (written && std::rename(QFile::encodeName(partial).constData(),
                                       QFile::encodeName(run.pdfFile).constData()) == 0)
                return true;
            if (written)
                run.failure = Failure::Failed; // the rename failed
            if (!partial.isEmpty())
                QFile::remove(partial);
            QFile::remove(run.pdfFile);
            return false;
        },
        std::move(finished), std::move(started));
}

void TGhostScript::Shutdown()
{
    m_queue.shutdown();
    m_keepWarm = false;
    m_warm.Drop();
}

void TGhostScript::SetKeepWarm(bool keep)
{
    m_keepWarm = keep;
    if (!keep)
        m_warm.Drop();
}

void TGhostScript::PrepareInterpreter()
{
    if (m_keepWarm)
        m_warm.Prestart(
            InterpreterProgram(), Limits(),
            {QString::number(DisplayFormatForDepth(ScreenDepth())), QString::number(m_resolution)});
}

pid_t TGhostScript::IdleInterpreterPid()
{
    return m_warm.IdlePid();
}

bool TGhostScript::AwaitIdleInterpreter(std::chrono::milliseconds timeout)
{
    PrepareInterpreter();
    return m_warm.AwaitIdleReady(timeout);
}

} // namespace vellora
