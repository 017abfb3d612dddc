#include "InterpreterProcess.h"

#include "SystemErrors.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vellora {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTick = 20; // ms between two looks at the stop flag

// Sanitizer builds cannot use an address-space limit (the sanitizer's shadow memory alone
// exceeds it); the interpreter program is then limited by the sanitizer itself: it is killed
// when its resident memory passes the limit, and a single allocation larger than it fails.
[[maybe_unused]] QByteArray sanitizerLimits(const TInterpreterLimits& limits)
{
    const QByteArray mb = QByteArray::number(limits.memoryBytes / (1024 * 1024));
    return ":hard_rss_limit_mb=" + mb + ":max_allocation_size_mb=" + mb +
           ":allocator_may_return_null=1";
}

// The leak checker runs at exit and lists the program's threads in /proc, which the program's
// file rules keep closed to it: it would abort every run. Leak checks belong to the tests
// that run the interpreter library in process; the program keeps every other check.
[[maybe_unused]] constexpr char kNoLeakCheck[] = ":detect_leaks=0";

std::vector<QByteArray> environmentFor(const QString& workFolder, const TInterpreterLimits& limits)
{
    std::vector<QByteArray> env;
    for (char** entry = environ; entry && *entry; ++entry) {
        const QByteArray item(*entry);
        if (item.startsWith("TMPDIR=") || item.startsWith("ASAN_OPTIONS=") ||
            item.startsWith("TSAN_OPTIONS="))
            continue;
        env.push_back(item);
    }
    env.push_back("TMPDIR=" + QFile::encodeName(workFolder));
#if defined(__SANITIZE_ADDRESS__)
    env.push_back("ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS") + sanitizerLimits(limits) +
                  kNoLeakCheck);
    if (qEnvironmentVariableIsSet("TSAN_OPTIONS"))
        env.push_back("TSAN_OPTIONS=" + qgetenv("TSAN_OPTIONS"));
#elif defined(__SANITIZE_THREAD__)
    env.push_back("TSAN_OPTIONS=" + qgetenv("TSAN_OPTIONS") + sanitizerLimits(limits));
    if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
        env.push_back("ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS"));
#else
    Q_UNUSED(limits);
    for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"})
        if (qEnvironmentVariableIsSet(name))
            env.push_back(QByteArray(name) + '=' + qgetenv(name));
#endif
    return env;
}

std::vector<char*> pointers(std::vector<QByteArray>& items)
{
    std::vector<char*> list;
    list.reserve(items.size() + 1);
    for (QByteArray& item : items)
        list.push_back(item.data());
    list.push_back(nullptr);
    return list;
}

// The program's channel: a pipe whose write end becomes descriptor 3 in the program. That end
// is kept clear of 0 to 3 here so that the copy really takes place (and drops the
// close-on-exec flag).
bool openChannel(int& readEnd, int& writeEnd)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return false;
    writeEnd = ::fcntl(channel[1], F_DUPFD_CLOEXEC, 10);
    ::close(channel[1]);
    readEnd = channel[0];
    return true;
}

