#include "GsInstance.h"

#include "gsapi.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace vellora {

namespace {

GsInstance* owner(void* handle)
{
    return static_cast<GsInstance*>(handle);
}

int displayOpen(void* handle, void* device)
{
    return owner(handle)->displayOpen(handle, device);
}
int displayNothing(void*, void*)
{
    return 0;
}
// Before a size change and before the device closes, the library frees the image: the pointer
// we keep is dropped at once, and a page is only ever copied from the buffer of the last
// display_size.
int displayPreclose(void* handle, void*)
{
    owner(handle)->displayForget();
    return 0;
}
int displayClose(void* handle, void*)
{
    owner(handle)->displayForget();
    return 0;
}
int displayPresize(void* handle, void*, int, int, int, unsigned)
{
    owner(handle)->displayForget();
    return 0;
}
int displaySize(void* handle, void*, int width, int height, int raster, unsigned format,
                unsigned char* image)
{
    return owner(handle)->displaySize(width, height, raster, format, image);
}
int displayPage(void* handle, void*, int, int)
{
    return owner(handle)->displayPage();
}
int displayUpdate(void*, void*, int, int, int, int)
{
    return 0;
}

const display_callback kDisplayCallback = {
    .size = sizeof(display_callback),
    .version_major = DISPLAY_VERSION_MAJOR,
    .version_minor = DISPLAY_VERSION_MINOR,
    .display_open = displayOpen,
    .display_preclose = displayPreclose,
    .display_close = displayClose,
    .display_presize = displayPresize,
    .display_size = displaySize,
    .display_sync = displayNothing,
    .display_page = displayPage,
    .display_update = displayUpdate,
    .display_memalloc = nullptr,
    .display_memfree = nullptr,
    .display_separation = nullptr,
    .display_adjust_band_height = nullptr,
    .display_rectangle_request = nullptr,
};

// The display device asks for its callback table through the "display" callout; the handle
// we registered comes back with every callback.
int displayCallout(void*, void* handle, const char* deviceName, int id, int size, void* data)
{
    if (!deviceName || std::strcmp(deviceName, "display") != 0 ||
        id != DISPLAY_CALLOUT_GET_CALLBACK || size < int(sizeof(gs_display_get_callback_t)))
        return -1;
    auto* request = static_cast<gs_display_get_callback_t*>(data);
    request->callback = const_cast<display_callback*>(&kDisplayCallback);
    request->caller_handle = handle;
    return 0;
}

int stdinCallback(void* handle, char* buffer, int length)
{
    return owner(handle)->readInput(buffer, length);
}
int stdoutCallback(void* handle, const char* text, int length)
{
    return owner(handle)->writeOutput(text, length);
}
int stderrCallback(void* handle, const char* text, int length)
{
    return owner(handle)->writeError(text, length);
}
// Debian's library never calls it; should another build do so, it stops a run on request.
int pollCallback(void* handle)
{
    return owner(handle)->stopRequested() ? -1 : 0;
}

bool looksLikePdf(QFile& file)
{
    const QByteArray head = file.peek(1024);
    return head.contains("%PDF-");
}

constexpr qint64 kChunk = 64 * 1024;

} // namespace

GsInstance::GsInstance(TInstanceSink sink, const std::atomic<bool>& stop)
    : m_sink(std::move(sink)), m_stop(stop)
{}

GsInstance::~GsInstance()
{
    DeleteInstance();
}

void GsInstance::fail(const QString& text)
{
    m_lastError = text;
}

void GsInstance::CreateInstance()
{
    if (m_instance)
        return;
    void* instance = nullptr;
    const int created = gsapi_new_instance(&instance, this);
    if (created != 0) {
        fail(u"Impossible to open an instance of ghostscript. Error code: " +
             QString::number(created));
        return;
    }
    m_instance = instance;
    m_initialised = false;
    m_exited = false;
    m_fileRan = false;
    m_pdfWriter = false;
    m_pdfClosed = false;
    gsapi_set_arg_encoding(m_instance, GS_ARG_ENCODING_UTF8);

    if (const int code = gsapi_set_stdio_with_handle(m_instance, stdinCallback, stdoutCallback,
                                                     stderrCallback, this);
        code < 0) {
        DeleteInstance();
        fail(u"Impossible to assign callback stdio functions: " + QString::number(code));
        return;
    }
    if (const int code = gsapi_set_poll_with_handle(m_instance, pollCallback, this); code < 0) {
        DeleteInstance();
        fail(u"Impossible to assign callback poll function: " + QString::number(code));
        return;
    }
    // Without a display callback a run on the display device crashes the library: every
    // instance gets one before anything runs.
    if (const int code = gsapi_register_callout(m_instance, displayCallout, this); code < 0) {
        DeleteInstance();
        fail(u"Impossible to assign callback display functions: " + QString::number(code));
        return;
    }
}

void GsInstance::initWithArgs(const QStringList& arguments)
{
    m_lastArguments = arguments;
    std::vector<QByteArray> encoded;
    std::vector<char*> argv;
    encoded.reserve(static_cast<size_t>(arguments.size()));
    for (const QString& argument : arguments) {
        encoded.push_back(argument.toUtf8());
        argv.push_back(encoded.back().data());
    }
    m_initialised = true;
    const int code = gsapi_init_with_args(m_instance, static_cast<int>(argv.size()), argv.data());
    if (code < 0) {
        // First composed with the library's code, then replaced, as the component always did.
        fail(u"ERROR: init_args: " + QString::number(code));
        fail(QStringLiteral("ERROR: init_args: Access violation. Something went wrong."));
        m_initFailed = true;
    }
}

