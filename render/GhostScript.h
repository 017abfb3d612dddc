#pragma once

#include "Bitmap.h"
#include "InterpreterProcess.h"
#include "PagePacker.h"
#include "RunQueue.h"
#include "WarmInterpreter.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

namespace vellora {

// The interpreter's text streams: the handler may replace `Value`; `len` is the byte count.
using TgsStdioEvent = std::function<void(QByteArray& Value, int len)>;
// One rendered page arrived: `Page` is the number of pages rendered since the list was cleared.
using TgsPageGeneratedEvent = std::function<void(int Page)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;

// The Ghostscript interpreter component. It renders documents into the process-wide page list
// (PageList) through the library's display device, converts the print file into the working
// PDF, and navigates the page list for the page view.
//
// The interpreter never runs in this process: each run is one start of the interpreter program
// (vellora-interpreter, in the tool folder), with a private working folder, limits on memory
// and processor time, and, where the kernel has Landlock, access to no file but the document,
// Ghostscript's own folders and what it writes. A run that crashes, hits a limit or makes no
// progress for a while is killed; the component reports it (LastFailure) and the next run
// starts as usual.
//
// Threads. The component lives on the GUI thread, and so do its page list, its navigation and
// every event it raises. A run is driven from the worker thread of the component's run queue
// (Queue()): pages come back packed from the program as it renders them and are handed to the
// GUI thread, which stores them, raises OnPageGenerated and alone touches the view. A run is
// asked for with Preview() or ConvertToPdf(); its `finished` callback is where the steps that
// follow a run belong. Runs never overlap: a run asked for during another waits its turn.
//
// The text events are raised on the GUI thread after the fact: the interpreter gets no input
// and its output is taken whole, whatever the handlers do with `Value`.
class TGhostScript : public QObject
{
    Q_OBJECT
public:
    explicit TGhostScript(QObject* owner = nullptr);
    ~TGhostScript() override;

    // What went wrong with the last run that finished, beyond its result.
    enum class Failure
    {
        None,
        Failed,     // the interpreter reported an error
        NoPage,     // the document ran and holds no page
        Unreadable, // the interpreter crashed, hit a limit or made no progress, and was killed
    };

    // An interpreter program is running for this component.
    bool Active() const { return m_active.load(); }

    int Resolution() const { return m_resolution; }
    // A positive value is used from the next run on; 0 or less shows an error box and keeps
    // the old value.
    void SetResolution(int value);

    TBitmap* ViewBitmap() const { return m_viewBitmap; }
    void SetViewBitmap(TBitmap* bitmap) { m_viewBitmap = bitmap; }

    // Fired on every page change, after CurrentPage changed and before the view gets the page.
    TNotifyEvent OnResizePage;

    // Process-wide events, shared by every component object.
    static void SetOnInput(TgsStdioEvent handler);
    static void SetOnOutput(TgsStdioEvent handler);
    static void SetOnError(TgsStdioEvent handler);
    static void SetOnPageGenerated(TgsPageGeneratedEvent handler);
    static const TgsStdioEvent& GetOnInput();
    static const TgsStdioEvent& GetOnOutput();
    static const TgsStdioEvent& GetOnError();
    static const TgsPageGeneratedEvent& GetOnPageGenerated();

    // The page list and navigation. CurrentPage is 1-based, 0 for none.
    int CurrentPage() const { return m_currentPage; }
    void ClearPages();
    void SetPageCount(int count);
    int GetPageCount() const;
    int PagesRendered() const;
    QImage GetPage(int n) const;
    void FirstPage();
    void NextPage();
    void PreviousPage();
    void GoToPage(int n);
    int GetPageWidth() const;
    int GetPageHeight() const;
    int PageWidth() const { return GetPageWidth(); }
    int PageHeight() const { return GetPageHeight(); }

