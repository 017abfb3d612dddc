#pragma once

#include "SingleInstance.h"

class QLocalServer;

namespace vellora {

// The lock is a flock() on "<name>.lock" and the requests arrive on the local socket
// "<name>.socket", both in the user's runtime folder ($XDG_RUNTIME_DIR, else a folder
// /tmp/vellora-<uid> that only we can use). The lock file is opened close-on-exec, so programs
// that we start never inherit it.
class LinuxSingleInstance final : public SingleInstance
{
    Q_OBJECT
public:
    // `name`: the file name of the running executable, so copies of differently named
    // executables do not see each other.
    explicit LinuxSingleInstance(QString name, QObject* parent = nullptr);
    ~LinuxSingleInstance() override;

    bool claim() override;
    bool askRunningCopyToRaise() override;

    QString lockPath() const;
    QString socketPath() const;

    // The folder holding the lock and the socket; throws EVellora when it is not safe to use.
    static QString runtimeFolder();
    // Makes `folder` with mode 0700, or accepts it when it is already a real folder of this
    // user that nobody else can enter; throws EVellora otherwise.
    static QString privateFolder(const QString& folder);

private:
    void listen();

    QString m_name;
    QString m_folder;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};

} // namespace vellora
