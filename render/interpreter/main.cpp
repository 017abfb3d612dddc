// vellora-interpreter: runs one print file through the Ghostscript library for Vellora, in a
// process of its own, so that no print file can crash, hang or exhaust Vellora itself.
//
//   vellora-interpreter [options] display <format word> <dpi> <document>
//   vellora-interpreter [options] pdf <output PDF> <document>
//   vellora-interpreter [options] wait [<format word> <dpi>]
//
// "wait" starts the program ahead of its job: it sets itself up (limits, and for the display
// job it expects, that job's library instance made and initialised), sends a Ready frame and
// reads one Job frame (the mode and operands above) on its standard input. The file rules are
// set only then, once the job has named its document and output; a job other than the
// expected one gets a fresh instance.
//
// Options: --memory <bytes> (address space), --cpu <seconds> (processor time),
// --budget <pixels> (largest page rendered at full resolution).
//
// Everything it reports goes as frames on file descriptor 3 (see InterpreterChannel.h); its
// standard output and error carry nothing Vellora reads. Vellora starts it with a private
// working folder (also its TMPDIR) and stops it whenever it likes: the program keeps nothing
// that a kill would leave half done, apart from files in that folder and the PDF it writes.
#include "GsInstance.h"
#include "InterpreterChannel.h"
#include "PagePacker.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

using namespace vellora;
using namespace vellora::interpreter;

namespace {

constexpr int kChannel = 3;
// Text beyond this is dropped: it is not worth reading, and a document that only talks does
// not count as making progress.
constexpr qsizetype kMaxText = 4 * 1024 * 1024;

// Ghostscript's own folders: its resources, fonts and colour profiles (several of them are
// symbolic links into the others), the font configuration, and the libraries it may load.
const char* const kSystemReads[] = {
    "/usr/share/ghostscript",
    "/var/lib/ghostscript",
    "/usr/share/fonts",
    "/usr/share/color/icc",
    "/usr/share/poppler",
    "/etc/fonts",
    "/var/cache/fontconfig",
    "/etc/papersize",
    "/etc/localtime",
    "/usr/share/zoneinfo",
    "/usr/lib",
    "/dev/null",
};

class Channel
{
public:
    bool send(TFrameKind kind, const QByteArray& payload)
    {
        const QByteArray frame = EncodeFrame(kind, payload);
        std::lock_guard lock(m_mutex);
        if (m_holding) {
            m_held += frame;
            return true;
        }
        return write(frame);
    }

    // A session opened ahead of its job keeps what it says until the job is known: it goes
    // with that job, or nowhere when the session is not the one the job wants.
    void hold() { m_holding = true; }
    bool release(bool keep)
    {
        std::lock_guard lock(m_mutex);
        m_holding = false;
        const QByteArray held = std::exchange(m_held, {});
        return !keep || write(held);
    }

    // Straight to Vellora, whatever is held.
    bool sendNow(TFrameKind kind, const QByteArray& payload)
    {
        std::lock_guard lock(m_mutex);
        return write(EncodeFrame(kind, payload));
    }

    bool text(TFrameKind kind, const QByteArray& bytes)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_textSent >= kMaxText)
                return true;
            m_textSent += bytes.size();
        }
        return send(kind, bytes);
    }

private:
    bool write(const QByteArray& frame)
    {
        if (m_broken)
            return false;
        const char* data = frame.constData();
        qsizetype left = frame.size();
        while (left > 0) {
            const ssize_t written = ::write(kChannel, data, size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                m_broken = true; // Vellora is gone: the run stops at its next page
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    }

    std::mutex m_mutex;
    bool m_broken = false;
    bool m_holding = false;
    QByteArray m_held;
    qsizetype m_textSent = 0;
};

struct Options
{
    rlim_t memory = 0;
    rlim_t cpu = 0;
    double budget = 0;
    QString mode;
    QStringList operands;
    // Taken from the operands: absolute paths.
    QString document;
    QString output; // the PDF to write, in the "pdf" mode

    bool pdf() const { return mode == u"pdf"; }
    bool waiting() const { return mode == u"wait"; }
};

// The document and output from the mode's operands; false when they do not fit the mode.
bool takeOperands(Options& options)
{
    const bool complete = (options.mode == u"display" && options.operands.size() == 3) ||
                          (options.pdf() && options.operands.size() == 2);
    if (!complete)
        return false;
    options.document = QFileInfo(options.operands.last()).absoluteFilePath();
    if (options.pdf())
        options.output = QFileInfo(options.operands.first()).absoluteFilePath();
    return true;
}

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            return i + 1 < argc ? argv[++i] : nullptr;
        };
        if (arg == "--memory" || arg == "--cpu" || arg == "--budget") {
            const char* text = value();
            if (!text)
                return false;
            char* end = nullptr;
            const unsigned long long number = std::strtoull(text, &end, 10);
            if (!end || *end)
                return false;
            if (arg == "--memory")
                options.memory = rlim_t(number);
            else if (arg == "--cpu")
                options.cpu = rlim_t(number);
            else
                options.budget = double(number);
            continue;
        }
        if (options.mode.isEmpty()) {
            options.mode = QString::fromStdString(arg);
            continue;
        }
        options.operands.append(QFile::decodeName(argv[i]));
    }
    // "wait" may name the display job it expects: its format word and resolution.
    if (options.waiting())
        return options.operands.isEmpty() || options.operands.size() == 2;
    return takeOperands(options);
}

