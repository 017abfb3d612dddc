#include "InterpreterProcess.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
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
    env.push_back("ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS") + sanitizerLimits(limits));
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

void reap(pid_t pid, int& status)
{
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

QStringList TInterpreterProcess::LimitArguments(const TInterpreterLimits& limits)
{
    return {QStringLiteral("--memory"), QString::number(limits.memoryBytes),
            QStringLiteral("--cpu"),    QString::number(limits.cpuSeconds),
            QStringLiteral("--budget"), QString::number(limits.pixelBudget)};
}

TInterpreterProcess::Result
TInterpreterProcess::Run(const QString& program, const QStringList& arguments,
                         const QString& workFolder, const TInterpreterLimits& limits,
                         const std::atomic<bool>& stop,
                         const std::function<void(TFrameKind, QByteArray&)>& frame)
{
    Result result;
    if (!QFileInfo(program).isExecutable()) {
        result.failure = u"Le programme d'interprétation " + program + u" est introuvable.";
        return result;
    }

    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        result.failure = QStringLiteral("Pas de canal pour le programme d'interprétation.");
        return result;
    }
    // The write end becomes descriptor 3 in the program; keep it clear of 0 to 3 here so
    // that the copy really takes place (and drops the close-on-exec flag).
    const int writeEnd = ::fcntl(channel[1], F_DUPFD_CLOEXEC, 10);
    ::close(channel[1]);
    const int readEnd = channel[0];

    std::vector<QByteArray> argv{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argv.push_back(QFile::encodeName(argument));
    std::vector<char*> argvList = pointers(argv);
    std::vector<QByteArray> env = environmentFor(workFolder, limits);
    std::vector<char*> envList = pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 2, 1); // stray text goes to our error output
    posix_spawn_file_actions_adddup2(&actions, writeEnd, 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, 4);
    const QByteArray folder = QFile::encodeName(workFolder);
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

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0].constData(), &actions, &attributes,
                                      argvList.data(), envList.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(writeEnd);
    if (spawned != 0) {
        ::close(readEnd);
        result.failure = u"Le programme d'interprétation n'a pas pu démarrer : " +
                         QString::fromLocal8Bit(std::strerror(spawned));
        return result;
    }

    TFrameReader reader;
    bool reported = false;
    bool open = true;
    std::optional<End> killedFor;
    Clock::time_point lastProgress = Clock::now();
    std::vector<char> buffer(1 << 16);
    int status = 0;
    bool exited = false;

    while (!killedFor) {
        if (stop.load()) {
            killedFor = End::Stopped;
            break;
        }
        if (Clock::now() - lastProgress > limits.watchdog) {
            killedFor = End::Stalled;
            break;
        }
        if (!open) {
            // The channel is closed: the program is exiting (or was told to go).
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                exited = true;
                break;
            }
            ::usleep(kTick * 1000);
            continue;
        }
        pollfd watch{readEnd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, kTick);
        if (ready <= 0)
            continue;
        const ssize_t got = ::read(readEnd, buffer.data(), buffer.size());
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            open = false;
            continue;
        }
        reader.append(buffer.data(), got);
        lastProgress = Clock::now();
        TFrameKind kind;
        QByteArray payload;
        while (reader.next(kind, payload)) {
            if (kind == TFrameKind::Report) {
                if (const auto report = DecodeReport(payload)) {
                    result.report = *report;
                    reported = true;
                }
            } else if (kind == TFrameKind::Arguments) {
                result.arguments = DecodeArguments(payload);
            } else {
                if (kind == TFrameKind::Page)
                    ++result.pagesReceived;
                if (kind != TFrameKind::Progress && frame)
                    frame(kind, payload);
            }
        }
        if (reader.corrupt()) {
            result.failure =
                QStringLiteral("Le programme d'interprétation a envoyé des données abîmées.");
            killedFor = End::Crashed;
        }
    }
    ::close(readEnd);
    if (!exited) {
        if (killedFor)
            ::kill(pid, SIGKILL);
        reap(pid, status);
    }

    if (killedFor) {
        result.end = *killedFor;
        if (*killedFor == End::Stalled)
            result.failure = QStringLiteral("L'interprétation n'avançait plus et a été arrêtée.");
        else if (*killedFor == End::Stopped)
            result.failure = QStringLiteral("L'interprétation a été interrompue.");
        return result;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && reported) {
        result.end = End::Finished;
        return result;
    }
    result.end = End::Crashed;
    if (WIFSIGNALED(status))
        result.failure = u"Le programme d'interprétation a été arrêté par le signal " +
                         QString::number(WTERMSIG(status)) + u'.';
    else
        result.failure = u"Le programme d'interprétation s'est terminé avec le code " +
                         QString::number(WEXITSTATUS(status)) + u" avant la fin de son travail.";
    return result;
}

} // namespace vellora
