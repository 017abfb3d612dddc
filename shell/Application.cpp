#include "Application.h"

#include "Errors.h"
#include "Log.h"
#include "Prompts.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vellora {

bool installQtTranslations(QCoreApplication& application)
{
    // Owned by the application: the translations serve as long as it runs.
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

VelloraApplication::VelloraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    startupStep("Qt application");
    setApplicationName(QStringLiteral("Vellora"));
    setDesktopFileName(QStringLiteral("vellora"));
    // The program lives in the notification area: closing its last window does not end it.
    setQuitOnLastWindowClosed(false);
    // The program speaks French, and so do the standard dialogs it opens, whatever the
    // session's language.
    installQtTranslations(*this);
    startupStep("translations");
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
