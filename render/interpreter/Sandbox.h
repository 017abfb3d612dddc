#pragma once

#include <string>
#include <vector>

namespace vellora::interpreter {

// What the interpreter program may touch once it has started: files and folders it may read,
// and those it may write (a folder with everything beneath it, or a single existing file).
struct TSandboxRules
{
    std::vector<std::string> read;
    std::vector<std::string> write;
};

enum class TSandboxState
{
    Enforced,    // the kernel enforces the rules from now on
    Unsupported, // the kernel offers no Landlock: -dSAFER and the private folder remain
    Failed,      // Landlock is there but refused the rules
};

// Restricts this process for good with Landlock (raw system calls): file access to the rules,
// no TCP connection or listening socket, no signal to or abstract socket of another process,
// as far as the kernel's Landlock version goes.
TSandboxState RestrictFiles(const TSandboxRules& rules);

// The Landlock version the kernel offers, 0 for none.
int LandlockAbi();

} // namespace vellora::interpreter
