#include "SpoolFolder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vellora::printer {

namespace {

// The temporary file being written, for the SIGTERM handler: a folder descriptor and a name
// in a fixed buffer, since a handler may only make async-signal-safe calls.
volatile std::sig_atomic_t g_temporaryFolder = -1;
char g_temporaryName[128];

extern "C" void removeTemporaryAndExit(int)
{
    if (g_temporaryFolder >= 0 && g_temporaryName[0] != '\0')
        ::unlinkat(g_temporaryFolder, g_temporaryName, 0);
    ::_exit(1);
}

constexpr const char* kTemporaryPrefix = ".Vellora.ps.";
constexpr const char* kTemporarySuffix = ".tmp";

std::string systemError(const std::string& what)
{
    return what + " : " + std::strerror(errno);
}

DeliveryResult refuse(std::string why)
{
    DeliveryResult result;
    result.error = std::move(why);
    result.refused = true;
    return result;
}

DeliveryResult fail(std::string why)
{
    DeliveryResult result;
    result.error = std::move(why);
    return result;
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// The spool root must be a real folder that only root can write to, or anyone could plant
// names in it.
std::string checkRoot(const std::string& root, int& rootFd)
{
    rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (rootFd < 0)
        return systemError("dossier d'impression " + root);
    struct stat info
    {};
    if (::fstat(rootFd, &info) != 0)
        return systemError("dossier d'impression " + root);
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "le dossier d'impression " + root +
               " doit appartenir à root et n'être modifiable que par root";
    return {};
}

// Opens the user's folder inside the root, creating it when missing. Never follows a link:
// a planted symlink, a file, or a folder of another owner is refused.
DeliveryResult openUserFolder(int rootFd, const std::string& user, const passwd& account,
                              FileDescriptor& folder)
{
    struct stat info
    {};
    if (::fstatat(rootFd, user.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return fail(systemError("dossier de " + user));
        if (::mkdirat(rootFd, user.c_str(), 0700) != 0 && errno != EEXIST)
            return fail(systemError("impossible de créer le dossier de " + user));
        FileDescriptor created(
            ::openat(rootFd, user.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (created.get() < 0)
            return refuse(systemError("dossier de " + user));
        struct stat createdInfo
        {};
        if (::fstat(created.get(), &createdInfo) != 0)
            return fail(systemError("dossier de " + user));
        // Only a folder that this run created (still root's) is handed over to the user.
        if (createdInfo.st_uid == 0) {
            if (::fchown(created.get(), account.pw_uid, account.pw_gid) != 0 ||
                ::fchmod(created.get(), 0700) != 0)
                return fail(systemError("impossible de donner le dossier à " + user));
        }
        folder.reset(created.release());
    } else {
        if (S_ISLNK(info.st_mode))
            return refuse("le dossier de " + user + " est un lien symbolique");
        if (!S_ISDIR(info.st_mode))
            return refuse("le dossier de " + user + " n'est pas un dossier");
        folder.reset(
            ::openat(rootFd, user.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.get() < 0)
            return refuse(systemError("dossier de " + user));
    }

    // What was opened is what is checked, whatever happened to the name meanwhile.
    struct stat opened
    {};
    if (::fstat(folder.get(), &opened) != 0)
        return fail(systemError("dossier de " + user));
    if (!S_ISDIR(opened.st_mode) || opened.st_uid != account.pw_uid)
        return refuse("le dossier de " + user + " n'appartient pas à " + user);
    return {};
}

// For good: after this the process can never regain root.
std::string becomeUser(const passwd& account)
{
    if (::geteuid() != 0)
        return account.pw_uid == ::geteuid() ? std::string()
                                             : "le programme de l'imprimante doit tourner en root";
    if (::setgroups(0, nullptr) != 0 || ::setgid(account.pw_gid) != 0 ||
        ::setuid(account.pw_uid) != 0)
        return systemError("impossible de prendre l'identité de " + std::string(account.pw_name));
    if (account.pw_uid != 0 && ::setuid(0) == 0)
        return "les droits de root restent récupérables après leur abandon";
    return {};
}

// The process id in ".Vellora.ps.<job>.<pid>.tmp", or 0 for any other name.
pid_t writerOfTemporary(const std::string& name)
{
    const std::string prefix = kTemporaryPrefix, suffix = kTemporarySuffix;
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::string middle =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const std::size_t dot = middle.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == middle.size())
        return 0;
    pid_t pid = 0;
    for (std::size_t i = 0; i < middle.size(); ++i) {
        if (i == dot)
            continue;
        if (middle[i] < '0' || middle[i] > '9')
            return 0;
        if (i > dot)
            pid = pid * 10 + (middle[i] - '0');
    }
    return pid;
}

// Temporary files of backends that were killed before they could clean up (SIGKILL, a crash):
// their writer is gone. A writer still running (another queue's job) keeps its file.
void sweepStaleTemporaries(int folder)
{
    const int listing = ::dup(folder);
    if (listing < 0)
        return;
    DIR* entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return;
    }
    ::rewinddir(entries);
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(entries)) {
        const pid_t writer = writerOfTemporary(entry->d_name);
        if (writer > 0 && writer != ::getpid() && ::kill(writer, 0) != 0 && errno == ESRCH)
            stale.emplace_back(entry->d_name);
    }
    ::closedir(entries);
    for (const std::string& name : stale)
        ::unlinkat(folder, name.c_str(), 0);
}

enum class Copied
{
    All,
    Failed,
    TooLarge,
};

Copied copyAll(int from, int to, std::uint64_t maxBytes)
{
    std::vector<char> buffer(64 * 1024);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0)
            return Copied::All;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Copied::Failed;
        }
        total += std::uint64_t(got);
        if (total > maxBytes)
            return Copied::TooLarge;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, size_t(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return Copied::Failed;
            }
            done += put;
        }
    }
}

