#include "ProcessorLimit.h"

#include "PageFiles.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace vellora::converter {

namespace {

// Written by the signal handler: fixed storage, filled before the limit is set.
std::array<char, 8192> g_message{};
std::size_t g_messageLength = 0;

extern "C" void stopAtProcessorLimit(int)
{
    removePendingPageFiles();
    [[maybe_unused]] const ssize_t written =
        ::write(STDERR_FILENO, g_message.data(), g_messageLength);
    ::_exit(1);
}

} // namespace

rlim_t limitProcessorTime(rlim_t seconds, const std::string& subject)
{
    rlimit limit{};
    ::getrlimit(RLIMIT_CPU, &limit);
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > seconds)
        limit.rlim_cur = seconds;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max)
        limit.rlim_cur = limit.rlim_max;
    // SIGKILL two seconds later, should the clean-up itself hang.
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > limit.rlim_cur + 2)
        limit.rlim_max = limit.rlim_cur + 2;

    const std::string message = "pdf2swf: " + subject + "page arrêtée après " +
                                std::to_string(limit.rlim_cur) +
                                " s de calcul : elle est trop complexe pour être convertie\n";
    g_messageLength = std::min(message.size(), g_message.size());
    std::memcpy(g_message.data(), message.data(), g_messageLength);

    struct sigaction action
    {};
    action.sa_handler = stopAtProcessorLimit;
    sigfillset(&action.sa_mask);
    ::sigaction(SIGXCPU, &action, nullptr);
    ::setrlimit(RLIMIT_CPU, &limit);
    return limit.rlim_cur;
}

} // namespace vellora::converter
