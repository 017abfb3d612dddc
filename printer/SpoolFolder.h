#pragma once

#include <cstdint>
#include <string>

namespace vellora::printer {

// Where the installed backend keeps one drop folder per user.
inline constexpr const char* kSystemSpoolRoot = "/var/spool/vellora";

// The name of the print file inside a user's drop folder.
inline constexpr const char* kPrintFileName = "Vellora.ps";

// The largest print file a job may leave, unless the printer says otherwise: 2 GiB.
inline constexpr std::uint64_t kDefaultMaxPrintBytes = std::uint64_t(2) << 30;

struct DeliveryResult
{
    std::string path;     // the print file written, when it was
    std::string error;    // why nothing was written
    bool refused = false; // the user or the folder was refused, or the job was too large

    bool ok() const { return error.empty(); }
};

// True for a name that may become a folder name: not empty, no "/", no "..", no leading dot.
bool isAcceptableUserName(const std::string& name);

// Copies everything readable from `input` into <root>/<user>/Vellora.ps for the user named.
// Called as root: it checks the root and the user's folder without following links, creates
// the folder (mode 0700, owned by the user) when missing, then drops this process to the
// user's ids for good before it writes a temporary file (mode 0600) and renames it into place.
// Temporary files that earlier backends left behind (killed ones) are removed first. A job
// larger than `maxBytes` is refused and the earlier print file stays as it was.
DeliveryResult deliverPrintFile(const std::string& root, const std::string& user,
                                const std::string& jobId, int input,
                                std::uint64_t maxBytes = kDefaultMaxPrintBytes);

// From here on, SIGTERM (cupsd cancelling the job) removes the temporary file being written
// before the process ends.
void removeTemporaryFileOnTermination();

// The size limit of the printer: "max-size=N" in the device URI's query (the queue's own
// setting, default 2 GiB), lowered, never raised, by an option "vellora-max-size=N" among the
// job's options (a printer default set with lpadmin -o vellora-max-size-default=N arrives
// there). N is a number of bytes, optionally followed by K, M or G.
std::uint64_t maxPrintBytes(const char* deviceUri, const char* options);

} // namespace vellora::printer
