#include "Main.h"

#include "CoolTrayIcon.h"
#include "GhostScript.h"
#include "Log.h"
#include "ObjectName.h"
#include "PageView.h"
#include "PrintersMonitor.h"
#include "PrivateFolders.h"
#include "Resources.h"
#include "TrayIcon.h"
#include "WindowPlacement.h"
#include "builder/dialogs/Options.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vellora {

namespace {
// Client area of the window at 96 dots per inch (an outer size of 593 x 652).
constexpr QSize kClientSize(577, 614);
constexpr int kPanel1Height = 92;
constexpr int kPanel3Height = 46;
constexpr int kStatusHeight = 19;
constexpr int kMemoHeight = 89;
// A notification area that starts with the session may appear a moment after us.
constexpr int kTrayChecks = 10;
constexpr int kTrayCheckIntervalMs = 200;

QToolButton* glyphButton(QWidget* parent, const char* name, const QString& caption,
                         const QString& hint, const char* glyph, QRect geometry)
{
    auto* button = named(new QToolButton(parent), name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(QIcon(QStringLiteral(":/icons/") + QLatin1String(glyph)));
    button->setIconSize(QSize(64, 64));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setGeometry(geometry);
    return button;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* result = named(new QLabel(text, parent), name);
    result->move(left, top);
    result->adjustSize();
    return result;
}
} // namespace

TF_Main::TF_Main(TrayIcon& tray, QWidget* parent, StartMode mode) : QMainWindow(parent)
{
    initResources();
    setObjectName(QStringLiteral("F_Main"));
    setWindowTitle(QStringLiteral("Vellora"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/window.svg")));
    makeTrayIcon(tray);
    if (mode == StartMode::TrayFirst)
        CoolTrayIcon1->setIconIndex(1); // the image the creation steps give it
    startupStep("tray icon");
    if (mode == StartMode::Whole)
        ensureBuilt();
    QTimer::singleShot(0, this, [] {
        startupStep("event loop running");
        qCInfo(lcShell, "event loop running");
    });
    // Posted before any click or job can reach the window: they find it built.
    if (mode == StartMode::TrayFirst)
        QTimer::singleShot(0, this, [this] { ensureBuilt(); });
}

void TF_Main::ensureBuilt()
{
    if (m_built || Quitting)
        return;
    m_built = true;
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    makePanel1();
    makeImage();
    makePanel3();
    column->addWidget(Panel1);
    column->addWidget(Image, 1);
    column->addWidget(Panel3);
    setCentralWidget(client);
    makeStatusBar();
    makeLog();
    resize(kClientSize);
    startupStep("main window's controls");

    // The interpreter's private TMPDIR changes the process environment: do it before the
    // print monitor starts threads that read the environment.
    PrepareInterpreterEnvironment();
    FormCreate();
    QTimer::singleShot(0, this, [this] {
        // The start is over: the interpreter program for the first print job starts now.
        if (GS && !Quitting)
            GS->PrepareInterpreter();
    });
}

TF_Main::~TF_Main() = default;

void TF_Main::makePanel1()
{
    Panel1 = named(new QWidget, "Panel1");
    Panel1->setFixedHeight(kPanel1Height);
    Panel1->installEventFilter(this);
    Bopen = glyphButton(Panel1, "Bopen", QStringLiteral("Créer prospectus"),
                        QStringLiteral("Créer prosepctus à partir des documents"), "bopen.svg",
                        {0, 3, 153, 86});
    SpeedButton1 = glyphButton(Panel1, "SpeedButton1", QStringLiteral("Créer à partir du PDF"),
                               QStringLiteral("Créer prospectus à partir de PDF"), "pdf.svg",
                               {160, 3, 145, 86});
    Bopen->setCursor(Qt::PointingHandCursor);
    SpeedButton1->setCursor(Qt::PointingHandCursor);
    BNext = glyphButton(Panel1, "BNext", QStringLiteral("page suivants"),
                        QStringLiteral("Voir page suivante"), "next.svg", {379, 0, 97, 89});
    BPrevious =
        glyphButton(Panel1, "BPrevious", QStringLiteral("page précédente"),
                    QStringLiteral("Voir page précédente"), "previous.svg", {477, 0, 97, 89});
    connect(Bopen, &QToolButton::clicked, this, &TF_Main::BopenClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &TF_Main::SpeedButton1Click);
    connect(BNext, &QToolButton::clicked, this, &TF_Main::BNextClick);
    connect(BPrevious, &QToolButton::clicked, this, &TF_Main::BPreviousClick);

    // Never shown: the print-job intake presses them.
    Button1 = named(new QPushButton(QStringLiteral("Open File"), Panel1), "Button1");
    Button1->setGeometry(6, 96, 67, 25);
    Button1->hide();
    Button2 = named(new QPushButton(QStringLiteral("Button2"), Panel1), "Button2");
    Button2->setGeometry(80, 96, 73, 25);
    Button2->hide();
}

// "page suivants" and "page précédente" keep their distance from the right edge.
void TF_Main::placeRightButtons()
{
    const int right = Panel1->width() - (577 - (477 + 97));
    BPrevious->move(right - 97, 0);
    BNext->move(right - 97 - 1 - 97, 0);
}

bool TF_Main::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Panel1 && event->type() == QEvent::Resize)
        placeRightButtons();
    return QMainWindow::eventFilter(watched, event);
}

void TF_Main::makeImage()
{
    Image = named(new PageView, "Image");
    Memo1 = named(new QPlainTextEdit(Image), "Memo1");
    Memo1->setGeometry(0, 0, 0, kMemoHeight);
    Memo1->hide();
}

void TF_Main::makePanel3()
{
    Panel3 = named(new QWidget, "Panel3");
    Panel3->setFixedHeight(kPanel3Height);
    Label1 = label(Panel3, "Label1", QStringLiteral("Zoom"), 8, 16);
    Label2 = label(Panel3, "Label2", QStringLiteral("0%"), 64, 16);
    zoomtrack = named(new QSlider(Qt::Horizontal, Panel3), "zoomtrack");
    zoomtrack->setGeometry(88, 12, 241, 20);
    zoomtrack->setRange(1, 400);
    zoomtrack->setValue(10);
    zoomtrack->setTickInterval(10);
    zoomtrack->setTickPosition(QSlider::TicksBelow);
    Label3 = label(Panel3, "Label3", QStringLiteral("400%"), 336, 16);
    XiButton1 = named(new QPushButton(QStringLiteral("reset"), Panel3), "XiButton1");
    XiButton1->setGeometry(368, 12, 41, 18);
    connect(zoomtrack, &QSlider::valueChanged, this, &TF_Main::zoomtrackChange);
    connect(XiButton1, &QPushButton::clicked, this, &TF_Main::XiButton1Click);
}

void TF_Main::makeStatusBar()
{
    StatusBar1 = named(new QStatusBar, "StatusBar1");
    StatusBar1->setFixedHeight(kStatusHeight);
    const int widths[2] = {170, 150};
    for (int i = 0; i < 2; ++i) {
        m_statusPanels[i] = new QLabel(StatusBar1);
        m_statusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_statusPanels[i]->setFixedWidth(widths[i]);
        StatusBar1->addWidget(m_statusPanels[i]);
    }
    setStatusBar(StatusBar1);
}

void TF_Main::makeLog()
{
    M_Log = named(new QPlainTextEdit(this), "M_Log");
    M_Log->setFont(QFont(QStringLiteral("Courier New"), 10));
    M_Log->setLineWrapMode(QPlainTextEdit::NoWrap);
    M_Log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    M_Log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    M_Log->hide();
}

void TF_Main::makeTrayIcon(TrayIcon& tray)
{
    ImageList1 = {QIcon(QStringLiteral(":/icons/tray0.svg")),
                  QIcon(QStringLiteral(":/icons/tray1.svg"))};
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    OuvrirVellora1 = PopupMenu1->addAction(QStringLiteral("Ouvrir Vellora"));
    OuvrirVellora1->setObjectName(QStringLiteral("OuvrirVellora1"));
    FermerVellora1 = PopupMenu1->addAction(QStringLiteral("Fermer Vellora"));
    FermerVellora1->setObjectName(QStringLiteral("FermerVellora1"));
    connect(OuvrirVellora1, &QAction::triggered, this, &TF_Main::OuvrirVellora1Click);
    connect(FermerVellora1, &QAction::triggered, this, &TF_Main::FermerVellora1Click);

    CoolTrayIcon1 = new TCoolTrayIcon(tray, this);
    CoolTrayIcon1->setObjectName(QStringLiteral("CoolTrayIcon1"));
    CoolTrayIcon1->setIconList(ImageList1);
    CoolTrayIcon1->setHint(QStringLiteral("Vellora"));
    CoolTrayIcon1->setShowHint(true);
    CoolTrayIcon1->setPopupMenu(PopupMenu1);
    connect(CoolTrayIcon1, &TCoolTrayIcon::Click, this, &TF_Main::CoolTrayIcon1Click);
    connect(CoolTrayIcon1, &TCoolTrayIcon::DblClick, this, &TF_Main::CoolTrayIcon1DblClick);
    CoolTrayIcon1->AddTrayIcon();
}

// Each step leaves what it set when a later one fails; a failure ends the steps quietly and
// start-up goes on.
void TF_Main::FormCreate()
{
    try {
        zoomtrack->setValue(50);
        zoomtrackChange();

        m_intake.Reset();

        makeMonitor();
        startupStep("print-queue monitor");

        CoolTrayIcon1->setIconIndex(1);

        CreateGhostScript();
        startupStep("interpreter component");

        collapseToTray();
        startupStep("hidden to the notification area");
    } catch (...) {
        logDroppedException(lcShell(), "FormCreate");
    }
}

void TF_Main::collapseToTray()
{
    if (CoolTrayIcon1->tray().isSystemTrayAvailable()) {
        m_trayHost = true;
        HideMainWindow();
        qCInfo(lcShell, "main window created, tray icon set");
        return;
    }
    qCInfo(lcShell, "main window created, waiting for a notification area");
    waitForTrayHost();
}

// Without a notification area the program could never be reached: give one a moment to
// appear, then show the window instead (and let closing it end the program).
void TF_Main::waitForTrayHost()
{
    m_trayWait = new QTimer(this);
    m_trayWait->setInterval(kTrayCheckIntervalMs);
    connect(m_trayWait, &QTimer::timeout, this, [this] {
        if (CoolTrayIcon1->tray().isSystemTrayAvailable()) {
            m_trayWait->stop();
            m_trayHost = true;
            CoolTrayIcon1->AddTrayIcon();
            qCInfo(lcShell, "notification area appeared, tray icon set");
        } else if (++m_trayChecks >= kTrayChecks) {
            m_trayWait->stop();
            qCInfo(lcShell, "no notification area, showing the main window");
            OpenMainWindow();
        }
    });
    m_trayWait->start();
}

void TF_Main::OpenMainWindow()
{
    ensureBuilt();
    if (!m_centred) {
        m_centred = true;
        centreOnScreen(this);
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    // A printout whose completion signal was lost is found now rather than never.
    if (Monitor)
        Monitor->Reconcile();
}

void TF_Main::HideMainWindow()
{
    if (m_trayHost) {
        hide();
        return;
    }
    // Without a notification area a hidden window could never be found again: it goes down to
    // the taskbar instead, where the user (or a second start of the program) gets it back.
    if (isVisible())
        showMinimized();
}

void TF_Main::RaiseFromOtherCopy()
{
    qCInfo(lcShell, "raise request received");
    if (!isVisible())
        return;
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void TF_Main::BopenClick()
{
    if (!Form1)
        return;
    Form1->show();
    Form1->raise();
    Form1->activateWindow();
}

void TF_Main::SpeedButton1Click()
{
    PdfMode = true;
    BopenClick();
}

void TF_Main::zoomtrackChange()
{
    Image->setScale(zoomtrack->value() / 100.0);
    setStatusText(1, QString::number(zoomtrack->value()) + u'%');
}

void TF_Main::XiButton1Click()
{
    Image->setScale(1.0);
    // Back at 50 whatever the position was, also when the track already stood there.
    if (zoomtrack->value() == 50)
        zoomtrackChange();
    else
        zoomtrack->setValue(50);
}

void TF_Main::FermerVellora1Click()
{
    Quitting = true;
    // A run in progress stops at its next page or piece of input; its instance goes once.
    if (GS)
        GS->Shutdown();
    close();
}

void TF_Main::closeEvent(QCloseEvent* event)
{
    FormClose(event);
}

void TF_Main::FormClose(QCloseEvent* event)
{
    if (!Quitting && m_trayHost) {
        event->ignore();
        try {
            HideMainWindow();
        } catch (...) {
            logDroppedException(lcShell(), "FormClose");
        }
        return;
    }
    event->accept();
    qCInfo(lcShell, "program ending");
    Q_EMIT programEnding();
}

void TF_Main::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_trayHost)
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                HideMainWindow();
        });
}

QString TF_Main::statusText(int panel) const
{
    return m_statusPanels[panel]->text();
}
void TF_Main::setStatusText(int panel, const QString& text)
{
    m_statusPanels[panel]->setText(text);
}

void TF_Main::setMemoText(const QString& text)
{
    Memo1->setPlainText(text);
}
QString TF_Main::memoText() const
{
    return Memo1->toPlainText();
}
void TF_Main::appendMemoLine(const QString& line)
{
    Memo1->appendPlainText(line);
}

} // namespace vellora
