#pragma once

#include "Desktop.h"

#include <QStringList>

namespace vellora {

// Records what the program handed to the desktop, in order: "folder:<path>", "document:<path>".
class FakeDesktop final : public Desktop
{
public:
    bool openFolder(const QString& folder) override
    {
        opened.append(u"folder:" + folder);
        return true;
    }
    bool openDocument(const QString& file) override
    {
        opened.append(u"document:" + file);
        return true;
    }

    QStringList opened;
};

} // namespace vellora
