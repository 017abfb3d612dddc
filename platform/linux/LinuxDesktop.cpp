#include "LinuxDesktop.h"

#include <QDesktopServices>
#include <QUrl>

namespace vellora {

bool LinuxDesktop::openFolder(const QString& folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool LinuxDesktop::openDocument(const QString& file)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

} // namespace vellora
