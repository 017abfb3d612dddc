#pragma once

#include <QString>
#include <QStringList>
#include <chrono>

namespace vellora {

// The caption of the box that says a child could not be started.
inline const QString kRunCapturedCaption = QStringLiteral("RunCaptured Error");

struct RunCapturedOptions
{
    // How long the child may run before it is stopped (SIGTERM, then SIGKILL after a grace
    // period) and the run fails with EVellora.
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    std::chrono::milliseconds killGrace = std::chrono::seconds(2);
};

// Runs `program` with `arguments` (never through a shell) in the folder CurrentDirectory,
// at the lowest priority, and waits for its end while the event loop keeps the windows
// painted (user input is held back). Its standard output goes to a private temporary file;
// once it has ended, the file's lines (ending at CR, LF or CR LF) are appended to Target
// and the file is removed. Standard error goes to this program's standard error.
//
// Returns true exactly when the child exited normally with code 0. When the child cannot be
// started, the result is false and `startFailure` (when given) gets the text of the
// "RunCaptured Error" box that tells the user why. A child that outlives the time-out is
// stopped and EVellora is thrown; so are failures to create or read the capture file.
bool RunCaptured(const QString& CurrentDirectory, const QString& program,
                 const QStringList& arguments, QStringList& Target,
                 const RunCapturedOptions& options = {}, QString* startFailure = nullptr);

} // namespace vellora
