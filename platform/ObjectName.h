#pragma once

#include <QString>

namespace vellora {

// Gives a freshly made control its name, so that tests and style sheets find it by the name
// the window layout uses: named(new QLabel(...), "Label1").
template <typename Object> Object* named(Object* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace vellora
