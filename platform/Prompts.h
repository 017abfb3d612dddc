#pragma once

#include "Installed.h"

#include <QColor>
#include <QString>
#include <optional>

namespace vellora {

// The two captions of the program's message boxes. Some boxes carry a caption of their own
// ("RunCaptured Error"), so the caption is plain text.
inline const QString kCaptionWarning = QStringLiteral("Avertissement");
inline const QString kCaptionError = QStringLiteral("Erreur");

struct FileDialogRequest
{
    QString title;
    QString filter;        // Qt filter text, e.g. "*.htm *.html;;*.*"
    QString defaultSuffix; // without the dot
    QString initialPath;   // folder or file offered first
};

// Every question the program asks the user goes through here, so that tests can answer it.
// Message boxes have one OK button; file dialogs return an empty string when cancelled; the
// colour dialog returns nothing when cancelled.
class Prompts
{
public:
    virtual ~Prompts() = default;

    virtual void message(const QString& caption, const QString& text) = 0;
    virtual QString openFileName(const FileDialogRequest& request) = 0;
    virtual QString saveFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<QColor> chooseColor(const QColor& initial) = 0;

    void warning(const QString& text) { message(kCaptionWarning, text); }
    void error(const QString& text) { message(kCaptionError, text); }
};

// The prompts in use. main() installs the real dialogs; tests install a FakePrompts.
inline Prompts& prompts()
{
    return Installed<Prompts>::get();
}
inline void setPrompts(Prompts* prompts)
{
    Installed<Prompts>::set(prompts);
}

} // namespace vellora
