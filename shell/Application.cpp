#include "Application.h"

#include "Errors.h"
#include "Prompts.h"

namespace vellora {

VelloraApplication::VelloraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Vellora"));
    setDesktopFileName(QStringLiteral("vellora"));
    // The program lives in the notification area: closing its last window does not end it.
    setQuitOnLastWindowClosed(false);
}

bool VelloraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EVellora& error) {
        prompts().error(error.message());
    } catch (const std::exception& error) {
        prompts().error(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        prompts().error(QStringLiteral("Erreur inattendue."));
    }
    return false;
}

} // namespace vellora
