#include "GhostScript.h"

#include "GsInstance.h"
#include "PageList.h"
#include "PrivateFolders.h"
#include "Prompts.h"
#include "gsapi.h"
#include "gsimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryFile>
#include <cstdio>

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
    TRunSettings settings;
    QString file;
    QString pdfFile;
    QString lastError;
    QStringList lastArguments;
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
    gsapi_revision_t revision{};
    if (gsapi_revision(&revision, sizeof revision) != 0)
        m_lastError = QStringLiteral("Impossible to get GhostScript revision");
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
        state->settings.executable = QCoreApplication::applicationFilePath();
        state->settings.displayFormat = DisplayFormatForDepth(ScreenDepth());
        state->settings.resolution = m_resolution;
        if (started)
            started();
    };
    job.work = [state, body = std::move(body)] {
        return body(*state);
    };
    job.finished = [this, state, finished = std::move(finished)](bool ok) {
        m_lastError = state->lastError;
        m_lastArguments = state->lastArguments;
        if (finished)
            finished(ok);
    };
    m_queue.enqueue(std::move(job));
}

// Everything the instance reports is handed to the GUI thread in the order it happened; pages
// go through the packer, which the run drains before it ends.
TInstanceSink TGhostScript::makeSink(TPagePacker& packer)
{
    TInstanceSink sink;
    sink.clearPages = [this] {
        QMetaObject::invokeMethod(
            this, [this] { ClearPages(); }, Qt::QueuedConnection);
    };
    sink.recycledBitmap = [&packer] {
        return packer.takeBuffer();
    };
    sink.pageReady = [this, &packer](QImage page) {
        return packer.submit(std::move(page), m_queue.stopFlag());
    };
    auto forward = [this](const TgsStdioEvent& (*which)()) {
        return [this, which](const QByteArray& text) {
            QMetaObject::invokeMethod(
                this, [which, text] { raiseStdio(which(), text); }, Qt::QueuedConnection);
        };
    };
    sink.input = forward(&TGhostScript::GetOnInput);
    sink.output = forward(&TGhostScript::GetOnOutput);
    sink.error = forward(&TGhostScript::GetOnError);
    return sink;
}

std::function<void(TPackedPage)> TGhostScript::pageDelivery()
{
    return [this](TPackedPage page) {
        // The call only reads its copy: whatever it holds is let go on this thread.
        QMetaObject::invokeMethod(
            this, [this, page] { pageArrived(page); }, Qt::QueuedConnection);
    };
}

TGhostScript::SessionOutcome TGhostScript::runSession(RunState& run, const QString& pdfFile,
                                                      bool clearPages)
{
    TPagePacker packer(pageDelivery());
    GsInstance gs(makeSink(packer), m_queue.stopFlag());
    gs.CreateInstance();
    m_active = gs.Active();
    gs.InitDisplay(run.settings);
    if (!pdfFile.isEmpty())
        gs.InitPdfWrite(pdfFile);
    SessionOutcome outcome;
    outcome.ran = gs.RunFile(run.file, clearPages);
    gs.ExitInterpreter();
    gs.DeleteInstance();
    packer.drain();
    m_active = false;
    run.lastError = gs.lastError();
    run.lastArguments = gs.lastArguments();
    outcome.fileRan = gs.FileRan();
    outcome.pdfClosed = gs.PdfClosed();
    return outcome;
}

void TGhostScript::Preview(const QString& file, std::function<void(bool)> finished)
{
    auto state = std::make_shared<RunState>();
    state->file = file;
    enqueueRun(state, [this](RunState& run) { return runSession(run, QString(), true).ran; },
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

            const SessionOutcome outcome = runSession(run, partial, false);

            // The writer leaves a blank page behind when it fails: only a run that really
            // went through replaces the working PDF.
            const bool written =
                outcome.ran && outcome.fileRan && outcome.pdfClosed && isCompletePdf(partial);
            if (written && std::rename(QFile::encodeName(partial).constData(),
                                       QFile::encodeName(run.pdfFile).constData()) == 0)
                return true;
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
}

} // namespace vellora