// A program started ahead of its job reads it from its input, one frame, and then has
// /dev/null there as any other run does.
bool receiveJob(Options& options)
{
    TFrameReader reader;
    TFrameKind kind;
    QByteArray payload;
    char buffer[4096];
    while (!reader.next(kind, payload)) {
        if (reader.corrupt())
            return false;
        const ssize_t got = ::read(0, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false; // Vellora dropped us before giving a job
        reader.append(buffer, got);
    }
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing < 0 || ::dup3(nothing, 0, 0) < 0)
        return false;
    ::close(nothing);
    QStringList job = DecodeArguments(payload);
    if (kind != TFrameKind::Job || job.isEmpty())
        return false;
    options.mode = job.takeFirst();
    options.operands = job;
    return !options.waiting() && takeOperands(options);
}

// The processor-time limit counts from the job: a program started ahead of it has already
// spent a little on setting itself up.
void limitProcessorTime(const Options& options)
{
    if (options.cpu <= 0)
        return;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const rlim_t spent = rlim_t(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec > 0 ? 1 : 0);
    // SIGXCPU at the soft limit, SIGKILL one second later.
    const rlimit cpu{spent + options.cpu, spent + options.cpu + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
}

void limitResources(const Options& options)
{
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer reserves terabytes of address space for its shadow memory: there the limit
    // comes from the sanitizer's own options, which Vellora sets for this program.
    Q_UNUSED(options);
#else
    if (options.memory > 0) {
        const rlimit memory{options.memory, options.memory};
        ::setrlimit(RLIMIT_AS, &memory);
    }
#endif
}

// Outputs the PDF writer's file name as Ghostscript reads it: "%" starts a format there
// ("%d", "%pipe%"), and "%%" stands for one "%".
QString literalOutputFile(const QString& path)
{
    QString escaped = path;
    escaped.replace(u'%', QStringLiteral("%%"));
    return escaped;
}

// Pages larger than the budget are rendered at a lower resolution instead of being refused:
// every page-device request gets a resolution at which the page holds at most `budget`
// pixels, and never more than `dpi`. (A document can still call the system's own operator; the
// memory limit then stops it.)
QByteArray pixelBudgetPrologue(int dpi, double budget)
{
    const QByteArray r = QByteArray::number(dpi);
    const QByteArray b = QByteArray::number(budget, 'f', 0);
    // "-r" fixes the resolution through FIXEDRESOLUTION, which the page device procedures
    // look up by name: our userdict entry comes first.
    return "userdict begin\n"
           "/FIXEDRESOLUTION false def\n"
           "/.vellora_setpagedevice /setpagedevice load def\n"
           "/setpagedevice {\n"
           "  dup type /dicttype eq {\n"
           "    dup length 1 add dict copy\n"
           "    dup /PageSize known { dup /PageSize get } { currentpagedevice /PageSize get } "
           "ifelse\n"
           "    dup 0 get exch 1 get mul abs " +
           r +
           " dup mul mul 5184 div\n"
           "    dup " +
           b + " gt { " + b + " exch div sqrt " + r + " mul } { pop " + r +
           " } ifelse\n"
           "    [ exch dup ] 1 index exch /HWResolution exch put\n"
           "  } if\n"
           "  .vellora_setpagedevice\n"
           "} bind def\n"
           "end\n";
}

// Ghostscript's own folders, the document, our working folder and the PDF we write.
TSandboxRules sandboxRules(const Options& options)
{
    TSandboxRules rules;
    for (const char* folder : kSystemReads)
        rules.read.emplace_back(folder);
    rules.read.push_back(QFile::encodeName(options.document).toStdString());
    rules.write.push_back(QFile::encodeName(QDir::currentPath()).toStdString());
    if (options.pdf())
        rules.write.push_back(QFile::encodeName(options.output).toStdString());
    return rules;
}

// Pages go to the packer, which sends them packed; text, input requests and progress go
// straight to the channel.
TInstanceSink sinkFor(Channel& channel, TPagePacker& packer)
{
    TInstanceSink sink;
    sink.recycledBitmap = [&packer] {
        return packer.takeBuffer();
    };
    sink.pageReady = [&packer](QImage page) {
        static const std::atomic<bool> go = false;
        return packer.submit(std::move(page), go);
    };
    sink.input = [&channel](const QByteArray&) {
        channel.send(TFrameKind::Input, {});
    };
    sink.output = [&channel](const QByteArray& text) {
        channel.text(TFrameKind::Output, text);
    };
    sink.error = [&channel](const QByteArray& text) {
        channel.text(TFrameKind::Error, text);
    };
    sink.progress = [&channel] {
        channel.send(TFrameKind::Progress, {});
    };
    return sink;
}

// Opens the session for the display device or the PDF writer, as the mode asks.
void openSession(GsInstance& gs, const Options& options, const QString& program)
{
    gs.CreateInstance();
    if (options.pdf()) {
        gs.InitPdfWrite(literalOutputFile(options.output));
    } else {
        TRunSettings settings;
        settings.executable = program;
        settings.displayFormat = options.operands[0].toUInt();
        const int dpi = options.operands[1].toInt();
        settings.resolution = dpi > 0 ? dpi : 75;
        gs.InitDisplay(settings);
    }
}

// One Ghostscript session and the packer its pages go through.
struct Session
{
    explicit Session(Channel& channel)
        : packer(
              [&channel](TPackedPage page) { channel.send(TFrameKind::Page, EncodePage(page)); }),
          gs(sinkFor(channel, packer), neverStop)
    {}

    static inline const std::atomic<bool> neverStop = false;
    TPagePacker packer;
    GsInstance gs;
};

// A fresh library instance initialised with the job's arguments, for the display device or the
// PDF writer, with the pixel budget's prologue for the display.
std::unique_ptr<Session> openFor(const Options& options, const QString& program, Channel& channel)
{
    auto session = std::make_unique<Session>(channel);
    openSession(session->gs, options, program);
    channel.send(TFrameKind::Arguments, EncodeArguments(session->gs.lastArguments()));
    if (!options.pdf() && options.budget > 0)
        session->gs.RunPrologue(pixelBudgetPrologue(options.operands[1].toInt(), options.budget));
    return session;
}

// Runs the document through the session (opened now unless one was opened for this job ahead
// of it); its pages and text go on the channel as they come, every page before the report.
TRunReport interpret(const Options& options, const QString& program, Channel& channel,
                     std::unique_ptr<Session> session)
{
    if (!session)
        session = openFor(options, program, channel);
    GsInstance& gs = session->gs;
    TRunReport report;
    report.ran = gs.RunFile(options.document, false);
    if (options.pdf())
        report.pdfPages = gs.DevicePageCount();
    gs.ExitInterpreter();
    gs.DeleteInstance();
    session->packer.drain();
    report.fileRan = gs.FileRan();
    report.pdfClosed = gs.PdfClosed();
    report.lastError = gs.lastError();
    return report;
}

} // namespace

