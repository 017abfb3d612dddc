#pragma once

#include "Desktop.h"

namespace vellora {

// Opens folders in the file manager and documents in their default program, through the
// desktop's URL handlers (xdg-open and portals): no shell is involved.
class LinuxDesktop final : public Desktop
{
public:
    bool openFolder(const QString& folder) override;
    bool openDocument(const QString& file) override;
};

} // namespace vellora
