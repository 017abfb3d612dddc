#include "CatalogueBuilder.h"

#include "AtomicFile.h"
#include "BuildChecks.h"
#include "CatalogueManifest.h"
#include "CountPages.h"
#include "Errors.h"
#include "Index.h"
#include "Options.h"
#include "OutputFolder.h"
#include "Paths.h"
#include "Prompts.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
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

int CatalogueBuilder::conversionsAtOnce()
{
    return std::max(1, QThread::idealThreadCount());
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
        Q_EMIT buildEnded(CatalogueBuild::Outcome::Stopped);
        return;
    }
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
        const int pages = PageCountOf(
            listing, [this](const QString& memoText) { m_form.host().setMemoText(memoText); });
        // A picked PDF is not the printed document the preview holds: leave the preview alone.
        if (!m_fromPdf)
            m_form.host().previewSetPageCount(pages);
        m_form.setStartPageText(QStringLiteral("1"));
        m_form.setEndPageText(QString::number(pages));
        m_pageCount = pages;
        m_summary.pages = pages;
        // The page size comes from the working PDF itself, whatever the preview last showed.
        const QString listingText = listing.memoLines.join(QStringLiteral("\r\n"));
        m_contentSize = contentSizeFor(firstPageSizeFromListing(listingText));
        m_pageSizes = pageSizesFromListing(listingText, pages);
        if (!creer_prospectusPDF()) {
            // The dialog of a printed document closes however the build ended.
            stopBeforeConverting(!m_fromPdf);
        }
    } catch (const EVellora& error) {
        // As the program's general error display would: the message, and the dialog stays.
        prompts().error(error.message());
        stopBeforeConverting(false);
    }
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

    CatalogueBuild::Plan plan;
    plan.settings = m_settings;
    plan.index = m_index;
    plan.htmlFile = htmlFile;
    plan.pageCount = m_pageCount;
    plan.contentSize = m_contentSize;
    plan.pageSizes = m_pageSizes;
    plan.appDataFolder = paths::StateFolder(); // where the working PDF is
    plan.logFile = paths::BuildLogFile();
    plan.parallel = conversionsAtOnce();

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
    connect(build, &CatalogueBuild::ended, this, &CatalogueBuilder::buildEnded_);
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

void CatalogueBuilder::buildEnded_(CatalogueBuild::Outcome outcome)
{
    if (m_build) {
        m_build->deleteLater(); // it may still be on the stack of this signal
        m_build = nullptr;
    }
    m_cancel->hide();
    m_hold.reset();
    setBusy(false);
    if (outcome == CatalogueBuild::Outcome::Finished)
        m_form.host().hideMainWindow();
    if (outcome == CatalogueBuild::Outcome::Cancelled)
        m_form.ProgressBar1->setValue(0);
    if (!m_fromPdf)
        m_form.hide();
    m_summary.elapsedMs = m_clock.elapsed();
    Q_EMIT buildEnded(outcome);
}

void CatalogueBuilder::stopBeforeConverting(bool hideDialog)
{
    m_hold.reset();
    setBusy(false);
    if (hideDialog)
        m_form.hide();
    m_summary.elapsedMs = m_clock.elapsed();
    Q_EMIT buildEnded(CatalogueBuild::Outcome::Stopped);
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
