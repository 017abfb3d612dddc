#pragma once

#include <QObject>
#include <QString>

namespace vellora {

// One running copy of the program per user. The first copy holds a lock for its whole life
// and listens for requests; a later copy finds the lock taken, asks the first copy to come
// forward and ends. The lock goes away with the process that holds it, however it ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SingleInstance() override = default;

    // True when this process is now the running copy; false when another copy holds the lock.
    // Throws EVellora when the test itself cannot be made.
    virtual bool claim() = 0;

    // From a later copy: asks the running copy to bring its window forward. False when it
    // could not be reached.
    virtual bool askRunningCopyToRaise() = 0;

Q_SIGNALS:
    // In the running copy: a later copy asked it to come forward.
    void raiseRequested();
};

} // namespace vellora