DeliveryResult writeAtomically(int folder, const std::string& folderPath, const std::string& jobId,
                               int input, std::uint64_t maxBytes)
{
    const std::string temporary =
        kTemporaryPrefix + jobId + "." + std::to_string(::getpid()) + kTemporarySuffix;
    // Known to the SIGTERM handler before the file exists, so that no moment leaves it behind.
    std::snprintf(g_temporaryName, sizeof g_temporaryName, "%s", temporary.c_str());
    g_temporaryFolder = folder;
    FileDescriptor out(::openat(folder, temporary.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return fail(systemError("impossible de créer " + folderPath + "/" + temporary));
    const Copied copied = copyAll(input, out.get(), maxBytes);
    if (copied == Copied::TooLarge) {
        ::unlinkat(folder, temporary.c_str(), 0);
        DeliveryResult result = refuse(
            "travail " + jobId + " annulé : il dépasse la limite de " + std::to_string(maxBytes) +
            " octets de l'imprimante (max-size) ; le fichier d'impression précédent est gardé");
        return result;
    }
    const bool written = copied == Copied::All && ::fchmod(out.get(), 0600) == 0 &&
                         ::fsync(out.get()) == 0 && ::close(out.release()) == 0;
    if (!written) {
        const std::string why = systemError("impossible d'écrire " + folderPath + "/" + temporary);
        ::unlinkat(folder, temporary.c_str(), 0);
        return fail(why);
    }
    if (::renameat(folder, temporary.c_str(), folder, kPrintFileName) != 0) {
        const std::string why = systemError("impossible de renommer dans " + folderPath);
        ::unlinkat(folder, temporary.c_str(), 0);
        return fail(why);
    }
    DeliveryResult result;
    result.path = folderPath + "/" + kPrintFileName;
    return result;
}

} // namespace

bool isAcceptableUserName(const std::string& name)
{
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos &&
           name.find("..") == std::string::npos && name.find('\0') == std::string::npos;
}

void removeTemporaryFileOnTermination()
{
    struct sigaction action
    {};
    action.sa_handler = removeTemporaryAndExit;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
}

namespace {

// "123", "2G", "512K": bytes; 0 when it is not such a number.
std::uint64_t parseSize(const std::string& text)
{
    std::uint64_t value = 0;
    std::size_t at = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value > (UINT64_MAX - 9) / 10)
            return 0;
        value = value * 10 + std::uint64_t(text[at] - '0');
    }
    if (at == 0)
        return 0;
    const std::string unit = text.substr(at);
    int shift = 0;
    if (unit == "K" || unit == "k")
        shift = 10;
    else if (unit == "M" || unit == "m")
        shift = 20;
    else if (unit == "G" || unit == "g")
        shift = 30;
    else if (!unit.empty())
        return 0;
    if (shift && value > (UINT64_MAX >> shift))
        return 0;
    return value << shift;
}

// The value of `name` in a list of "name=value" separated by `separator`; empty when absent.
std::string valueIn(const std::string& list, const std::string& name, char separator)
{
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t end = std::min(list.find(separator, at), list.size());
        const std::string item = list.substr(at, end - at);
        if (item.compare(0, name.size() + 1, name + "=") == 0)
            return item.substr(name.size() + 1);
        at = end + 1;
    }
    return {};
}

} // namespace

std::uint64_t maxPrintBytes(const char* deviceUri, const char* options)
{
    std::uint64_t limit = kDefaultMaxPrintBytes;
    const std::string uri = deviceUri ? deviceUri : "";
    if (const std::size_t query = uri.find('?'); query != std::string::npos)
        if (const std::uint64_t set = parseSize(valueIn(uri.substr(query + 1), "max-size", '&')))
            limit = set;
    if (options)
        if (const std::uint64_t lower = parseSize(valueIn(options, "vellora-max-size", ' ')))
            limit = std::min(limit, lower);
    return limit;
}

DeliveryResult deliverPrintFile(const std::string& root, const std::string& user,
                                const std::string& jobId, int input, std::uint64_t maxBytes)
{
    if (!isAcceptableUserName(user))
        return refuse("nom d'utilisateur refusé « " + user + " »");
    errno = 0;
    const passwd* found = ::getpwnam(user.c_str());
    if (!found)
        return refuse("utilisateur inconnu « " + user + " »");
    // getpwnam's storage is shared; keep what is needed.
    passwd account = *found;
    const std::string accountName = found->pw_name;
    account.pw_name = const_cast<char*>(accountName.c_str());

    int rootDescriptor = -1;
    const std::string rootError = checkRoot(root, rootDescriptor);
    FileDescriptor rootFd(rootDescriptor);
    if (!rootError.empty())
        return fail(rootError);

    FileDescriptor folder;
    if (DeliveryResult opened = openUserFolder(rootFd.get(), user, account, folder); !opened.ok())
        return opened;
    if (const std::string why = becomeUser(account); !why.empty())
        return fail(why);
    sweepStaleTemporaries(folder.get());
    std::string safeJobId;
    for (char c : jobId)
        if (c >= '0' && c <= '9')
            safeJobId += c;
    return writeAtomically(folder.get(), root + "/" + user, safeJobId, input, maxBytes);
}

} // namespace vellora::printer
