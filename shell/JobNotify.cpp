// The intake of print jobs: a completed job on the printer "vellora" opens the main window
// with the printed document.
#include "GhostScript.h"
#include "JobEvents.h"
#include "JobLog.h"
#include "Main.h"
#include "Options.h"
#include "Paths.h"
#include "PrintersMonitor.h"

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
    try {
        const QString status = JobStatusName(aJobinformation.Status).toLower();
        if (aJobinformation.PrinterName.toLower() != QLatin1String("vellora"))
            return;
        if (status != QLatin1String("jscompleted"))
            return;
        // Another user's printout never opens in this window.
        if (aJobinformation.UserName != paths::CurrentUserName())
            return;
        const bool pdfDocument =
            aJobinformation.DocumentName.toLower().contains(QLatin1String(".pdf"));
        PdfMode = false;
        if (pdfDocument)
            PdfMode = true;

        // Each job is taken once, also when an earlier job is reported again later.
        if (!FirstJob && TakenJobIds.contains(aJobinformation.JobId, aJobinformation.JobKey))
            return;
        FirstJob = false;
        M_Log->appendPlainText(QStringLiteral("CLICKED "));
        LastJobId = aJobinformation.JobId;
        TakenJobIds.remember(aJobinformation.JobId, aJobinformation.JobKey);
        if (JobLog* log = JobLog::instance())
            log->setCurrentJob(
                {aJobinformation.JobId, aJobinformation.JobKey, aJobinformation.DocumentName});
        logCurrentJobEvent(jobevents::taken());

        OpenMainWindow();
        if (!pdfDocument)
            takeOrdinaryDocument();
        else
            takePdfDocument();
    } catch (...) {
    }
}

} // namespace vellora

namespace vellora {

// An ordinary document: preview the print file, convert it into the working PDF, and offer its
// pages to the options dialog once the conversion has finished.
void TF_Main::takeOrdinaryDocument()
{
    Button1Click([this] {
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
    ShowDocument([this] { GS->SetResolution(72); });
}

} // namespace vellora
