// The main window's preview of the print file: rendering it page by page into the page view,
// paging, and converting it into the working PDF.
#include "Bitmap.h"
#include "GhostScript.h"
#include "Log.h"
#include "Main.h"
#include "PageView.h"
#include "Paths.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace vellora {

// Creation step 5: the interpreter component at 120 dots per inch, drawing into the page
// view, with the preview's handlers.
void TF_Main::CreateGhostScript()
{
    GS = new TGhostScript(this);
    ImageBitmap = new TBitmap(this);
    connect(ImageBitmap, &TBitmap::changed, this,
            [this] { Image->setBitmap(ImageBitmap->image()); });
    GS->SetViewBitmap(ImageBitmap);

    // The interpreter's events are shared by the whole process; they reach this window only
    // while it exists.
    QPointer<TF_Main> self(this);
    TGhostScript::SetOnPageGenerated([self](int page) {
        if (self)
            self->GSPageGenerated(page);
    });
    TGhostScript::SetOnInput([self](QByteArray& value, int len) {
        if (self)
            self->GSInput(value, len);
    });
    TGhostScript::SetOnOutput([self](QByteArray& value, int len) {
        if (self)
            self->GSOutput(value, len);
    });
    TGhostScript::SetOnError([self](QByteArray& value, int len) {
        if (self)
            self->GSError(value, len);
    });
    GS->OnResizePage = [this](QObject* sender) {
        GSResizePage(sender);
    };
    GS->SetResolution(120);

    connect(Button1, &QPushButton::clicked, this, &TF_Main::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TF_Main::Button2Click);
}

QString TF_Main::PagePositionText() const
{
    return u"Page" + QString::number(GS->CurrentPage()) + u'/' +
           QString::number(GS->GetPageCount());
}

// The pass keeps the window's state in step: PreviewDone and the page position once the
// preview has run, PreviewDone cleared when the conversion starts, and the log line after it.
TPrintFileRun* TF_Main::startRun(TPrintFileRun::Steps steps)
{
    ensureBuilt();
    auto* run = new TPrintFileRun(*GS, steps, this);
    connect(run, &TPrintFileRun::previewed, this, [this] {
        PreviewDone = true;
        setStatusText(0, PagePositionText());
    });
    connect(run, &TPrintFileRun::conversionStarted, this, [this] { PreviewDone = false; });
    connect(run, &TPrintFileRun::converted, this,
            [this] { M_Log->appendPlainText(QStringLiteral("FINIESHED HERE")); });
    connect(run, &TPrintFileRun::finished, run, &QObject::deleteLater);
    run->Start(DocFile);
    return run;
}

TPrintFileRun* TF_Main::ShowDocument()
{
    return startRun(TPrintFileRun::Steps::Preview);
}

TPrintFileRun* TF_Main::Button1Click()
{
    PreviewDone = false;
    DocFile = paths::PrintFile();
    return startRun(TPrintFileRun::Steps::PreviewThenConversion);
}

TPrintFileRun* TF_Main::Button2Click()
{
    PreviewDone = false;
    DocFile = paths::PrintFile();
    return startRun(TPrintFileRun::Steps::Conversion);
}

void TF_Main::GSPageGenerated(int Page)
{
    if (Page == 1 && !PreviewDone)
        GS->FirstPage();
}

void TF_Main::GSResizePage(QObject*)
{
    Image->setPageSize(QSize(GS->PageWidth(), GS->PageHeight()));
}

void TF_Main::GSInput(QByteArray& Value, int)
{
    Value.clear();
}

// The interpreter's messages are not shown.
void TF_Main::GSOutput(QByteArray&, int) {}

void TF_Main::GSError(QByteArray&, int) {}

void TF_Main::BNextClick()
{
    try {
        GS->NextPage();
        setStatusText(0, PagePositionText());
    } catch (...) {
        logDroppedException(lcShell(), "BNextClick");
    }
}

void TF_Main::BPreviousClick()
{
    try {
        GS->PreviousPage();
        setStatusText(0, PagePositionText());
    } catch (...) {
        logDroppedException(lcShell(), "BPreviousClick");
    }
}

} // namespace vellora
