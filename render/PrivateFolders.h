#pragma once

#include <QString>

namespace vellora {

// The process's private working area for rendering, a folder only this user can enter
// (under paths::TemporaryFolder()), removed when the process ends. It holds:
//  - the interpreter's temporary folder: -dSAFER still lets a PostScript program write and
//    delete files under the temporary folder, so the interpreter gets one of its own through
//    TMPDIR, and /tmp stays out of its reach;
//  - the snapshots of print files, out of the interpreter's reach.
//
// The area holds a lock for as long as its process runs. The first call removes the areas whose
// process has ended (killed, or gone with its session) before it creates its own, and points
// TMPDIR at the interpreter's folder; make it on the main thread before any other thread
// starts (main() and the main window do; the component's constructor does too, for programs
// that only render).
void PrepareInterpreterEnvironment();

QString InterpreterTempFolder();
QString SnapshotFolder();

} // namespace vellora
