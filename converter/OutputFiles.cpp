#include "OutputFiles.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellora::converter {

namespace {

// The temporary files that a signal handler must remove: fixed storage, no allocation, so
// that the handler stays async-signal-safe.
constexpr std::size_t kMaxPending = 4;
constexpr std::size_t kMaxPath = 4096;
std::array<std::array<char, kMaxPath>, kMaxPending> g_pending{};
volatile std::sig_atomic_t g_pendingCount = 0;

extern "C" void removePendingAndExit(int signal)
{
    for (std::sig_atomic_t i = 0; i < g_pendingCount; ++i) {
        if (g_pending[static_cast<std::size_t>(i)][0] != '\0')
            ::unlink(g_pending[static_cast<std::size_t>(i)].data());
    }
    // End with the signal's own status, as if it had not been caught.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

void installHandlers()
{
    struct sigaction action
    {};
    action.sa_handler = removePendingAndExit;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGHUP);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// Blocks the cleanup signals while the pending list changes.
class SignalGuard
{
public:
    SignalGuard()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGHUP);
        sigprocmask(SIG_BLOCK, &set, &m_previous);
    }
    ~SignalGuard() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }

private:
    sigset_t m_previous;
};

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string systemError(const std::string& what, const std::string& path)
{
    return what + " " + path + " : " + std::strerror(errno);
}

void writeAll(int fd, const std::uint8_t* data, std::size_t size, const std::string& path)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw OutputError(systemError("impossible d'écrire", path));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

} // namespace

OutputFiles::OutputFiles()
{
    installHandlers();
}

OutputFiles::~OutputFiles()
{
    SignalGuard guard;
    for (const Staged& file : m_files)
        ::unlink(file.temporary.c_str());
    g_pendingCount = 0;
}

void OutputFiles::stage(const std::string& finalPath, const std::uint8_t* data, std::size_t size)
{
    const auto slash = finalPath.rfind('/');
    const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    std::string pattern = folderOf(finalPath) + "/." + name + ".XXXXXX";
    if (pattern.size() >= kMaxPath || m_files.size() >= kMaxPending)
        throw OutputError("chemin trop long : " + finalPath);

    int fd = -1;
    {
        SignalGuard guard;
        fd = ::mkstemp(pattern.data());
        if (fd < 0)
            throw OutputError(
                systemError("impossible de créer un fichier dans", folderOf(finalPath)));
        auto& slot = g_pending[m_files.size()];
        std::memcpy(slot.data(), pattern.c_str(), pattern.size() + 1);
        m_files.push_back({pattern, finalPath});
        g_pendingCount = static_cast<std::sig_atomic_t>(m_files.size());
    }
    try {
        writeAll(fd, data, size, finalPath);
        // mkstemp makes the file private; a page is as readable as any file the user writes.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        if (::close(fd) != 0)
            throw OutputError(systemError("impossible d'écrire", finalPath));
    } catch (...) {
        ::close(fd);
        throw;
    }
}

void OutputFiles::commit()
{
    SignalGuard guard;
    std::size_t renamed = 0;
    for (; renamed < m_files.size(); ++renamed) {
        const Staged& file = m_files[renamed];
        if (::rename(file.temporary.c_str(), file.final.c_str()) != 0)
            break;
    }
    if (renamed == m_files.size()) {
        m_files.clear();
        g_pendingCount = 0;
        return;
    }
    const std::string failure = systemError("impossible d'écrire", m_files[renamed].final);
    for (std::size_t i = 0; i < renamed; ++i)
        ::unlink(m_files[i].final.c_str());
    throw OutputError(failure);
}

std::string imagePathFor(const std::string& moviePath)
{
    const std::string suffix = ".swf";
    if (moviePath.size() > suffix.size() &&
        moviePath.compare(moviePath.size() - suffix.size(), suffix.size(), suffix) == 0)
        return moviePath.substr(0, moviePath.size() - suffix.size()) + ".jpg";
    return moviePath + ".jpg";
}

} // namespace vellora::converter