int main(int argc, char** argv)
{
    // Vellora keeps the other end of the channel; when it goes, so does this program.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return 3;

    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs("usage : vellora-interpreter [--memory O] [--cpu S] [--budget P] "
                   "display <format> <ppp> <document> | pdf <sortie> <document> | wait\n",
                   stderr);
        return 2;
    }
    limitResources(options);
    Channel channel;
    std::unique_ptr<Session> session;
    if (options.waiting()) {
        // The display job it expects gets its instance made and initialised now, with the
        // arguments that job will have; any other job gets a fresh one of its own.
        Options expected = options;
        if (expected.operands.size() == 2) {
            expected.mode = QStringLiteral("display");
            channel.hold();
            session = openFor(expected, QFile::decodeName(argv[0]), channel);
            // What the start-up freed goes back to the system: a waiting program stays small.
            ::malloc_trim(0);
        }
        if (!channel.sendNow(TFrameKind::Ready, {}))
            return 1;
        if (!receiveJob(options))
            return options.waiting() ? 0 : 2;
        // Vellora learns that the job arrived: a death from here on is this job's.
        if (!channel.sendNow(TFrameKind::Progress, {}))
            return 1;
        const bool wanted = session && options.mode == expected.mode &&
                            options.operands.mid(0, 2) == expected.operands;
        if (!wanted)
            session.reset();
        if (!channel.release(wanted))
            return 1;
    }
    limitProcessorTime(options);
    if (RestrictFiles(sandboxRules(options)) == TSandboxState::Failed) {
        std::fputs(
            "vellora-interpreter : les règles d'accès aux fichiers n'ont pas pu être posées\n",
            stderr);
        return 4;
    }

    const TRunReport report =
        interpret(options, QFile::decodeName(argv[0]), channel, std::move(session));
    return channel.send(TFrameKind::Report, EncodeReport(report)) ? 0 : 1;
}
