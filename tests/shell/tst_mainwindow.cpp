// The main window's life in the notification area, its buttons and the general error display.
#include "Application.h"
#include "CoolTrayIcon.h"
#include "Errors.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "Main.h"
#include "PageView.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "TestSupport.h"
#include "builder/dialogs/Options.h"

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

using namespace vellora;

namespace {
class ScriptedInstance final : public SingleInstance
{
public:
    enum class Claim
    {
        First,
        Taken,
        Fails
    } outcome = Claim::First;
    int raiseRequests = 0;

    bool claim() override
    {
        if (outcome == Claim::Fails)
            throw EVellora(QStringLiteral("/run/user/1000: Permission denied"));
        return outcome == Claim::First;
    }
    bool askRunningCopyToRaise() override { return ++raiseRequests, true; }
};

QStringList menuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts.append(action->text());
    return texts;
}
} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private:
    FakePrompts m_prompts;

private Q_SLOTS:
    void init()
    {
        setPrompts(&m_prompts);
        m_prompts.clear();
        TF_Main::Quitting = false;
    }

    void startsHiddenWithTheTrayIcon()
    {
        FakeTrayIcon tray;
        TF_Main window(tray);
        QCoreApplication::processEvents();
        QVERIFY(!window.isVisible());
        QVERIFY(window.hasTrayHost());
        QVERIFY(tray.isVisible());
        QVERIFY(tray.hasIcon());
        QCOMPARE(tray.toolTip(), QStringLiteral("Vellora"));
        QVERIFY(tray.contextMenu());
        QCOMPARE(menuTexts(tray.contextMenu()),
                 (QStringList{QStringLiteral("Ouvrir Vellora"), QStringLiteral("Fermer Vellora")}));
        QCOMPARE(window.CoolTrayIcon1->iconIndex(), 1);
        QVERIFY(TF_Main::FirstJob);
        QCOMPARE(TF_Main::LastJobId, 0xFFFFFFFFu);
        QVERIFY(!window.PdfMode);
        QVERIFY(!window.PreviewDone);
        QVERIFY(window.DocFile.isEmpty());
    }

    void openedWindowShowsZoomAndNoPage()
    {
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.OpenMainWindow();
        QVERIFY(window.isVisible());
        QCOMPARE(window.windowTitle(), QStringLiteral("Vellora"));
        QCOMPARE(window.statusText(1), QStringLiteral("50%"));
        QCOMPARE(window.statusText(0), QString());
        QCOMPARE(window.zoomtrack->value(), 50);
        QCOMPARE(window.Image->scale(), 0.5);
        QVERIFY(!window.Button1->isVisible());
        QVERIFY(!window.Button2->isVisible());
        QVERIFY(!window.M_Log->isVisible());
        QVERIFY(!window.Memo1->isVisible());
        QCOMPARE(window.Label2->text(), QStringLiteral("0%"));
        QCOMPARE(window.BNext->text(), QStringLiteral("page suivants"));
        QCOMPARE(window.Bopen->toolTip(),
                 QStringLiteral("Créer prosepctus à partir des documents"));
        // "page suivants" stands left of "page précédente", both against the right edge.
        QVERIFY(window.BNext->geometry().right() < window.BPrevious->geometry().left());
        QCOMPARE(window.BPrevious->geometry().right(), window.Panel1->width() - 4);
    }

    void zoomTrackSetsScaleAndText_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("text");
        QTest::newRow("minimum") << 1 << 0.01 << "1%";
        QTest::newRow("half") << 50 << 0.5 << "50%";
        QTest::newRow("maximum") << 400 << 4.0 << "400%";
    }

    void zoomTrackSetsScaleAndText()
    {
        QFETCH(int, position);
        QFETCH(double, scale);
        QFETCH(QString, text);
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.zoomtrack->setValue(position);
        QCOMPARE(window.Image->scale(), scale);
        QCOMPARE(window.statusText(1), text);
        window.XiButton1->click();
        QCOMPARE(window.Image->scale(), 0.5);
        QCOMPARE(window.statusText(1), QStringLiteral("50%"));
    }

    void trayOpensTheWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("click") << "click";
        QTest::newRow("double-click") << "double-click";
        QTest::newRow("Ouvrir Vellora") << "menu";
        QTest::newRow("already open") << "twice";
    }

    void trayOpensTheWindow()
    {
        QFETCH(QString, how);
        FakeTrayIcon tray;
        TF_Main window(tray);
        if (how == u"click") {
            tray.click();
        } else if (how == u"double-click") {
            tray.click(); // a double-click arrives as a click, then the double-click
            tray.doubleClick();
        } else if (how == u"menu") {
            tray.contextMenu()->actions().at(0)->trigger();
        } else {
            tray.click();
            tray.click();
        }
        QVERIFY(window.isVisible());
    }

    void disabledTrayIgnoresClicks()
    {
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.CoolTrayIcon1->setEnabled(false);
        tray.click();
        tray.doubleClick();
        QVERIFY(!window.isVisible());
    }

    void closeHidesAndTheProgramGoesOn()
    {
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.OpenMainWindow();
        QSignalSpy ending(&window, &TF_Main::programEnding);
        QVERIFY(!window.close());
        QVERIFY(!window.isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(ending.size(), 0);
        QVERIFY(tray.isVisible());
        tray.click();
        QVERIFY(window.isVisible());
    }

    void minimisingHidesToTheTray()
    {
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.OpenMainWindow();
        window.showMinimized();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(tray.isVisible());
        tray.click();
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    void fermerVelloraEndsTheProgram_data()
    {
        QTest::addColumn<bool>("open");
        QTest::newRow("from the tray") << false;
        QTest::newRow("with the window open") << true;
    }

    void fermerVelloraEndsTheProgram()
    {
        QFETCH(bool, open);
        FakeTrayIcon tray;
        auto window = std::make_unique<TF_Main>(tray);
        if (open)
            window->OpenMainWindow();
        QSignalSpy ending(window.get(), &TF_Main::programEnding);
        tray.contextMenu()->actions().at(1)->trigger();
        QCOMPARE(ending.size(), 1);
        QVERIFY(TF_Main::Quitting);
        QVERIFY(!window->isVisible());
        window.reset();
        QVERIFY(!tray.isVisible());
    }

    // Without a notification area a hidden window could never be reached again.
    void withoutTrayTheWindowShowsAndClosingEnds()
    {
        FakeTrayIcon tray(false);
        TF_Main window(tray);
        QVERIFY(!window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 5000);
        QVERIFY(!window.hasTrayHost());

        // Sending it away (as a finished build does) keeps it within reach.
        window.HideMainWindow();
        QVERIFY(window.isMinimized());
        window.RaiseFromOtherCopy();
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());

        QSignalSpy ending(&window, &TF_Main::programEnding);
        QVERIFY(window.close());
        QCOMPARE(ending.size(), 1);
        QVERIFY(!window.isVisible());
    }

    void pdfModeFlows_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<bool>("pdfMode");
        QTest::newRow("nothing") << QStringList{} << false;
        QTest::newRow("Créer prospectus") << QStringList{"Bopen"} << false;
        QTest::newRow("Créer à partir du PDF") << QStringList{"SpeedButton1"} << true;
        QTest::newRow("PDF, then prospectus") << QStringList{"SpeedButton1", "Bopen"} << true;
        QTest::newRow("prospectus, then PDF") << QStringList{"Bopen", "SpeedButton1"} << true;
    }

    void pdfModeFlows()
    {
        QFETCH(QStringList, clicks);
        QFETCH(bool, pdfMode);
        FakeTrayIcon tray;
        TF_Main window(tray);
        TForm1 form(window);
        window.setOptionsDialog(&form);
        window.OpenMainWindow();
        for (const QString& name : clicks) {
            auto* button = window.findChild<QToolButton*>(name);
            QVERIFY(button);
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(window.PdfMode, pdfMode);
        QCOMPARE(window.pdfMode(), pdfMode);
        QCOMPARE(form.isVisible(), !clicks.isEmpty());
    }

    void otherCopyRaisesOnlyAVisibleWindow()
    {
        FakeTrayIcon tray;
        TF_Main window(tray);
        window.RaiseFromOtherCopy();
        QVERIFY(!window.isVisible());
        window.OpenMainWindow();
        window.RaiseFromOtherCopy();
        QVERIFY(window.isVisible());
    }

    void iconIndexRules_data()
    {
        QTest::addColumn<int>("icons");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("shown");
        QTest::newRow("first") << 2 << 0 << 0;
        QTest::newRow("second") << 2 << 1 << 1;
        QTest::newRow("past the end") << 2 << 5 << 1;
        QTest::newRow("no list") << 0 << 1 << 0;
    }

    void iconIndexRules()
    {
        QFETCH(int, icons);
        QFETCH(int, requested);
        QFETCH(int, shown);
        FakeTrayIcon tray;
        TCoolTrayIcon icon(tray);
        QList<QIcon> list;
        for (int i = 0; i < icons; ++i)
            list.append(QIcon(i == 0 ? ":/icons/tray0.svg" : ":/icons/tray1.svg"));
        icon.setIconList(list);
        const int changes = tray.iconChanges;
        icon.setIconIndex(requested);
        QCOMPARE(icon.iconIndex(), shown);
        QCOMPARE(tray.iconChanges, changes + 1);
        QCOMPARE(tray.hasIcon(), icons > 0);
    }

    void tooltipRules_data()
    {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("showHint");
        QTest::addColumn<QString>("tooltip");
        QTest::newRow("shown") << "Vellora" << true << "Vellora";
        QTest::newRow("not shown") << "Vellora" << false << "";
        QTest::newRow("empty") << "" << true << "";
        QTest::newRow("long") << QString(70, u'x') << true << QString(63, u'x');
    }

    void tooltipRules()
    {
        QFETCH(QString, hint);
        QFETCH(bool, showHint);
        QFETCH(QString, tooltip);
        FakeTrayIcon tray;
        TCoolTrayIcon icon(tray);
        icon.setHint(hint);
        icon.setShowHint(showHint);
        QCOMPARE(tray.toolTip(), tooltip);
    }

    void onlyTheFirstCopyStarts_data()
    {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<int>("raiseRequests");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("first copy") << 0 << true << 0 << QStringList{};
        QTest::newRow("later copy") << 1 << false << 1 << QStringList{};
        QTest::newRow("lock fails")
            << 2 << false << 0
            << QStringList{"Erreur: Unable to verify that Mutex already exists! An Exception was "
                           "raised with the message : /run/user/1000: Permission denied"};
    }

    void onlyTheFirstCopyStarts()
    {
        QFETCH(int, outcome);
        QFETCH(bool, starts);
        QFETCH(int, raiseRequests);
        QFETCH(QStringList, messages);
        ScriptedInstance instance;
        instance.outcome = ScriptedInstance::Claim(outcome);
        QCOMPARE(claimOnlyCopy(instance), starts);
        QCOMPARE(instance.raiseRequests, raiseRequests);
        QCOMPARE(m_prompts.messages(), messages);
    }

    // The whole start-up with the real windows: "Fermer Vellora" ends the event loop and the
    // icon leaves the notification area.
    void fermerVelloraEndsTheProgram_startUp()
    {
        FakeTrayIcon tray;
        ScriptedInstance instance;
        QTimer::singleShot(0, &tray, [&tray] {
            if (tray.contextMenu())
                tray.contextMenu()->actions().at(1)->trigger();
        });
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        giveUp.start(5000);
        QCOMPARE(runVellora(tray, instance), 0);
        QVERIFY(!tray.isVisible());
        QVERIFY(TF_Main::Quitting);
    }

    void generalErrorDisplayShowsTheMessage_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown");
        QTest::newRow("program failure") << 0 << "Erreur: 'abc' is not a valid integer value";
        QTest::newRow("library failure") << 1 << "Erreur: vector too long";
        QTest::newRow("anything else") << 2 << "Erreur: Erreur inattendue.";
    }

    // A failure that leaves a handler run by the event loop (here a queued call, as a timer or
    // a deferred click would be) reaches one "Erreur" box, and the program goes on.
    void generalErrorDisplayShowsTheMessage()
    {
        QFETCH(int, kind);
        QFETCH(QString, shown);
        QObject receiver;
        int afterwards = 0;
        QMetaObject::invokeMethod(
            &receiver,
            [kind] {
                if (kind == 0)
                    throw EVellora(QStringLiteral("'abc' is not a valid integer value"));
                if (kind == 1)
                    throw std::length_error("vector too long");
                throw 42;
            },
            Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            &receiver, [&afterwards] { ++afterwards; }, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        QCOMPARE(m_prompts.messages(), QStringList{shown});
        QCOMPARE(afterwards, 1);
    }
};

int main(int argc, char* argv[])
{
    VelloraApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
