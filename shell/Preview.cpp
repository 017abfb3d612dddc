// The main window's preview of the print file: rendering it page by page into the page view,
// paging, and converting it into the working PDF.
#include "Bitmap.h"
#include "DocumentSnapshot.h"
#include "GhostScript.h"
#include "JobEvents.h"
#include "JobLog.h"
#include "Main.h"
#include "PageView.h"
#include "Paths.h"
#include "Prompts.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace vellora {

namespace {
const QString kConversionFailed = QStringLiteral(
    "Le document imprimé n'a pas pu être converti en PDF.\n"
    "Le fichier de travail a été supprimé : imprimez le document à nouveau avant de créer le "
    "prospectus.");
const QString kUnreadable = QStringLiteral(
    "Le document imprimé n'a pas pu être lu : son interprétation a échoué ou n'avançait plus "
    "et a été arrêtée.");
const QString kNoPage = QStringLiteral("Le document imprimé ne contient aucune page.");
const QString kWorkPdfRemoved = QStringLiteral(
    "Le fichier de travail a été supprimé : imprimez le document à nouveau avant de créer le "
    "prospectus.");

// The box for a run that failed in a way the user must hear of; empty when there is none.
QString failureText(TGhostScript::Failure failure)
{
    switch (failure) {
    case TGhostScript::Failure::Unreadable:
        return kUnreadable;
    case TGhostScript::Failure::NoPage:
        return kNoPage;
    default:
        return {};
    }
}
} // namespace

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

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

QString TF_Main::PagePositionText() const
{
    return u"Page" + QString::number(GS->CurrentPage()) + u'/' +
           QString::number(GS->GetPageCount());
}

void TF_Main::ShowDocument(std::function<void()> then)
{
    try {
        showDocumentOf(TDocumentSnapshot::Take(DocFile), std::move(then), true);
    } catch (...) {
    }
}

void TF_Main::showDocumentOf(std::shared_ptr<const TDocumentSnapshot> document,
                             std::function<void()> then, bool report)
{
    // The run empties the page list first; page 1 shows as soon as it exists. When the
    // conversion of the same document follows, it alone tells the user what went wrong.
    QElapsedTimer clock;
    clock.start();
    GS->Preview(document->path(), [this, document, then = std::move(then), report, clock](bool) {
        logCurrentJobEvent(jobevents::previewed(GS->GetPageCount(), clock.elapsed()));
        try {
            if (const QString text = failureText(GS->LastFailure()); report && !text.isEmpty())
                prompts().error(text);
            PreviewDone = true;
            setStatusText(0, PagePositionText());
            if (then)
                then();
        } catch (...) {
        }
    });
}

void TF_Main::Button1Click(std::function<void()> then)
{
    PreviewDone = false;
    try {
        DocFile = paths::PrintFile();
        // One copy serves the preview and the conversion: a job printed meanwhile cannot
        // slip its pages into this one.
        const auto document = TDocumentSnapshot::Take(DocFile);
        showDocumentOf(document, {}, false);
        convertDocument(document, std::move(then));
    } catch (...) {
    }
}

void TF_Main::Button2Click(std::function<void()> then)
{
    PreviewDone = false;
    try {
        DocFile = paths::PrintFile();
        convertDocument(TDocumentSnapshot::Take(DocFile), std::move(then));
    } catch (...) {
    }
}

void TF_Main::convertDocument(std::shared_ptr<const TDocumentSnapshot> document,
                              std::function<void()> then)
{
    // From the start of the conversion's run, not from the wait in the queue before it.
    const auto clock = std::make_shared<QElapsedTimer>();
    GS->ConvertToPdf(
        document->path(), paths::WorkPdf(),
        [this, document, then = std::move(then), clock](bool ok) {
            logConversion(ok, clock->isValid() ? clock->elapsed() : 0);
            try {
                if (!ok) {
                    const QString text = failureText(GS->LastFailure());
                    prompts().error(text.isEmpty() ? kConversionFailed
                                                   : text + u'\n' + kWorkPdfRemoved);
                }
                M_Log->appendPlainText(QStringLiteral("FINIESHED HERE"));
                if (then)
                    then();
            } catch (...) {
            }
        },
        [this, clock] {
            clock->start();
            PreviewDone = false;
        });
}

void TF_Main::logConversion(bool ok, qint64 elapsedMs)
{
    if (ok) {
        logCurrentJobEvent(jobevents::converted(QFileInfo(paths::WorkPdf()).size(), elapsedMs));
        return;
    }
    QString reason = GS->LastError();
    if (reason.isEmpty())
        reason = failureText(GS->LastFailure());
    logCurrentJobEvent(
        jobevents::conversionFailed(reason.isEmpty() ? QStringLiteral("raison inconnue") : reason));
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
    }
}

void TF_Main::BPreviousClick()
{
    try {
        GS->PreviousPage();
        setStatusText(0, PagePositionText());
    } catch (...) {
    }
}

} // namespace vellora