// Starts argv[0] in `folder`, with its input on `input` (or /dev/null when that is -1), the
// channel's `writeEnd` as its descriptor 3 and no other descriptor, every signal at its default
// and none blocked. Returns 0, or the error number.
int spawnProgram(pid_t& pid, std::vector<QByteArray>& argv, std::vector<QByteArray>& env, int input,
                 int writeEnd, const QByteArray& folder)
{
    std::vector<char*> argvList = pointers(argv);
    std::vector<char*> envList = pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0)
        posix_spawn_file_actions_adddup2(&actions, input, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 2, 1); // stray text goes to our error output
    posix_spawn_file_actions_adddup2(&actions, writeEnd, 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, 4);
    posix_spawn_file_actions_addchdir_np(&actions, folder.constData());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int spawned = ::posix_spawn(&pid, argv[0].constData(), &actions, &attributes,
                                      argvList.data(), envList.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

// Writes all of `bytes` to `fd`; false when the reader is gone.
bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// Writes to a pipe whose reader may have died a moment ago. The write then fails with EPIPE
// instead of raising SIGPIPE, whose default action would end the whole program: the signal is
// blocked in this thread for the write, and the one that the write raised is taken back.
bool writeToPossiblyClosedPipe(int fd, const QByteArray& bytes)
{
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool written = writeAll(fd, bytes);
    if (!written && errno == EPIPE) {
        const timespec now{};
        while (::sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

} // namespace

QStringList TInterpreterProcess::LimitArguments(const TInterpreterLimits& limits)
{
    return {QStringLiteral("--memory"), QString::number(limits.memoryBytes),
            QStringLiteral("--cpu"),    QString::number(limits.cpuSeconds),
            QStringLiteral("--budget"), QString::number(limits.pixelBudget)};
}

TInterpreterProcess::~TInterpreterProcess()
{
    if (m_pid > 0)
        reap();
}

bool TInterpreterProcess::Spawn(const QString& program, const QStringList& arguments,
                                const QString& workFolder, const TInterpreterLimits& limits)
{
    return start(program, arguments, workFolder, limits, false);
}

bool TInterpreterProcess::SpawnWaiting(const QString& program, const QString& workFolder,
                                       const TInterpreterLimits& limits,
                                       const QStringList& expected)
{
    return start(program, LimitArguments(limits) << QStringLiteral("wait") << expected, workFolder,
                 limits, true);
}

bool TInterpreterProcess::start(const QString& program, const QStringList& arguments,
                                const QString& workFolder, const TInterpreterLimits& limits,
                                bool waiting)
{
    if (!QFileInfo(program).isExecutable()) {
        m_result.failure = u"Le programme d'interprétation " + program + u" est introuvable.";
        return false;
    }
    int writeEnd = -1;
    if (!openChannel(m_channel, writeEnd)) {
        m_result.failure = QStringLiteral("Aucun tube pour le programme d'interprétation.");
        return false;
    }
    int jobEnds[2] = {-1, -1};
    if (waiting && ::pipe2(jobEnds, O_CLOEXEC) != 0) {
        ::close(writeEnd);
        ::close(m_channel);
        m_channel = -1;
        m_result.failure = QStringLiteral("Aucun tube pour le programme d'interprétation.");
        return false;
    }

    std::vector<QByteArray> argv{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argv.push_back(QFile::encodeName(argument));
    std::vector<QByteArray> env = environmentFor(workFolder, limits);
    const int spawned =
        spawnProgram(m_pid, argv, env, jobEnds[0], writeEnd, QFile::encodeName(workFolder));
    ::close(writeEnd);
    if (jobEnds[0] >= 0)
        ::close(jobEnds[0]);
    m_job = jobEnds[1];
    if (spawned != 0) {
        ::close(m_channel);
        m_channel = -1;
        if (m_job >= 0)
            ::close(m_job);
        m_job = -1;
        m_pid = -1;
        m_result.failure = u"Le programme d'interprétation n'a pas pu démarrer : " +
                           QString::fromStdString(frenchSystemError(spawned)) + u'.';
        return false;
    }
    return true;
}

bool TInterpreterProcess::SendJob(const QStringList& job)
{
    if (m_pid <= 0 || m_job < 0)
        return false;
    // A job is a few hundred bytes: the pipe takes it at once, whatever the program is doing.
    const bool sent =
        writeToPossiblyClosedPipe(m_job, EncodeFrame(TFrameKind::Job, EncodeArguments(job)));
    ::close(m_job);
    m_job = -1;
    return sent;
}

bool TInterpreterProcess::AwaitReady(std::chrono::milliseconds timeout)
{
    if (m_ready)
        return true;
    if (m_pid <= 0 || m_channel < 0)
        return false;
    // Before its job the program sends nothing but this one empty frame.
    const QByteArray expected = EncodeFrame(TFrameKind::Ready, {});
    pollfd watch{m_channel, POLLIN, 0};
    if (::poll(&watch, 1, int(timeout.count())) <= 0 || !(watch.revents & POLLIN))
        return false;
    char head[5];
    qsizetype got = 0;
    while (got < qsizetype(sizeof head)) {
        const ssize_t n = ::read(m_channel, head + got, sizeof head - size_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    m_ready = QByteArray(head, sizeof head) == expected;
    return m_ready;
}

bool TInterpreterProcess::Exited()
{
    return m_pid <= 0 || m_exited || exitedByItself();
}

void TInterpreterProcess::ReadFrames(const std::atomic<bool>& stop,
                                     std::chrono::milliseconds watchdog, const FrameHandler& frame)
{
    if (m_pid <= 0)
        return;
    TFrameReader reader;
    std::vector<char> buffer(1 << 16);
    Clock::time_point lastProgress = Clock::now();
    bool open = true;
    while (!m_killedFor && !m_exited) {
        if (stop.load()) {
            m_killedFor = End::Stopped;
        } else if (Clock::now() - lastProgress > watchdog) {
            m_killedFor = End::Stalled;
        } else if (!open) {
            // The channel is closed: the program is exiting (or was told to go).
            if (!exitedByItself())
                ::usleep(kTick * 1000);
        } else {
            switch (look(reader, buffer)) {
            case Look::Nothing:
                break;
            case Look::Closed:
                open = false;
                break;
            case Look::Bytes:
                lastProgress = Clock::now();
                takeFrames(reader, frame);
                break;
            }
        }
    }
}

// Waits up to one tick for bytes on the channel and adds those that came to `reader`.
TInterpreterProcess::Look TInterpreterProcess::look(TFrameReader& reader, std::vector<char>& buffer)
{
    pollfd watch{m_channel, POLLIN, 0};
    if (::poll(&watch, 1, kTick) <= 0)
        return Look::Nothing;
    const ssize_t got = ::read(m_channel, buffer.data(), buffer.size());
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return Look::Nothing;
    if (got <= 0)
        return Look::Closed;
    reader.append(buffer.data(), got);
    return Look::Bytes;
}

// Hands on the whole frames that have arrived: the report and the argument vector are kept,
// pages and text go to `frame`.
void TInterpreterProcess::takeFrames(TFrameReader& reader, const FrameHandler& frame)
{
    TFrameKind kind;
    QByteArray payload;
    while (reader.next(kind, payload)) {
        if (kind != TFrameKind::Ready)
            m_result.jobTaken = true;
        if (kind == TFrameKind::Report) {
            if (const auto report = DecodeReport(payload)) {
                m_result.report = *report;
                m_reported = true;
            }
        } else if (kind == TFrameKind::Arguments) {
            m_result.arguments = DecodeArguments(payload);
        } else {
            if (kind == TFrameKind::Page)
                ++m_result.pagesReceived;
            if (kind != TFrameKind::Progress && kind != TFrameKind::Ready && frame)
                frame(kind, payload);
        }
    }
    if (reader.corrupt()) {
        m_result.failure = QStringLiteral("Le programme d'interprétation a envoyé des données "
                                          "endommagées.");
        m_killedFor = End::Crashed;
    }
}

bool TInterpreterProcess::exitedByItself()
{
    m_exited = ::waitpid(m_pid, &m_status, WNOHANG) == m_pid;
    return m_exited;
}

TInterpreterProcess::Result TInterpreterProcess::Finish()
{
    if (m_pid <= 0)
        return m_result;
    reap();
    return ending();
}

// Closes the channel and reaps the program. One that has not exited by itself is killed
// first: its run was cut short.
void TInterpreterProcess::reap()
{
    ::close(m_channel);
    m_channel = -1;
    if (m_job >= 0)
        ::close(m_job);
    m_job = -1;
    if (!m_exited) {
        if (!m_killedFor)
            m_killedFor = End::Stopped;
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
}

// How the run ended, from why it was cut short, or else from the program's exit status and
// whether it sent its report.
TInterpreterProcess::Result TInterpreterProcess::ending()
{
    if (m_killedFor) {
        m_result.end = *m_killedFor;
        if (*m_killedFor == End::Stalled)
            m_result.failure = QStringLiteral("L'interprétation n'avançait plus et a été arrêtée.");
        else if (*m_killedFor == End::Stopped)
            m_result.failure = QStringLiteral("L'exécution a été arrêtée.");
    } else if (WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0 && m_reported) {
        m_result.end = End::Finished;
    } else {
        m_result.end = End::Crashed;
        if (WIFSIGNALED(m_status))
            m_result.failure = u"Le programme d'interprétation a été arrêté par le signal " +
                               QString::number(WTERMSIG(m_status)) + u'.';
        else
            m_result.failure = u"Le programme d'interprétation s'est terminé avec le code " +
                               QString::number(WEXITSTATUS(m_status)) +
                               u" avant la fin de son travail.";
    }
    return m_result;
}

TInterpreterProcess::Result
TInterpreterProcess::Run(const QString& program, const QStringList& arguments,
                         const QString& workFolder, const TInterpreterLimits& limits,
                         const std::atomic<bool>& stop, const FrameHandler& frame)
{
    TInterpreterProcess process;
    if (process.Spawn(program, arguments, workFolder, limits))
        process.ReadFrames(stop, limits.watchdog, frame);
    return process.Finish();
}

} // namespace vellora
