#pragma once

#include <QStringList>

namespace vellora {

// Before Vellora had a state folder of its own, the working PDF and the build log lay in the
// data folder itself (~/.local/share/out.pdf and vellora.logs). Moves them into the state
// folder, never over a file there that is as new or newer (that one is kept, and so is the
// old file). Returns one French line per file moved, for the job log.
QStringList MoveOldWorkingFiles();

} // namespace vellora
