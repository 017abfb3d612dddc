// The reference for bench/startup: an empty Qt program with a tray icon, started and measured
// the way vellora is (the time until its event loop runs).
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QPixmap picture(32, 32);
    picture.fill(Qt::darkBlue);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.setToolTip(QStringLiteral("Reference"));
    tray.show();
    QTimer::singleShot(0, [] {
        std::fputs("event loop running\n", stderr);
        std::fflush(stderr);
    });
    return QApplication::exec();
}
