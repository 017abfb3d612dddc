#pragma once

#include "Paths.h"

#include <QFile>
#include <QStringList>

namespace vellora::test {

// The viewer files the tool folder holds besides the page: the build copies those.
inline QStringList viewerFilesInstalled()
{
    QStringList files;
    for (const char* name : {"swfobject.js", "vellora.swf"}) {
        if (QFile::exists(paths::ToolFolder() + u'/' + QLatin1String(name)))
            files.append(QLatin1String(name));
    }
    return files;
}

// The viewer files the tool folder lacks: the build reports those as missing.
inline QStringList viewerFilesMissing()
{
    QStringList missing;
    for (const char* name : {"vellora.html", "swfobject.js", "vellora.swf"}) {
        if (!QFile::exists(paths::ToolFolder() + u'/' + QLatin1String(name)))
            missing.append(QLatin1String(name));
    }
    return missing;
}

} // namespace vellora::test
