#pragma once

#include <QString>

namespace vellora::cli {

// The template of this run's private work folder in `tempFolder`: its name carries the
// process id, so that a later run can tell whether its owner is still there.
QString workFolderTemplate(const QString& tempFolder);

// Removes the work folders that runs killed before they could clean up (SIGKILL, a crash, a
// power cut) left in `tempFolder`: those of this user whose process is gone. A run still
// going keeps its folder. Returns how many were removed.
int sweepAbandonedWorkFolders(const QString& tempFolder);

} // namespace vellora::cli
