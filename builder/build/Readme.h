#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vellora {

inline const QString kReadmeFile = QStringLiteral("readme.txt");

// The eleven lines of "readme.txt" that every catalogue folder receives.
QStringList readmeLines();

// The file's bytes: UTF-8, every line followed by CR LF, nothing after the eleventh line.
QByteArray readmeText();

} // namespace vellora
