// Takes the program's single-copy lock the way the program does, starts a long-running child
// process, prints the child's process id and ends without letting go of anything on purpose.
#include "linux/LinuxSingleInstance.h"

#include <QCoreApplication>
#include <QProcess>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    vellora::LinuxSingleInstance instance(QStringLiteral("vellora"));
    if (!instance.claim())
        return 3;
    qint64 child = 0;
    if (!QProcess::startDetached(QStringLiteral("/bin/sleep"), {QStringLiteral("60")}, {}, &child))
        return 4;
    std::printf("%lld\n", static_cast<long long>(child));
    std::fflush(stdout);
    ::_exit(0);
}
