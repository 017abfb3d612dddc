#pragma once

#include <QString>

namespace vellora {

class SingleInstance;
class TrayIcon;

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
