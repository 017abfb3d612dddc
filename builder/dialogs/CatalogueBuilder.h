#pragma once

#include "builder/build/CatalogueBuild.h"
#include "builder/build/CatalogueSettings.h"
#include "builder/build/CountPages.h"
#include "builder/build/IndexGrid.h"
#include "builder/build/ViewerConfig.h"
#include "builder/dialogs/BuildHost.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QPushButton;

namespace vellora {

class TForm1;

// The catalogue build as the options dialog drives it: "Créér prospectus" (the build start,
// with its two paths for a printed document and a picked PDF), the page count and page range
// (preparer_prospectusPDF), the page file and the start of the conversions
// (creer_prospectusPDF), the progress bar, the "Annuler" button while a build runs, and at the
// end the build's outcome as message boxes, then the folder and the page on the desktop.
// One build at a time; each works on a snapshot of the options taken when it starts.
class CatalogueBuilder : public QObject
{
    Q_OBJECT
public:
    explicit CatalogueBuilder(TForm1& form);
    ~CatalogueBuilder() override;

    // The builder of an options dialog, made on first use.
    static CatalogueBuilder& of(TForm1& form);

    // Reads PdfMode and the options at the click; the build goes on once preview runs asked for
    // before have finished.
    void PngSpeedButton1Click();
    // Starts the page count and returns; the build goes on from the converter's answer.
    void preparer_prospectusPDF();
    // Returns false when the build stops there.
    bool creer_prospectusPDF();

    // "Annuler": stops the running build.
    void cancel();

    bool isBusy() const { return m_busy; }
    CatalogueBuild* build() const { return m_build; }
    QPushButton* cancelButton() const { return m_cancel; }

    // What the last build was, for whoever records it when buildEnded comes.
    struct Summary
    {
        QString source; // the picked PDF; empty for the printed document (the working PDF)
        QString folder; // the catalogue's folder; empty when the build stopped before one
        int pages = 0;  // the document's page count, once known
        QualityPreset preset = QualityPreset::Medium;
        qint64 elapsedMs = 0;
    };
    const Summary& lastBuild() const { return m_summary; }

Q_SIGNALS:
    // A build has ended (after its reports and the launch), or a build start stopped before
    // any conversion began: Refused, with the reason the user was shown when it is at hand
    // (the user may also have backed out of a question).
    void buildEnded(const vellora::BuildOutcome& outcome);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startWithHold(BuildHost::BuildHold hold);
    void pageListingArrived(const PageListing& listing);
    int pageCountShown(const PageListing& listing);
    bool copyToWorkPdf(const QString& pdf);
    void setBusy(bool busy);
    void placeCancelButton();
    void stopBeforeConverting(bool hideDialog, const QString& reason = {});
    void buildFinished(const BuildOutcome& outcome);
    void showOutcome(const BuildOutcome& outcome);

    TForm1& m_form;
    Summary m_summary;
    QElapsedTimer m_clock;
    QPushButton* m_cancel = nullptr;
    QPointer<CatalogueBuild> m_build;
    PageListingRun* m_pageListing = nullptr;
    BuildHost::BuildHold m_hold;
    bool m_busy = false;
    bool m_cancelRequested = false;
    bool m_fromPdf = false;

    // What this build reads, copied when it starts.
    CatalogueSettings m_settings;
    Publication m_publication;
    IndexGrid m_index;
    int m_pageCount = 0;
    QString m_listingText;  // the converter's page listing: the sizes of the pages
    QString m_lastHtmlFile; // the save dialog offers the last choice again
};

} // namespace vellora