void GsInstance::InitDisplay(const TRunSettings& settings)
{
    if (!m_instance)
        return;
    initWithArgs({settings.executable, QStringLiteral("-sDEVICE=display"),
                  u"-dDisplayFormat=" + QString::number(settings.displayFormat),
                  u"-r" + QString::number(settings.resolution), QStringLiteral("-dSAFER")});
}

void GsInstance::InitPdfWrite(const QString& outputFile)
{
    if (!m_instance)
        return;
    // One initialisation per instance: the display-initialised one is given up for a fresh
    // instance whose arguments name the output file (which -dSAFER then lets it write).
    if (m_initialised) {
        DeleteInstance();
        CreateInstance();
        if (!m_instance)
            return;
    }
    m_pdfWriter = true;
    initWithArgs({QStringLiteral("ps2pdf"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                  QStringLiteral("-dSAFER"), QStringLiteral("-r150"),
                  QStringLiteral("-sDEVICE=pdfwrite"), u"-sOutputFile=" + outputFile});
}

bool GsInstance::RunFile(const QString& fileName, bool clear)
{
    if (clear && m_sink.clearPages)
        m_sink.clearPages();
    if (!m_instance)
        return false;

    const QFileInfo info(fileName);
    if (!info.exists()) {
        fail(u"File " + fileName + u" does not exist.");
        return false;
    }
    if (!m_initialised || m_initFailed || m_exited)
        return false;

    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        fail(u"File " + fileName + u" cannot be read.");
        return false;
    }
    m_fileRan = true;
    int exitCode = 0;
    int code = 0;
    if (looksLikePdf(file)) {
        // A PDF needs random access: the library reads it by name.
        file.close();
        code = gsapi_run_file(m_instance, QFile::encodeName(info.absoluteFilePath()).constData(), 0,
                              &exitCode);
    } else {
        code = runStreamed(file, exitCode);
    }
    if (m_stop.load())
        return false;
    return exitCode == 0 && (code >= 0 || code == gs_error_Quit);
}

// PostScript is fed in pieces, so that a stop request is seen between two pieces even when no
// page comes out (the PDF writer has no page callback).
int GsInstance::runStreamed(QFile& file, int& exitCode)
{
    int code = gsapi_run_string_begin(m_instance, 0, &exitCode);
    if (code < 0)
        return code;
    QByteArray chunk;
    while (!file.atEnd()) {
        if (m_stop.load())
            return gs_error_Fatal;
        chunk = file.read(kChunk);
        if (chunk.isEmpty())
            break;
        code = gsapi_run_string_continue(m_instance, chunk.constData(),
                                         static_cast<unsigned>(chunk.size()), 0, &exitCode);
        if (code == gs_error_NeedInput)
            code = 0;
        if (code < 0)
            return code;
        if (m_sink.progress)
            m_sink.progress();
    }
    return gsapi_run_string_end(m_instance, 0, &exitCode);
}

bool GsInstance::RunPrologue(const QByteArray& code)
{
    if (!m_instance || !m_initialised || m_initFailed || m_exited)
        return false;
    int exitCode = 0;
    const int result = gsapi_run_string(m_instance, code.constData(), 0, &exitCode);
    return result >= 0 && exitCode == 0;
}

int GsInstance::DevicePageCount()
{
    if (!m_instance || !m_initialised || m_initFailed || m_exited)
        return -1;
    int count = -1;
    if (gsapi_get_param(m_instance, "PageCount", &count, gs_spt_int) < 0)
        return -1;
    return count;
}

void GsInstance::ExitInterpreter()
{
    if (!m_instance || !m_initialised || m_exited)
        return;
    m_exited = true;
    const int code = gsapi_exit(m_instance);
    if (m_pdfWriter)
        m_pdfClosed = code == 0 && !m_initFailed;
}

void GsInstance::DeleteInstance()
{
    if (!m_instance)
        return;
    // An initialised instance is exited once before it goes.
    ExitInterpreter();
    gsapi_delete_instance(m_instance);
    m_instance = nullptr;
    m_initialised = false;
    m_initFailed = false;
}

int GsInstance::displayOpen(void* handle, void* device)
{
    ImageOpen(m_display, handle, device);
    return 0;
}

void GsInstance::displayForget()
{
    m_display.image = nullptr;
}

int GsInstance::displaySize(int width, int height, int raster, unsigned format,
                            unsigned char* image)
{
    ImageSize(m_display, width, height, raster, format, image);
    // A new page size is progress too: a large page takes a while before it is finished.
    if (m_sink.progress)
        m_sink.progress();
    return 0;
}

int GsInstance::displayPage()
{
    if (m_sink.progress)
        m_sink.progress();
    QImage page =
        ImageToBitmap(m_display, m_sink.recycledBitmap ? m_sink.recycledBitmap() : QImage());
    if (page.isNull() && m_display.width > 0 && m_display.height > 0) {
        // A page we could not copy still counts: it shows as a blank page of its size.
        page = QImage(m_display.width, m_display.height, QImage::Format_RGB32);
        page.fill(Qt::white);
    }
    const bool goOn = m_sink.pageReady ? m_sink.pageReady(std::move(page)) : true;
    return goOn && !m_stop.load() ? 0 : gs_error_Fatal;
}

int GsInstance::readInput(char*, int)
{
    if (m_sink.input)
        m_sink.input(QByteArray());
    return 0;
}

int GsInstance::writeOutput(const char* text, int length)
{
    if (m_sink.output)
        m_sink.output(QByteArray(text, length));
    return length;
}

int GsInstance::writeError(const char* text, int length)
{
    if (m_sink.error)
        m_sink.error(QByteArray(text, length));
    return static_cast<int>(strnlen(text, static_cast<size_t>(length)));
}

} // namespace vellora
