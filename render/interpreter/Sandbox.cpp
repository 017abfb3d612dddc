#include "Sandbox.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vellora::interpreter {

namespace {

// Rights the installed kernel headers may predate; the values are the kernel's.
constexpr __u64 kTruncate = 1ULL << 14;         // version 3
constexpr __u64 kIoctlDev = 1ULL << 15;         // version 5
constexpr __u64 kNetBindTcp = 1ULL << 0;        // version 4
constexpr __u64 kNetConnectTcp = 1ULL << 1;     // version 4
constexpr __u64 kScopeAbstractUnix = 1ULL << 0; // version 6
constexpr __u64 kScopeSignal = 1ULL << 1;       // version 6

// The ruleset attribute as the newest kernels read it; older kernels get the prefix they know.
struct RulesetAttr
{
    __u64 handledAccessFs;
    __u64 handledAccessNet;
    __u64 scoped;
};

constexpr __u64 kReadFs =
    LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
constexpr __u64 kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE |
                              LANDLOCK_ACCESS_FS_WRITE_FILE | kTruncate | kIoctlDev;

__u64 handledFs(int abi)
{
    __u64 rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1; // version 1: bits 0 to 12
    if (abi >= 2)
        rights |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3)
        rights |= kTruncate;
    if (abi >= 5)
        rights |= kIoctlDev;
    return rights;
}

bool addPath(int ruleset, const std::string& path, __u64 wanted, __u64 handled)
{
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT; // a folder this system does not have is nothing to allow
    struct stat info
    {};
    __u64 allowed = wanted & handled;
    if (::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode))
        allowed &= kFileRights; // only file rights apply to a single file
    landlock_path_beneath_attr rule{};
    rule.allowed_access = allowed;
    rule.parent_fd = fd;
    const long added =
        ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
    ::close(fd);
    return added == 0;
}

} // namespace

int LandlockAbi()
{
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? int(abi) : 0;
}

TSandboxState RestrictFiles(const TSandboxRules& rules)
{
    const int abi = LandlockAbi();
    if (abi <= 0)
        return TSandboxState::Unsupported;

    RulesetAttr attr{};
    attr.handledAccessFs = handledFs(abi);
    size_t size = sizeof(__u64);
    if (abi >= 4) {
        attr.handledAccessNet = kNetBindTcp | kNetConnectTcp; // no rule: no TCP at all
        size = 2 * sizeof(__u64);
    }
    if (abi >= 6) {
        attr.scoped = kScopeAbstractUnix | kScopeSignal;
        size = sizeof(RulesetAttr);
    }
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0)
        return TSandboxState::Failed;

    bool ok = true;
    for (const std::string& path : rules.read)
        ok = addPath(ruleset, path, kReadFs, attr.handledAccessFs) && ok;
    for (const std::string& path : rules.write)
        ok = addPath(ruleset, path, attr.handledAccessFs, attr.handledAccessFs) && ok;
    if (ok)
        ok = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
             ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(ruleset);
    return ok ? TSandboxState::Enforced : TSandboxState::Failed;
}

} // namespace vellora::interpreter
