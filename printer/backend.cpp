// The CUPS backend of the "vellora" printer. cupsd runs it as root (the file has mode 0700)
// with the job's user name; it puts the printed PostScript into that user's own drop folder,
// <spool root>/<user>/Vellora.ps, where Vellora reads it.
//
// Running as root with a name that comes from the client, it must not be turned against the
// system: the name is looked up in the password database, the folder is checked without
// following links, and everything after that runs with the user's own ids.

#include "SpoolFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Exit codes of a CUPS backend.
constexpr int kBackendOk = 0;
constexpr int kBackendFailed = 1;
constexpr int kBackendCancel = 5;

std::string spoolRoot()
{
#ifdef VELLORA_BACKEND_TESTING
    // Only the build made for the test suite lets the print server's environment move the
    // spool; the installed backend always writes under the system folder.
    if (const char* custom = std::getenv("VELLORA_SPOOL_ROOT"); custom && *custom)
        return custom;
#endif
    return vellora::printer::kSystemSpoolRoot;
}

int openInput(int argc, char** argv)
{
    if (argc < 7)
        return STDIN_FILENO;
    return ::open(argv[6], O_RDONLY | O_CLOEXEC);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vellora::printer;

    if (argc == 1) {
        // Device discovery by lpinfo: one line naming the URI this backend serves.
        std::printf("file vellora:%s \"Vellora\" \"Imprimante virtuelle Vellora\"\n",
                    kSystemSpoolRoot);
        return kBackendOk;
    }
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage : %s travail utilisateur titre copies options [fichier]\n",
                     argv[0]);
        return kBackendFailed;
    }

    const int input = openInput(argc, argv);
    if (input < 0) {
        std::fprintf(stderr, "ERROR: impossible d'ouvrir le fichier du travail : %s\n",
                     std::strerror(errno));
        return kBackendFailed;
    }

    removeTemporaryFileOnTermination();
    const DeliveryResult result = deliverPrintFile(
        spoolRoot(), argv[2], argv[1], input, maxPrintBytes(std::getenv("DEVICE_URI"), argv[5]));
    if (result.ok()) {
        std::fprintf(stderr, "INFO: imprimé dans %s\n", result.path.c_str());
        return kBackendOk;
    }
    std::fprintf(stderr, "ERROR: %s\n", result.error.c_str());
    // A refused user, folder or size cancels this job only; the queue stays ready for the
    // others.
    return result.refused ? kBackendCancel : kBackendFailed;
}
