#pragma once

#include <QString>

namespace vellora::paths {

// The user's data folder ($XDG_DATA_HOME, else ~/.local/share), without a trailing separator;
// empty when the system reports none.
QString AppDataFolder();

// AppDataFolder + "/vellora": the page converter and the viewer files.
QString ToolFolder();

// AppDataFolder + "/out.pdf": the PDF that every build converts.
QString WorkPdf();

// AppDataFolder + "/vellora.logs": the build log.
QString BuildLogFile();

// The folder under which the virtual printer keeps one drop folder per user.
QString SpoolRoot();

// <SpoolRoot>/<user name>/Vellora.ps: what the virtual printer wrote for this user.
QString PrintFile();

// The name of the user who runs this process.
QString CurrentUserName();

// Tests point the print file at a private spool; an empty value restores the system one.
void setSpoolRootForTesting(const QString& folder);

} // namespace vellora::paths
