#include "PrintFileRun.h"

#include "DocumentSnapshot.h"
#include "GhostScript.h"
#include "JobEvents.h"
#include "JobLog.h"
#include "Log.h"
#include "Paths.h"
#include "Prompts.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

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

TPrintFileRun::TPrintFileRun(TGhostScript& gs, Steps steps, QObject* parent)
    : QObject(parent), m_gs(gs), m_steps(steps)
{}

void TPrintFileRun::Start(const QString& file)
{
    m_clock.start();
    try {
        // Both steps read this one copy.
        const std::shared_ptr<const TDocumentSnapshot> document = TDocumentSnapshot::Take(file);
        if (m_steps != Steps::Conversion)
            preview(document);
        if (m_steps != Steps::Preview)
            convert(document);
    } catch (...) {
        logDroppedException(lcShell(), "print file run");
        // Whoever waits for the pass still hears that it is over.
        QTimer::singleShot(0, this, &TPrintFileRun::finished);
    }
}

// The run empties the page list first; page 1 shows as soon as it exists. When the conversion
// of the same document follows, it alone tells the user what went wrong.
void TPrintFileRun::preview(const std::shared_ptr<const TDocumentSnapshot>& document)
{
    QPointer<TPrintFileRun> self(this);
    const bool last = m_steps == Steps::Preview;
    m_gs.Preview(document->path(), [self, document, last](bool) {
        if (!self)
            return;
        logCurrentJobEvent(
            jobevents::previewed(self->m_gs.GetPageCount(), self->m_clock.elapsed()));
        try {
            if (const QString text = failureText(self->m_gs.LastFailure()); last && !text.isEmpty())
                prompts().error(text);
            Q_EMIT self->previewed();
        } catch (...) {
            logDroppedException(lcShell(), "preview of the print file");
        }
        if (last && self)
            Q_EMIT self->finished();
    });
}

void TPrintFileRun::convert(const std::shared_ptr<const TDocumentSnapshot>& document)
{
    QPointer<TPrintFileRun> self(this);
    m_gs.ConvertToPdf(
        document->path(), paths::WorkPdf(),
        [self, document](bool ok) {
            if (!self)
                return;
            self->logConversion(ok);
            try {
                if (!ok) {
                    const QString text = failureText(self->m_gs.LastFailure());
                    prompts().error(text.isEmpty() ? kConversionFailed
                                                   : text + u'\n' + kWorkPdfRemoved);
                }
                Q_EMIT self->converted();
            } catch (...) {
                logDroppedException(lcShell(), "conversion of the print file");
            }
            if (self)
                Q_EMIT self->finished();
        },
        [self] {
            if (!self)
                return;
            // From the start of the conversion's run, not from its wait in the queue.
            self->m_clock.start();
            Q_EMIT self->conversionStarted();
        });
}

void TPrintFileRun::logConversion(bool ok)
{
    if (ok) {
        logCurrentJobEvent(
            jobevents::converted(QFileInfo(paths::WorkPdf()).size(), m_clock.elapsed()));
        return;
    }
    QString reason = m_gs.LastError();
    if (reason.isEmpty())
        reason = failureText(m_gs.LastFailure());
    logCurrentJobEvent(
        jobevents::conversionFailed(reason.isEmpty() ? QStringLiteral("raison inconnue") : reason));
}

} // namespace vellora
