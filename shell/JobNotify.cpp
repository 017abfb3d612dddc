// The intake of print jobs: a completed job on the printer "vellora" opens the main window
// with the printed document.
#include "GhostScript.h"
#include "JobEvents.h"
#include "JobLog.h"
#include "Log.h"
#include "Main.h"
#include "Paths.h"
#include "PrintersMonitor.h"
#include "builder/dialogs/Options.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace vellora {

void TF_Main::makeMonitor()
{
    Monitor = new TPrintersMonitor(this);
    const TJobEvent intake = [this](const TJobInformation& job) {
        JobNotify(job);
    };
    Monitor->OnNewJob = intake;
    Monitor->OnJobChange = intake;
    Monitor->OnJobComplete = intake;
    Monitor->SetActive(true);
}

void TF_Main::JobNotify(const TJobInformation& aJobinformation)
{
    ensureBuilt();
    if (!m_built)
        return; // the program is ending
    try {
        const TJobIntake::Decision decision = m_intake.Consider(aJobinformation);
        if (decision.ours)
            PdfMode = decision.pdf;
        if (!decision.take)
            return;
        M_Log->appendPlainText(QStringLiteral("CLICKED "));
        if (JobLog* log = JobLog::instance())
            log->setCurrentJob(
                {aJobinformation.JobId, aJobinformation.JobKey, aJobinformation.DocumentName});
        logCurrentJobEvent(jobevents::taken());
        OpenMainWindow();
        if (!decision.pdf)
            takeOrdinaryDocument();
        else
            takePdfDocument();
    } catch (...) {
        logDroppedException(lcShell(), "JobNotify");
    }
}

} // namespace vellora

namespace vellora {

// An ordinary document: preview the print file, convert it into the working PDF, and offer its
// pages to the options dialog once the conversion has finished.
void TF_Main::takeOrdinaryDocument()
{
    connect(Button1Click(), &TPrintFileRun::finished, this, [this] {
        if (Form1)
            Form1->endPage->setText(QString::number(GS->GetPageCount()));
    });
}

// A PDF printed to the virtual printer: the build asks for the PDF file itself, so the print
// file is only previewed, and later previews are drawn at 72 dots per inch. The working PDF
// is left alone: starting and ending the PDF writer with no file run would replace it with a
// blank page.
void TF_Main::takePdfDocument()
{
    PdfMode = true;
    PreviewDone = false;
    DocFile = paths::PrintFile();
    connect(ShowDocument(), &TPrintFileRun::finished, this, [this] { GS->SetResolution(72); });
}

} // namespace vellora
