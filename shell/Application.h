#pragma once

#include <QApplication>

namespace vellora {

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
