#pragma once

#include <QString>

namespace vellora::paths {

// The user's data folder ($XDG_DATA_HOME, else ~/.local/share), without a trailing separator;
// empty when the system reports none.
QString AppDataFolder();

// Where the program's own files are: the programs it starts (the page converter, the
// interpreter helper) and the viewer files it copies into each catalogue.
struct ToolFolders
{
    QString programs;
    QString viewer;
};

// The one place that finds them: the user's own AppDataFolder + "/vellora" when it holds the
// converter (a user may install their own copy), else the installed layout found from the
// running program's own location, <prefix>/bin/.. -> <prefix>/lib/vellora for programs and
// <prefix>/share/vellora for viewer files (a package, /usr/local and a test prefix all work).
// When neither holds the converter, the user's folder, so that messages name it.
ToolFolders FindToolFolders();

// FindToolFolders().programs: the converter and the interpreter helper.
QString ToolFolder();

// FindToolFolders().viewer: vellora.html, swfobject.js, vellora.swf.
QString ViewerFolder();

// The folder of the running program (the installed layout is found from it).
QString ProgramFolder();

// Vellora's own working files: $XDG_STATE_HOME/vellora, else ~/.local/state/vellora. A generic
// name such as out.pdf in the data folder that every program shares could overwrite another
// program's file. Made, for this user alone, when it is first asked for.
QString StateFolder();

// StateFolder + "/out.pdf": the PDF that every build converts.
QString WorkPdf();

// StateFolder + "/vellora.logs": the build log.
QString BuildLogFile();

// StateFolder + "/travaux.log": the job log.
QString JobLogFile();

// Temporary work: $XDG_RUNTIME_DIR/vellora, else /tmp/vellora-<uid>. Made, for this user
// alone, when it is first asked for.
QString TemporaryFolder();

// The folder under which the virtual printer keeps one drop folder per user.
QString SpoolRoot();

// <SpoolRoot>/<user name>/Vellora.ps: what the virtual printer wrote for this user.
QString PrintFile();

// The name of the user who runs this process.
QString CurrentUserName();

// Tests point the print file at a private spool; an empty value restores the system one.
void setSpoolRootForTesting(const QString& folder);

} // namespace vellora::paths
