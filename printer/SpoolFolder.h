#pragma once

#include <string>

namespace vellora::printer {

// Where the installed backend keeps one drop folder per user.
inline constexpr const char* kSystemSpoolRoot = "/var/spool/vellora";

// The name of the print file inside a user's drop folder.
inline constexpr const char* kPrintFileName = "Vellora.ps";

struct DeliveryResult
{
    std::string path;     // the print file written, when it was
    std::string error;    // why nothing was written
    bool refused = false; // the user or the folder was refused, as opposed to a failure

    bool ok() const { return error.empty(); }
};

// True for a name that may become a folder name: not empty, no "/", no "..", no leading dot.
bool isAcceptableUserName(const std::string& name);

// Copies everything readable from `input` into <root>/<user>/Vellora.ps for the user named.
// Called as root: it checks the root and the user's folder without following links, creates
// the folder (mode 0700, owned by the user) when missing, then drops this process to the
// user's ids for good before it writes a temporary file (mode 0600) and renames it into place.
DeliveryResult deliverPrintFile(const std::string& root, const std::string& user,
                                const std::string& jobId, int input);

} // namespace vellora::printer
