#pragma once

#include <QApplication>

namespace vellora {

// Loads Qt's own French texts (the buttons and questions of the standard dialogs) into
// `application`; false when the translation files are not installed.
bool installQtTranslations(QCoreApplication& application);

// The application object. Any failure that leaves an event handler ends up here and is shown
// to the user in one "Erreur" box with its own message; the program then goes on.
class VelloraApplication final : public QApplication
{
    Q_OBJECT
public:
    VelloraApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace vellora
