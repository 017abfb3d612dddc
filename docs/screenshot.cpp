// Draws the main window and the options dialog on the X display and saves a picture of them,
// for the README:  xvfb-run -s "-screen 0 1100x680x24" vellora_screenshot <file.png>
#include "Application.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "Main.h"
#include "Options.h"

#include <QScreen>
#include <QTimer>

int main(int argc, char* argv[])
{
    vellora::VelloraApplication app(argc, argv);
    if (argc != 2)
        return 2;
    vellora::FakePrompts prompts;
    vellora::setPrompts(&prompts);
    vellora::FakeTrayIcon tray;
    vellora::TF_Main window(tray);
    vellora::TForm1 form(window);
    window.setOptionsDialog(&form);
    window.OpenMainWindow();
    window.move(8, 8);
    window.BopenClick();
    form.move(window.frameGeometry().right() + 16, 8);

    int status = 1;
    QTimer::singleShot(1500, [&] {
        const QRect area =
            window.frameGeometry().united(form.frameGeometry()).adjusted(-8, -8, 8, 8);
        const QPixmap shot =
            window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        status = shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        QCoreApplication::exit(status);
    });
    QApplication::exec();
    return status;
}
