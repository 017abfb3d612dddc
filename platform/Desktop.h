#pragma once

#include "Installed.h"

#include <QString>

namespace vellora {

// Hands folders and documents to the user's desktop: the file manager, the web browser.
class Desktop
{
public:
    virtual ~Desktop() = default;
    virtual bool openFolder(const QString& folder) = 0;
    virtual bool openDocument(const QString& file) = 0;
};

// The desktop in use. main() installs the real one; tests install a FakeDesktop.
inline Desktop& desktop()
{
    return Installed<Desktop>::get();
}
inline void setDesktop(Desktop* desktop)
{
    Installed<Desktop>::set(desktop);
}

} // namespace vellora
