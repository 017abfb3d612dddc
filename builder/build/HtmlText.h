#pragma once

#include <QString>

namespace vellora {

// `text` for HTML or XML, as element text or as a quoted attribute value alike: "&", "<", ">",
// '"' and "'" become references, and control characters (besides tab and line end) are
// dropped, since no HTML or XML document may hold them.
QString htmlEscaped(const QString& text);

// A file name of the catalogue folder as a relative URL: every byte but the unreserved ones
// percent-encoded, so a name with "#", "?", "%" or a blank still names the file.
QString fileNameUrl(const QString& fileName);

} // namespace vellora
