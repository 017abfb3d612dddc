#include "builder/dialogs/CatalogueBuilder.h"

#include "Desktop.h"
#include "Errors.h"
#include "Paths.h"
#include "Prompts.h"
#include "builder/build/AtomicFile.h"
#include "builder/build/BuildChecks.h"
#include "builder/build/CatalogueManifest.h"
#include "builder/build/CountPages.h"
#include "builder/build/OutputFolder.h"
#include "builder/dialogs/Index.h"
#include "builder/dialogs/Options.h"
#include "builder/dialogs/PublicationDialog.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>

namespace vellora {

namespace {

const QString kPdfWarning =
    QStringLiteral("Le document que vous essayez d'imprimer est un document PDF\n"
                   ". Pour transformer un PDF en catalogue, indiquez l'emplacement du PDF");
const QString kPatienceWarning =
    QStringLiteral("La phase de création peut prendre quelques minutes.(comptez 10-20 "
                   "secondes/pages)\nVeuillez patienter.");

constexpr int kCancelWidth = 100;

QString firstSaveFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace

CatalogueBuilder::CatalogueBuilder(TForm1& form) : QObject(&form), m_form(form)
{
    setObjectName(QStringLiteral("CatalogueBuilder"));
    m_cancel = new QPushButton(QStringLiteral("Annuler"), form.PngSpeedButton1->parentWidget());
    m_cancel->setObjectName(QStringLiteral("Annuler"));
    m_cancel->setToolTip(QStringLiteral("Arrêter la création du catalogue"));
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, &CatalogueBuilder::cancel);
    form.installEventFilter(this);
}

CatalogueBuilder::~CatalogueBuilder() = default;

CatalogueBuilder& CatalogueBuilder::of(TForm1& form)
{
    if (auto* existing = form.findChild<CatalogueBuilder*>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    return *new CatalogueBuilder(form);
}

void CatalogueBuilder::PngSpeedButton1Click()
{
    if (m_busy)
        return; // one build at a time
    // Everything the build reads, as it stands now: later edits never change a running build.
    m_settings = m_form.settings();
    m_index = indexForm() ? indexForm()->grid() : IndexGrid::initial();
    m_summary = Summary();
    m_summary.preset = m_settings.preset;
    m_clock.start();
    if (!isValidQuality(m_settings.qualite)) {
        prompts().error(invalidQualityMessage(m_settings.qualite));
        Q_EMIT buildEnded(BuildOutcome::refusal(invalidQualityMessage(m_settings.qualite)));
        return;
    }
    if (const QString problem = m_form.publicationDialog()->addressProblem(); !problem.isEmpty()) {
        prompts().error(problem);
        Q_EMIT buildEnded(BuildOutcome::refusal(problem));
        return;
    }
    m_publication = m_form.publicationDialog()->publication();
    // Read now: a print job that arrives while the build waits for a preview must not switch
    // the path that the user chose by this click.
    m_fromPdf = m_form.host().pdfMode();
    m_cancelRequested = false;
    setBusy(true);
    m_form.host().holdPreviewRuns(
        [self = QPointer<CatalogueBuilder>(this)](BuildHost::BuildHold hold) {
            if (self)
                self->startWithHold(std::move(hold));
        });
}

void CatalogueBuilder::startWithHold(BuildHost::BuildHold hold)
{
    m_hold = std::move(hold);
    if (m_cancelRequested) {
        stopBeforeConverting(false);
        return;
    }
    if (m_fromPdf) {
        prompts().warning(kPdfWarning);
        const QString pdf = prompts().openFileName(m_form.OpenDialog1);
        m_summary.source = pdf;
        if (pdf.isEmpty() || !copyToWorkPdf(pdf)) {
            stopBeforeConverting(false);
            return;
        }
    }
    prompts().warning(kPatienceWarning);
    preparer_prospectusPDF();
}

bool CatalogueBuilder::copyToWorkPdf(const QString& pdf)
{
    const QString workPdf = paths::WorkPdf();
    if (isSameFile(pdf, workPdf))
        return true; // the working PDF itself: nothing to copy
    try {
        QFile source(pdf);
        if (!source.open(QIODevice::ReadOnly))
            throw EVellora(cannotOpenFileMessage(pdf));
        const QByteArray bytes = source.readAll();
        if (source.error() != QFileDevice::NoError)
            throw EVellora(cannotOpenFileMessage(pdf));
        QDir().mkpath(QFileInfo(workPdf).absolutePath());
        writeFileAtomically(workPdf, bytes, FileAccess::Private);
    } catch (const EVellora& error) {
        // Never go on with whatever document the working PDF still holds.
        prompts().error(error.message());
        return false;
    }
    return true;
}

void CatalogueBuilder::preparer_prospectusPDF()
{
    // The count runs like the conversions: the event loop goes on, and the build goes on
    // from the converter's answer.
    m_pageListing = new PageListingRun({}, this);
    m_pageListing->start([this](const PageListing& listing) { pageListingArrived(listing); });
}

void CatalogueBuilder::pageListingArrived(const PageListing& listing)
{
    m_pageListing->deleteLater();
    m_pageListing = nullptr;
    try {
        const int pages = pageCountShown(listing);
        // A picked PDF is not the printed document the preview holds: leave the preview alone.
        if (!m_fromPdf)
            m_form.host().previewSetPageCount(pages);
        m_form.setStartPageText(QStringLiteral("1"));
        m_form.setEndPageText(QString::number(pages));
        m_pageCount = pages;
        m_summary.pages = pages;
        // The page sizes come from the working PDF itself, whatever the preview last showed.
        m_listingText = listing.memoText();
        if (!creer_prospectusPDF()) {
            // The dialog of a printed document closes however the build ended.
            stopBeforeConverting(!m_fromPdf);
        }
    } catch (const EVellora& error) {
        // As the program's general error display would: the message, and the dialog stays.
        prompts().error(error.message());
        stopBeforeConverting(false, error.message());
    }
}

// The page count as the window reads it: Memo1 gets the listing, a converter that could not
// start gets a "RunCaptured Error" box, "Number Pages:" shows the number, and the number is
// returned (or EVellora thrown, see PageCountOf).
int CatalogueBuilder::pageCountShown(const PageListing& listing)
{
    const QString memo = listing.memoText();
    m_form.host().setMemoText(memo);
    if (!listing.timedOut) {
        if (const QString failure = startFailureMessage(listing); !failure.isEmpty())
            prompts().message(kRunCapturedCaption, failure);
        prompts().warning(u"Number Pages:" + PageCountText(memo));
    }
    return PageCountOf(listing);
}

bool CatalogueBuilder::creer_prospectusPDF()
{
    // The dialog's last page field holds the count (preparer_prospectusPDF put it there).
    const int pages = m_form.endPage->text().toInt() == 1 ? 1 : m_pageCount;
    if (const QString problem = pageCountProblem(pages); !problem.isEmpty()) {
        prompts().error(problem);
        return false;
    }
    FileDialogRequest request = m_form.host().saveDialogRequest();
    // The user's documents at first, never the folder the program happened to start in; then
    // the last page chosen, in its folder.
    const bool lastFolderThere =
        !m_lastHtmlFile.isEmpty() && QFileInfo(m_lastHtmlFile).absoluteDir().exists();
    request.initialPath = lastFolderThere ? m_lastHtmlFile : firstSaveFolder();
    const QString chosen = prompts().saveFileName(request);
    if (chosen.isEmpty())
        return false;
    const QString htmlFile = QFileInfo(chosen).absoluteFilePath();
    m_lastHtmlFile = htmlFile;
    m_summary.folder = QFileInfo(htmlFile).absolutePath();
    const QString name = QFileInfo(htmlFile).fileName();
    if (isReservedOutputName(name)) {
        prompts().error(reservedOutputNameMessage(name));
        return false;
    }

    CatalogueBuild::Plan plan =
        CatalogueBuild::planFor(m_settings, m_index, htmlFile, m_listingText, 1, m_pageCount);
    plan.publication = m_publication;
    auto* build = new CatalogueBuild(plan, this);
    m_build = build;
    connect(build, &CatalogueBuild::pageStarted, this, [this](int page) {
        if (!m_fromPdf)
            m_form.host().previewGoToPage(page);
    });
    connect(build, &CatalogueBuild::progressChanged, this, [this](int finished, int total) {
        m_form.ProgressBar1->setMaximum(std::max(total, 1));
        m_form.ProgressBar1->setValue(finished);
    });
    connect(build, &CatalogueBuild::finished, this, &CatalogueBuilder::buildFinished);
    m_form.ProgressBar1->setValue(0);
    m_form.ProgressBar1->setMaximum(std::max(m_pageCount, 1));
    placeCancelButton();
    m_cancel->show();
    try {
        build->start();
    } catch (...) {
        m_build = nullptr;
        build->deleteLater();
        m_cancel->hide();
        throw;
    }
    return true;
}

void CatalogueBuilder::cancel()
{
    if (!m_busy)
        return;
    m_cancelRequested = true;
    m_form.ProgressBar1->setValue(0);
    if (m_build)
        m_build->cancel();
}

void CatalogueBuilder::buildFinished(const BuildOutcome& outcome)
{
    if (outcome.result != BuildOutcome::Result::Refused)
        showOutcome(outcome);
    if (m_build) {
        m_build->deleteLater(); // it may still be on the stack of this signal
        m_build = nullptr;
    }
    m_cancel->hide();
    if (outcome.result == BuildOutcome::Result::Refused) {
        // As the program's general error display would: the message, and the dialog stays.
        prompts().error(outcome.error);
        return stopBeforeConverting(false, outcome.error);
    }
    m_hold.reset();
    setBusy(false);
    if (outcome.folderFinished())
        m_form.host().hideMainWindow();
    if (outcome.result == BuildOutcome::Result::Cancelled)
        m_form.ProgressBar1->setValue(0);
    if (!m_fromPdf)
        m_form.hide();
    m_summary.elapsedMs = m_clock.elapsed();
    Q_EMIT buildEnded(outcome);
}

// What failed, in a box, then the finished catalogue: the folder first, then the page, as the
// user expects them to appear.
void CatalogueBuilder::showOutcome(const BuildOutcome& outcome)
{
    const QString message = outcome.message();
    if (outcome.result == BuildOutcome::Result::Cancelled)
        prompts().warning(message);
    else if (!message.isEmpty())
        prompts().error(message);
    if (outcome.folderFinished() && m_build) {
        desktop().openFolder(m_build->outputFolder());
        desktop().openDocument(m_build->plan().htmlFile);
    }
}

void CatalogueBuilder::stopBeforeConverting(bool hideDialog, const QString& reason)
{
    m_hold.reset();
    setBusy(false);
    if (hideDialog)
        m_form.hide();
    m_summary.elapsedMs = m_clock.elapsed();
    Q_EMIT buildEnded(BuildOutcome::refusal(reason));
}

void CatalogueBuilder::setBusy(bool busy)
{
    m_busy = busy;
    m_form.PngSpeedButton1->setEnabled(!busy);
}

// "Annuler" takes the right end of the build button while a build runs.
void CatalogueBuilder::placeCancelButton()
{
    const QRect button = m_form.PngSpeedButton1->geometry();
    m_cancel->setGeometry(button.right() - kCancelWidth - 8,
                          button.top() + (button.height() - 30) / 2, kCancelWidth, 30);
    m_cancel->raise();
}

bool CatalogueBuilder::eventFilter(QObject* watched, QEvent* event)
{
    // The dialog lays its controls out in its own resize handler, which runs after this.
    if (watched == &m_form && event->type() == QEvent::Resize && m_cancel->isVisible())
        QTimer::singleShot(0, this, &CatalogueBuilder::placeCancelButton);
    return QObject::eventFilter(watched, event);
}

} // namespace vellora
