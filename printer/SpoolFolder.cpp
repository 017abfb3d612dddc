#include "SpoolFolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vellora::printer {

namespace {

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
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
        return systemError("spool folder " + root);
    struct stat info
    {};
    if (::fstat(rootFd, &info) != 0)
        return systemError("spool folder " + root);
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "spool folder " + root + " must belong to root and be writable by root only";
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
            return fail(systemError("folder of " + user));
        if (::mkdirat(rootFd, user.c_str(), 0700) != 0 && errno != EEXIST)
            return fail(systemError("cannot create the folder of " + user));
        FileDescriptor created(
            ::openat(rootFd, user.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (created.get() < 0)
            return refuse(systemError("folder of " + user));
        struct stat createdInfo
        {};
        if (::fstat(created.get(), &createdInfo) != 0)
            return fail(systemError("folder of " + user));
        // Only a folder that this run created (still root's) is handed over to the user.
        if (createdInfo.st_uid == 0) {
            if (::fchown(created.get(), account.pw_uid, account.pw_gid) != 0 ||
                ::fchmod(created.get(), 0700) != 0)
                return fail(systemError("cannot hand the folder over to " + user));
        }
        folder.reset(created.release());
    } else {
        if (S_ISLNK(info.st_mode))
            return refuse("the folder of " + user + " is a symbolic link");
        if (!S_ISDIR(info.st_mode))
            return refuse("the folder of " + user + " is not a folder");
        folder.reset(
            ::openat(rootFd, user.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.get() < 0)
            return refuse(systemError("folder of " + user));
    }

    // What was opened is what is checked, whatever happened to the name meanwhile.
    struct stat opened
    {};
    if (::fstat(folder.get(), &opened) != 0)
        return fail(systemError("folder of " + user));
    if (!S_ISDIR(opened.st_mode) || opened.st_uid != account.pw_uid)
        return refuse("the folder of " + user + " does not belong to " + user);
    return {};
}

// For good: after this the process can never regain root.
std::string becomeUser(const passwd& account)
{
    if (::geteuid() != 0)
        return account.pw_uid == ::geteuid() ? std::string() : "the backend must run as root";
    if (::setgroups(0, nullptr) != 0 || ::setgid(account.pw_gid) != 0 ||
        ::setuid(account.pw_uid) != 0)
        return systemError("cannot take the ids of " + std::string(account.pw_name));
    if (account.pw_uid != 0 && ::setuid(0) == 0)
        return "could regain root after dropping privileges";
    return {};
}

bool copyAll(int from, int to)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, size_t(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += put;
        }
    }
}

DeliveryResult writeAtomically(int folder, const std::string& folderPath, const std::string& jobId,
                               int input)
{
    const std::string temporary =
        ".Vellora.ps." + jobId + "." + std::to_string(::getpid()) + ".tmp";
    FileDescriptor out(::openat(folder, temporary.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return fail(systemError("cannot create " + folderPath + "/" + temporary));
    const bool written = copyAll(input, out.get()) && ::fchmod(out.get(), 0600) == 0 &&
                         ::fsync(out.get()) == 0 && ::close(out.release()) == 0;
    if (!written) {
        const std::string why = systemError("cannot write " + folderPath + "/" + temporary);
        ::unlinkat(folder, temporary.c_str(), 0);
        return fail(why);
    }
    if (::renameat(folder, temporary.c_str(), folder, kPrintFileName) != 0) {
        const std::string why = systemError("cannot rename into " + folderPath);
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

DeliveryResult deliverPrintFile(const std::string& root, const std::string& user,
                                const std::string& jobId, int input)
{
    if (!isAcceptableUserName(user))
        return refuse("refused user name \"" + user + "\"");
    errno = 0;
    const passwd* found = ::getpwnam(user.c_str());
    if (!found)
        return refuse("unknown user \"" + user + "\"");
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
    std::string safeJobId;
    for (char c : jobId)
        if (c >= '0' && c <= '9')
            safeJobId += c;
    return writeAtomically(folder.get(), root + "/" + user, safeJobId, input);
}

} // namespace vellora::printer
