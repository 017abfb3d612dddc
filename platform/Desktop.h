#pragma once

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

Desktop& desktop();
void setDesktop(Desktop* desktop);

} // namespace vellora
