#pragma once

// A private cupsd with its own system bus for one test program, started by
// tests/printer/private-cups. The program's environment then points libcups and D-Bus at it.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <csignal>
#include <unistd.h>

namespace vellora::test {

class PrivateCups
{
public:
    // False when it could not start; `why` says why, and missingDependency() whether the
    // machine lacks something (root, a tool) rather than the server failing.
    bool start(const QStringList& extraPrinters, QString& why)
    {
        m_missing = true;
        if (::geteuid() != 0) {
            why = QStringLiteral("root (the private cupsd runs backends as root)");
            return false;
        }
        for (const char* tool : {"cupsd", "dbus-daemon", "lp", "lpadmin", "gs"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
                QStandardPaths::findExecutable(QString::fromLatin1(tool),
                                               {QStringLiteral("/usr/sbin")})
                    .isEmpty()) {
                why = QString::fromLatin1(tool);
                return false;
            }
        }
        m_missing = false;
        const QString backend = binaryDir() + QStringLiteral("/printer/vellora_backend_testing");
        if (!QFile::exists(backend)) {
            why = backend;
            return false;
        }
        QProcess process;
        process.start(script(), QStringList{QStringLiteral("start"), backend} + extraPrinters);
        process.waitForFinished(60000);
        const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput())
                                      .split(u'\n', Qt::SkipEmptyParts);
        if (process.exitCode() != 0 || lines.size() < 4) {
            why = QStringLiteral("private cupsd: ") +
                  QString::fromLocal8Bit(process.readAllStandardError());
            return false;
        }
        m_folder = lines.first();
        for (const QString& line : lines.mid(1)) {
            const qsizetype equals = line.indexOf(u'=');
            qputenv(line.left(equals).toLocal8Bit().constData(),
                    line.mid(equals + 1).toLocal8Bit());
        }
        return true;
    }

    bool missingDependency() const { return m_missing; }

    ~PrivateCups() { stop(); }

    // A server that someone else started (bench/capture's script) and will stop.
    void attach(const QString& folder) { m_folder = folder; }
    void detach() { m_folder.clear(); }

    void stop()
    {
        if (m_folder.isEmpty())
            return;
        run({QStringLiteral("stop"), m_folder});
        m_folder.clear();
    }

    bool restartCupsd() { return run({QStringLiteral("restart-cupsd"), m_folder}); }
    bool stopCupsd() { return run({QStringLiteral("stop-cupsd"), m_folder}); }
    bool startCupsd() { return run({QStringLiteral("start-cupsd"), m_folder}); }
    // SIGKILL, as a crash: the socket file stays behind.
    bool killCupsd() { return run({QStringLiteral("kill-cupsd"), m_folder}); }
    bool killNotifiers() { return run({QStringLiteral("kill-notifier"), m_folder}); }
    bool restartBus() { return run({QStringLiteral("restart-dbus"), m_folder}); }
    // SIGSTOP, then SIGCONT: a server hung in the middle of whatever it was doing.
    bool freezeCupsd(bool frozen)
    {
        QFile pidFile(m_folder + QStringLiteral("/cupsd.pid"));
        const pid_t pid =
            pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toInt() : 0;
        return pid > 0 && ::kill(pid, frozen ? SIGSTOP : SIGCONT) == 0;
    }

    // A queue named `name` on the test backend; `policy` is its operation policy.
    static bool addQueue(const QString& name, const QString& policy = QStringLiteral("vellora"))
    {
        return lpadmin({QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                        QStringLiteral("vellora:/"), QStringLiteral("-m"),
                        QStringLiteral("drv:///sample.drv/generic.ppd"), QStringLiteral("-o"),
                        QStringLiteral("printer-op-policy=") + policy, QStringLiteral("-o"),
                        QStringLiteral("printer-is-shared=false")});
    }

    const QString& folder() const { return m_folder; }
    // The folder under which the backend made for tests keeps the users' drop folders.
    QString spoolRoot() const { return m_folder + QStringLiteral("/drop"); }

    // lp with the given arguments; returns the job id, 0 on failure.
    static int print(const QStringList& arguments, const QString& asUser = QString())
    {
        QProcess process;
        if (asUser.isEmpty())
            process.start(QStringLiteral("lp"), arguments);
        else
            process.start(QStringLiteral("runuser"),
                          QStringList{QStringLiteral("-u"), asUser, QStringLiteral("--"),
                                      QStringLiteral("lp")} +
                              arguments);
        process.waitForFinished(30000);
        // "request id is vellora-12 (1 file(s))"
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const qsizetype dash = out.indexOf(u'-', out.indexOf(QLatin1String("request id is")));
        if (process.exitCode() != 0 || dash < 0)
            return 0;
        return out.mid(dash + 1).section(u' ', 0, 0).toInt();
    }

    static bool lpadmin(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral("lpadmin"), arguments);
        process.waitForFinished(30000);
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

private:
    static QString binaryDir() { return QString::fromLocal8Bit(qgetenv("VELLORA_BINARY_DIR")); }
    static QString script()
    {
        return QString::fromLocal8Bit(qgetenv("VELLORA_SOURCE_DIR")) +
               QStringLiteral("/tests/printer/private-cups");
    }
    bool run(const QStringList& arguments)
    {
        QProcess process;
        process.start(script(), arguments);
        process.waitForFinished(60000);
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QString m_folder;
    bool m_missing = false;
};

} // namespace vellora::test

// Starts the private cupsd for the suite: skips it when the machine lacks root or a tool
// (fails under CI), fails it when the server itself does not come up.
#define VELLORA_REQUIRE_PRIVATE_CUPS(cups, ...)                                                    \
    do {                                                                                           \
        QString why;                                                                               \
        if (!(cups).start(__VA_ARGS__, why)) {                                                     \
            VELLORA_REQUIRE(!(cups).missingDependency(), why);                                     \
            QFAIL(qPrintable(QStringLiteral("private cupsd: ") + why));                            \
        }                                                                                          \
    } while (false)
