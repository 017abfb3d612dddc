#pragma once

#include "BuildHost.h"
#include "CatalogueBuild.h"
#include "CatalogueSettings.h"
#include "CountPages.h"
#include "IndexGrid.h"
#include "ViewerConfig.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QPushButton;

namespace vellora {

class TForm1;

// The catalogue build as the options dialog drives it: "Créér prospectus" (the build start,
// with its two paths for a printed document and a picked PDF), the page count and page range
// (preparer_prospectusPDF), the page file and the start of the conversions
// (creer_prospectusPDF), the progress bar, and the "Annuler" button while a build runs.
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

    // How many conversions run at once: one per core.
    static int conversionsAtOnce();

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
    // any conversion began.
    void buildEnded(vellora::CatalogueBuild::Outcome outcome);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startWithHold(BuildHost::BuildHold hold);
    void pageListingArrived(const PageListing& listing);
    bool copyToWorkPdf(const QString& pdf);
    void setBusy(bool busy);
    void placeCancelButton();
    void stopBeforeConverting(bool hideDialog);
    void buildEnded_(CatalogueBuild::Outcome outcome);

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
    IndexGrid m_index;
    int m_pageCount = 0;
    ContentSize m_contentSize;
    std::vector<std::optional<QSizeF>> m_pageSizes;
    QString m_lastHtmlFile; // the save dialog offers the last choice again
};

} // namespace vellora
