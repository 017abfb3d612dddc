#pragma once

#include "JobIntake.h"
#include "Paths.h"
#include "PrintFileRun.h"
#include "Prompts.h"
#include "builder/dialogs/BuildHost.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QStatusBar;
class QTimer;
class QToolButton;
class QWidget;

namespace vellora {

class PageView;
class TBitmap;
class TCoolTrayIcon;
class TForm1;
class TGhostScript;
class TJobInformation;
class TPrintersMonitor;
class TrayIcon;

// The main window "Vellora" (F_Main). It lives in the notification area for the whole run:
// closing or minimising it sends it back there, and only the tray menu's "Fermer Vellora" ends
// the program. Where the desktop has no notification area, the window shows at start and
// closing it ends the program, since a hidden window could never be reached again.
class TF_Main : public QMainWindow, public BuildHost
{
    Q_OBJECT
public:
    // How much of the window is made before the event loop runs. Whole: everything, as a
    // window made for itself needs. TrayFirst: only the tray icon and its menu, the rest on
    // the loop's first turn, so that the program sits in the notification area at once (the
    // controls' fonts and the monitor's threads take longer than all of Qt's own start).
    enum class StartMode
    {
        Whole,
        TrayFirst,
    };
    explicit TF_Main(TrayIcon& tray, QWidget* parent = nullptr, StartMode mode = StartMode::Whole);
    ~TF_Main() override;

    // The options dialog that the two create buttons show.
    void setOptionsDialog(TForm1* form) { Form1 = form; }
    TForm1* optionsDialog() const { return Form1; }

    // Makes the controls and runs the creation steps, unless that was done already or the
    // program is ending. Everything that needs the controls calls it first.
    void ensureBuilt();

    void OpenMainWindow();
    void HideMainWindow();

    // The print-job intake: the handler of the monitor's three events.
    void JobNotify(const TJobInformation& aJobinformation);

    // The status bar's two panels: 0 the page position, 1 the zoom.
    QString statusText(int panel) const;
    void setStatusText(int panel, const QString& text);

    // True once the notification area is known to be there; false while waiting for it and
    // when the desktop has none.
    bool hasTrayHost() const { return m_trayHost; }

    // BuildHost
    bool pdfMode() const override { return PdfMode; }
    void setMemoText(const QString& text) override;
    QString memoText() const override;
    void appendMemoLine(const QString& line) override;
    FileDialogRequest saveDialogRequest() const override { return SaveDialog1; }
    void hideMainWindow() override { HideMainWindow(); }
    void previewSetPageCount(int count) override;
    void previewGoToPage(int page) override;
    void holdPreviewRuns(std::function<void(BuildHold)> granted) override;

    // Fields.
    TPrintersMonitor* Monitor = nullptr; // owned by the window (a child object)
    TGhostScript* GS = nullptr;          // lives until the process ends
    QString DocFile;
    bool PdfMode = false;
    bool PreviewDone = false;

    // State shared by the whole program (one copy in the process).
    static inline bool FirstJob = false;
    static inline std::uint32_t LastJobId = 0;
    static inline bool Quitting = false;
    static inline TakenJobs TakenJobIds;

    // Controls, under the names the rest of the program knows them by.
    QWidget* Panel1;
    QToolButton* Bopen;
    QToolButton* SpeedButton1;
    QToolButton* BNext;
    QToolButton* BPrevious;
    QPushButton* Button1; // hidden: preview and conversion of the print file
    QPushButton* Button2; // hidden: conversion of the print file to PDF
    PageView* Image;
    QPlainTextEdit* Memo1; // hidden: the converter's captured output
    QWidget* Panel3;
    QLabel* Label1;
    QLabel* Label2;
    QSlider* zoomtrack;
    QLabel* Label3;
    QPushButton* XiButton1;
    QStatusBar* StatusBar1;
    QPlainTextEdit* M_Log; // hidden log
    TCoolTrayIcon* CoolTrayIcon1;
    QMenu* PopupMenu1;
    QAction* OuvrirVellora1;
    QAction* FermerVellora1;
    QList<QIcon> ImageList1;
    TBitmap* ImageBitmap = nullptr; // the page view's bitmap, GS's ViewBitmap
    const FileDialogRequest SaveDialog1{QStringLiteral("Vellora"),
                                        QStringLiteral("*.htm;*.html (*.htm *.html);;*.* (*)"),
                                        QStringLiteral("htm"), QString()};

    // The preview of the print file (Preview.cpp). Interpreter runs happen on GS's worker
    // thread, one after another; each routine starts one pass over the print file and returns
    // it, owned by the window until it has said `finished`.
    //
    // ShowDocument renders DocFile and shows the page position; Button1Click previews the
    // print file and then converts it into WorkPdf, both from one private copy of it taken at
    // the click, and logs "FINIESHED HERE" in M_Log; Button2Click converts the print file alone.
    TPrintFileRun* ShowDocument();
    TPrintFileRun* Button1Click();
    TPrintFileRun* Button2Click();
    void GSPageGenerated(int Page);
    void GSResizePage(QObject* Sender);
    void GSInput(QByteArray& Value, int len);
    void GSOutput(QByteArray& Value, int len);
    void GSError(QByteArray& Value, int len);
    // "Page" n "/" N.
    QString PagePositionText() const;

public Q_SLOTS:
    void FormCreate();
    void BNextClick();
    void BPreviousClick();
    void BopenClick();
    void SpeedButton1Click();
    void zoomtrackChange();
    void XiButton1Click();
    void CoolTrayIcon1Click() { OpenMainWindow(); }
    void CoolTrayIcon1DblClick() { OpenMainWindow(); }
    void OuvrirVellora1Click() { OpenMainWindow(); }
    void FermerVellora1Click();
    // Another copy of the program was started: a visible window comes to the front; one
    // hidden in the notification area stays hidden.
    void RaiseFromOtherCopy();

Q_SIGNALS:
    // The window closed for good ("Fermer Vellora", or any close without a notification
    // area): the program ends.
    void programEnding();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makePanel1();
    void makeImage();
    void makePanel3();
    void makeStatusBar();
    void makeLog();
    void makeTrayIcon(TrayIcon& tray);
    void makeMonitor();
    void takeOrdinaryDocument();
    void takePdfDocument();
    void placeRightButtons();
    void collapseToTray();
    void waitForTrayHost();
    void FormClose(QCloseEvent* event);
    void CreateGhostScript();
    TPrintFileRun* startRun(TPrintFileRun::Steps steps);

    TForm1* Form1 = nullptr;
    TJobIntake m_intake{paths::CurrentUserName(), FirstJob, LastJobId, TakenJobIds};
    QLabel* m_statusPanels[2] = {};
    QTimer* m_trayWait = nullptr;
    int m_trayChecks = 0;
    bool m_trayHost = false;
    bool m_centred = false;
    bool m_built = false;
};

} // namespace vellora
