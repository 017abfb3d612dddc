#include "PageFiles.h"

#include "SystemErrors.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vellora::converter {

namespace {

// The temporary files that a signal handler must remove: fixed storage, no allocation, so
// that the handler stays async-signal-safe.
constexpr std::size_t kMaxPending = kAllPageFiles.size();
constexpr std::size_t kMaxPath = 4096;
std::array<std::array<char, kMaxPath>, kMaxPending> g_pending{};
volatile std::sig_atomic_t g_pendingCount = 0;

extern "C" void removePendingAndExit(int signal)
{
    removePendingPageFiles();
    // End with the signal's own status, as if it had not been caught.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

sigset_t cleanupSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

void installHandlers()
{
    struct sigaction action
    {};
    action.sa_handler = removePendingAndExit;
    action.sa_mask = cleanupSignals();
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// Blocks the cleanup signals while the pending list or the folder changes.
class SignalGuard
{
public:
    SignalGuard()
    {
        const sigset_t set = cleanupSignals();
        sigprocmask(SIG_BLOCK, &set, &m_previous);
    }
    ~SignalGuard() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

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

std::string nameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The failure of a system call on `path`, from errno, in French.
OutputError systemFailure(const std::string& what, const std::string& path)
{
    const int error = errno;
    return OutputError(what + " " + path + " (" + frenchSystemError(error) + ")",
                       isDiskFull(error));
}

void writeAll(int fd, const std::uint8_t* data, std::size_t size, const std::string& path)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw systemFailure("impossible d'écrire", path);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// What stands at a path where a page file belongs, in words, when it is not a regular file.
const char* notAFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return "un dossier";
    if (S_ISLNK(mode))
        return "un lien symbolique";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "un périphérique";
    if (S_ISFIFO(mode))
        return "un tube nommé";
    if (S_ISSOCK(mode))
        return "une socket";
    return S_ISREG(mode) ? nullptr : "un fichier spécial";
}

bool isRegularFile(const std::string& path)
{
    struct stat info
    {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A second name for an existing page file, so that a failed commit can put it back. On a
// file system without hard links the old file simply cannot be restored.
std::string keepPrevious(const std::string& path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string keep = folderOf(path) + "/." + nameOf(path) + ".old-" +
                                 std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (::link(path.c_str(), keep.c_str()) == 0)
            return keep;
        if (errno != EEXIST)
            break;
    }
    return {};
}

} // namespace

void removePendingPageFiles()
{
    for (std::sig_atomic_t i = 0; i < g_pendingCount; ++i)
        ::unlink(g_pending[static_cast<std::size_t>(i)].data());
}

std::string pageFilePath(const std::string& moviePath, PageFile file)
{
    const std::string movieSuffix = ".swf";
    const bool swf = moviePath.size() > movieSuffix.size() &&
                     moviePath.compare(moviePath.size() - movieSuffix.size(), movieSuffix.size(),
                                       movieSuffix) == 0;
    const std::string stem =
        swf ? moviePath.substr(0, moviePath.size() - movieSuffix.size()) : moviePath;
    switch (file) {
    case PageFile::Movie:
        return moviePath;
    case PageFile::Image:
        return stem + ".jpg";
    case PageFile::ScreenImage:
        return stem + "-m.jpg";
    case PageFile::Thumbnail:
        return stem + "-t.jpg";
    case PageFile::Vector:
        return stem + ".svg";
    case PageFile::TextLayer:
        return stem + ".js";
    }
    return moviePath;
}

PageFiles::PageFiles(std::string moviePath) : m_moviePath(std::move(moviePath))
{
    installHandlers();
}

PageFiles::~PageFiles()
{
    SignalGuard guard;
    for (const Staged& staged : m_staged)
        ::unlink(staged.temporary.c_str());
    g_pendingCount = 0;
}

void PageFiles::checkPaths(const std::string& input) const
{
    struct stat document
    {};
    const bool inputKnown = ::stat(input.c_str(), &document) == 0;
    for (PageFile file : kAllPageFiles) {
        const std::string path = this->path(file);
        struct stat info
        {};
        if (::lstat(path.c_str(), &info) != 0)
            continue;
        if (const char* what = notAFile(info.st_mode))
            throw OutputError(path + " est " + what +
                              ", pas un fichier : la page n'y sera pas écrite");
        // Renaming the page's files into place would replace the document itself.
        if (inputKnown && info.st_dev == document.st_dev && info.st_ino == document.st_ino)
            throw OutputError(path + " est le document lu : il ne sera pas remplacé");
    }
}

void PageFiles::forget(std::size_t index)
{
    SignalGuard guard;
    m_staged.erase(m_staged.begin() + static_cast<std::ptrdiff_t>(index));
    for (std::size_t i = 0; i < m_staged.size(); ++i) {
        const std::string& temporary = m_staged[i].temporary;
        std::memcpy(g_pending[i].data(), temporary.c_str(), temporary.size() + 1);
    }
    g_pendingCount = static_cast<std::sig_atomic_t>(m_staged.size());
}

void PageFiles::write(PageFile file, const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i < m_staged.size(); ++i) {
        if (m_staged[i].file == file) {
            ::unlink(m_staged[i].temporary.c_str());
            forget(i);
            break;
        }
    }
    const std::string finalPath = path(file);
    std::string pattern = folderOf(finalPath) + "/." + nameOf(finalPath) + ".XXXXXX";
    if (pattern.size() >= kMaxPath)
        throw OutputError("chemin trop long : " + finalPath);

    int fd = -1;
    {
        SignalGuard guard;
        fd = ::mkstemp(pattern.data());
        if (fd < 0)
            throw systemFailure("impossible de créer un fichier dans", folderOf(finalPath));
        std::memcpy(g_pending[m_staged.size()].data(), pattern.c_str(), pattern.size() + 1);
        m_staged.push_back({file, pattern, finalPath});
        g_pendingCount = static_cast<std::sig_atomic_t>(m_staged.size());
    }
    try {
        writeAll(fd, data, size, finalPath);
        // mkstemp makes the file private; a page is as readable as any file the user writes.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        const int closed = ::close(fd);
        fd = -1;
        if (closed != 0)
            throw systemFailure("impossible d'écrire", finalPath);
    } catch (...) {
        if (fd >= 0)
            ::close(fd);
        throw;
    }
}

void PageFiles::commit()
{
    struct Change
    {
        std::string final;
        std::string kept;      // the previous file under a second name, or empty
        bool replaced = false; // by a staged file (else a stale file to remove)
        bool existed = false;
        bool done = false;
    };
    SignalGuard guard;
    std::vector<Change> changes;
    std::optional<OutputError> failure;
    for (PageFile file : kAllPageFiles) {
        const std::string final = path(file);
        bool written = false;
        for (const Staged& staged : m_staged)
            written = written || staged.file == file;
        const bool present = isRegularFile(final);
        if (written || present)
            changes.push_back(
                {final, present ? keepPrevious(final) : std::string(), written, present});
    }
    for (Change& change : changes) {
        if (change.replaced) {
            const Staged* staged = nullptr;
            for (const Staged& candidate : m_staged) {
                if (candidate.final == change.final)
                    staged = &candidate;
            }
            change.done = ::rename(staged->temporary.c_str(), change.final.c_str()) == 0;
        } else {
            change.done = ::unlink(change.final.c_str()) == 0 || errno == ENOENT;
        }
        if (!change.done) {
            failure = systemFailure(change.replaced ? "impossible d'écrire"
                                                    : "impossible de supprimer l'ancien fichier",
                                    change.final);
            break;
        }
    }
    if (failure) {
        // Back as before: the previous files under their own names, the new ones gone.
        for (const Change& change : changes) {
            if (!change.done)
                continue;
            // Without a second name (no hard links here) an old file is gone already: the
            // new one at least stays.
            if (!change.kept.empty())
                ::rename(change.kept.c_str(), change.final.c_str());
            else if (change.replaced && !change.existed)
                ::unlink(change.final.c_str());
        }
    }
    for (const Change& change : changes) {
        if (!change.kept.empty())
            ::unlink(change.kept.c_str());
    }
    if (failure)
        throw *failure;
    m_staged.clear();
    g_pendingCount = 0;
}

} // namespace vellora::converter
