#pragma once

#include <QByteArray>
#include <QString>

namespace vellora {

// Text files written by Vellora are UTF-8. Older index files and files from other programs may
// be Windows-1252: every byte sequence that is valid UTF-8 is read as UTF-8, every other byte as
// the Windows-1252 character of that byte. A leading UTF-8 byte-order mark is dropped.
QString decodeUtf8OrWindows1252(const QByteArray& bytes);

} // namespace vellora
