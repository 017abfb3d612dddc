#pragma once

#include "gsimage.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace vellora {

// What one interpreter run needs to know, fixed on the GUI thread before the run starts.
struct TRunSettings
{
    QString executable;         // argument 0 of the display device's vector
    unsigned displayFormat = 0; // chosen from the screen's colour depth
    int resolution = 75;        // dots per inch of the display device
};

// Where an instance reports what the interpreter does. Every function is called on the
// worker thread that drives the instance.
struct TInstanceSink
{
    std::function<void()> clearPages;
    // A finished page, deep-copied out of the device's buffer. Returns false to stop the run.
    std::function<bool(QImage page)> pageReady;
    // A bitmap to copy the next page into, when one can be reused.
    std::function<QImage()> recycledBitmap;
    std::function<void(const QByteArray& text)> input;
    std::function<void(const QByteArray& text)> output;
    std::function<void(const QByteArray& text)> error;
    // A piece of the document was taken in by the interpreter.
    std::function<void()> progress;
};

// One Ghostscript interpreter instance, driven from one worker thread through the library's
// published gsapi_ calls. The operations catch their own failures: a caller learns of one only
// through RunFile's result, and lastError() keeps the text of the last one.
//
// Ghostscript 10 takes one gsapi_init_with_args per instance, so InitPdfWrite gives up the
// display-initialised instance (exited once, deleted) and opens a fresh one for the PDF writer.
// The instance is never exited twice; the destructor exits and deletes what is still open.
class GsInstance
{
public:
    GsInstance(TInstanceSink sink, const std::atomic<bool>& stop);
    ~GsInstance();
    GsInstance(const GsInstance&) = delete;
    GsInstance& operator=(const GsInstance&) = delete;

    bool Active() const { return m_instance != nullptr; }

    void CreateInstance();
    void InitDisplay(const TRunSettings& settings);
    // The PDF writer, writing to `outputFile` (an absolute path).
    void InitPdfWrite(const QString& outputFile);
    // Runs the file given by its absolute path; true when the interpreter's exit code is 0.
    bool RunFile(const QString& fileName, bool clear);
    // PostScript run in the initialised instance before the document; true when it ran.
    bool RunPrologue(const QByteArray& code);
    // The pages the current device has output (the PDF writer counts them too); -1 when the
    // library cannot tell.
    int DevicePageCount();
    void ExitInterpreter();
    void DeleteInstance();

    // True once RunFile has handed an existing file to the interpreter.
    bool FileRan() const { return m_fileRan; }
    // True once the instance has been initialised for the PDF writer.
    bool PdfWriter() const { return m_pdfWriter; }
    // True after a clean gsapi_exit of the PDF writer: only then is its file complete.
    bool PdfClosed() const { return m_pdfClosed; }

    const QString& lastError() const { return m_lastError; }
    const QStringList& lastArguments() const { return m_lastArguments; }

    // The display device's callbacks (they find the instance through their handle).
    int displayOpen(void* handle, void* device);
    int displaySize(int width, int height, int raster, unsigned format, unsigned char* image);
    int displayPage();
    // The image buffer is about to be freed (size change, close).
    void displayForget();
    int readInput(char* buffer, int length);
    int writeOutput(const char* text, int length);
    int writeError(const char* text, int length);
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

private:
    void fail(const QString& text);
    void initWithArgs(const QStringList& arguments);
    int runStreamed(QFile& file, int& exitCode);

    TInstanceSink m_sink;
    const std::atomic<bool>& m_stop;
    void* m_instance = nullptr;
    bool m_initialised = false;
    bool m_initFailed = false;
    bool m_exited = false;
    bool m_fileRan = false;
    bool m_pdfWriter = false;
    bool m_pdfClosed = false;
    TDisplayImage m_display;
    QString m_lastError;
    QStringList m_lastArguments;
};

} // namespace vellora
