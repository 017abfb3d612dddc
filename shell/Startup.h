#pragma once

#include <QString>

namespace vellora {

class SingleInstance;
class TrayIcon;

// Started outside a desktop session (su, ssh, a bare terminal) the process has no runtime
// folder, and Qt and the interpreter would each fall back to one of their own and say so. Gives
// them the private folder that the single-copy lock uses instead. Call it before anything reads
// the environment, while no other thread runs.
void PrepareRuntimeFolder();

// The file name of the running executable: the name under which copies of it find each other.
QString executableFileName();

// Decides whether this process is the program's one running copy. A later copy asks the
// running one to come forward and gets false. A failed test counts as another copy running,
// after an "Erreur" box says why.
bool claimOnlyCopy(SingleInstance& instance);

// Makes the windows in start-up order, connects them to the tray and to later copies, and runs
// the event loop until "Fermer Vellora".
int runVellora(TrayIcon& tray, SingleInstance& instance);

} // namespace vellora
