#pragma once

#include "Bitmap.h"
#include "GsInstance.h"
#include "PagePacker.h"
#include "RunQueue.h"

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
// Threads. The component lives on the GUI thread, and so do its page list, its navigation and
// every event it raises. The interpreter itself runs on the worker thread of the component's
// run queue (Queue()): each finished page is copied out of the device's buffer there and handed
// to the GUI thread, which stores it, raises OnPageGenerated and alone touches the view. A run
// is asked for with Preview() or ConvertToPdf(); its `finished` callback is where the steps
// that follow a run belong. Runs never overlap: a run asked for during another waits its turn.
//
// The text events are raised on the GUI thread after the fact: the interpreter gets no input
// and its output is taken whole, whatever the handlers do with `Value`.
class TGhostScript : public QObject
{
    Q_OBJECT
public:
    explicit TGhostScript(QObject* owner = nullptr);
    ~TGhostScript() override;

    // An interpreter instance is open (on the worker thread).
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

    // Preview: renders `file` (an absolute path) into the page list, emptied first, at
    // Resolution. `finished` runs on the GUI thread after the run with its result (true when
    // the interpreter's exit code was 0).
    void Preview(const QString& file, std::function<void(bool ok)> finished = {});

    // Conversion: has the PDF writer turn `file` into `pdfFile` (absolute). The PDF is written
    // to a temporary file beside it and renamed into place only when the file really ran and
    // the writer closed cleanly; otherwise the temporary file and any older `pdfFile` are
    // removed, so nobody takes an earlier document for this one. The page list is not
    // emptied. `started` runs on the GUI thread when the run's turn has come.
    void ConvertToPdf(const QString& file, const QString& pdfFile,
                      std::function<void(bool ok)> finished = {},
                      std::function<void()> started = {});

    TRunQueue& Queue() { return m_queue; }

    // What the last run that finished left: the text of its last caught failure (for example
    // "File /x/y.ps does not exist."), and its last argument vector.
    const QString& LastError() const { return m_lastError; }
    const QStringList& LastArguments() const { return m_lastArguments; }

    // Stops a run in progress at its next page or piece of input, drops waiting runs and joins
    // the worker. Runs by itself when the application is about to quit.
    void Shutdown();

private:
    struct RunState;
    struct SessionOutcome
    {
        bool ran = false;       // RunFile's result
        bool fileRan = false;   // the file really reached the interpreter
        bool pdfClosed = false; // the PDF writer was closed by a clean exit
    };

    // One interpreter session on the worker thread: the display device, plus the PDF writer
    // into pdfFile when that is not empty; the instance is exited and deleted once.
    SessionOutcome runSession(RunState& run, const QString& pdfFile, bool clearPages);
    void enqueueRun(std::shared_ptr<RunState> state, std::function<bool(RunState&)> body,
                    std::function<void(bool)> finished, std::function<void()> started);
    void showCurrentPage();
    void pageArrived(TPackedPage page);
    TInstanceSink makeSink(TPagePacker& packer);
    std::function<void(TPackedPage)> pageDelivery();
    static void raiseStdio(const TgsStdioEvent& event, QByteArray text);

    int m_resolution = 75;
    int m_currentPage = 0;
    TBitmap* m_viewBitmap = nullptr;
    std::atomic<bool> m_active = false;
    QString m_lastError;
    QStringList m_lastArguments;

    TRunQueue m_queue;
};

} // namespace vellora