    // "-dDisplayFormat=" and the format for the screen's colour depth.
    static QString DisplayFormatArg();
    static int ScreenDepth();
    // Tests render for other screens; 0 returns to the real screen.
    static void SetScreenDepthForTesting(int depth);

    // The limits of every run from the next one on (tests shorten the watchdog).
    static TInterpreterLimits Limits();
    static void SetLimitsForTesting(const TInterpreterLimits& limits);
    // The interpreter program: vellora-interpreter in the tool folder.
    static QString InterpreterProgram();

    // Preview: renders `file` (an absolute path) into the page list, emptied first, at
    // Resolution. `finished` runs on the GUI thread after the run with its result (true when
    // the interpreter's exit code was 0; a document without pages still gives true, with
    // LastFailure NoPage).
    void Preview(const QString& file, std::function<void(bool ok)> finished = {});

    // Conversion: has the PDF writer turn `file` into `pdfFile` (absolute). The PDF is written
    // to a temporary file beside it and renamed into place only when the file really ran and
    // the writer closed cleanly; otherwise the temporary file and any older `pdfFile` are
    // removed, so nobody takes an earlier document for this one. A document without pages
    // fails too (LastFailure NoPage). The page list is not emptied. `started` runs on the GUI
    // thread when the run's turn has come.
    void ConvertToPdf(const QString& file, const QString& pdfFile,
                      std::function<void(bool ok)> finished = {},
                      std::function<void()> started = {});

    TRunQueue& Queue() { return m_queue; }

    // Keeps one interpreter program started and waiting for the next run (the default), so
    // that a run does not wait for the program to start; a program that served a run is
    // never used again. A one-off user (the command line) turns it off.
    void SetKeepWarm(bool keep);
    // Starts the waiting program now rather than with the first run (the window does once
    // its start is over).
    void PrepareInterpreter();
    // The waiting program's process id (-1 for none), the last run's, and a wait until the
    // waiting one (started now if there is none) is set up: for tests and benchmarks.
    pid_t IdleInterpreterPid();
    pid_t LastInterpreterPid() const { return m_lastPid.load(); }
    bool AwaitIdleInterpreter(std::chrono::milliseconds timeout);

    // What the last run that finished left: the text of its last caught failure (for example
    // "File /x/y.ps does not exist."), and its last argument vector.
    const QString& LastError() const { return m_lastError; }
    const QStringList& LastArguments() const { return m_lastArguments; }
    Failure LastFailure() const { return m_lastFailure; }

    // Kills a run in progress (its program is reaped and its files removed), drops waiting
    // runs and joins the worker, in a few tens of milliseconds. Runs by itself when the
    // application is about to quit.
    void Shutdown();

private:
    struct RunState;

    // One run of the interpreter program on the worker thread: the display device, or the
    // PDF writer into pdfFile when that is not empty.
    TInterpreterProcess::Result runSession(RunState& run, const QString& pdfFile);
    void forwardFrame(TFrameKind kind, const QByteArray& payload);
    void enqueueRun(std::shared_ptr<RunState> state, std::function<bool(RunState&)> body,
                    std::function<void(bool)> finished, std::function<void()> started);
    void showCurrentPage();
    void pageArrived(TPackedPage page);
    static void raiseStdio(const TgsStdioEvent& event, QByteArray text);

    int m_resolution = 75;
    int m_currentPage = 0;
    TBitmap* m_viewBitmap = nullptr;
    std::atomic<bool> m_active = false;
    QString m_lastError;
    QStringList m_lastArguments;
    Failure m_lastFailure = Failure::None;
    // Worker thread only: the document whose last run had to be killed, so that the
    // conversion of the same job does not wait for the watchdog a second time.
    QString m_unreadableDocument;

    std::atomic<bool> m_keepWarm = true;
    std::atomic<pid_t> m_lastPid = -1;
    TWarmInterpreter m_warm;
    TRunQueue m_queue;
};

} // namespace vellora
