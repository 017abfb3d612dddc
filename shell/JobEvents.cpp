#include "JobEvents.h"

#include "JobLog.h"

namespace vellora::jobevents {

namespace {

// "1,5 s": seconds with one decimal, written the French way.
QString seconds(qint64 elapsedMs)
{
    return QString::number(double(elapsedMs) / 1000.0, 'f', 1).replace(u'.', u',') +
           QStringLiteral(" s");
}

QString presetName(QualityPreset preset)
{
    switch (preset) {
    case QualityPreset::Low:
        return QStringLiteral("basse");
    case QualityPreset::Medium:
        return QStringLiteral("médiane");
    case QualityPreset::High:
        return QStringLiteral("haute");
    }
    return {};
}

QString outcomeName(const BuildOutcome& outcome)
{
    switch (outcome.result) {
    case BuildOutcome::Result::Succeeded:
        return QStringLiteral("réussie");
    case BuildOutcome::Result::Cancelled:
        return QStringLiteral("annulée");
    case BuildOutcome::Result::Failed:
        return QStringLiteral("échouée");
    case BuildOutcome::Result::Refused:
        return QStringLiteral("refusée");
    }
    return {};
}

} // namespace

QString taken()
{
    return QStringLiteral("travail pris");
}

QString previewed(int pages, qint64 elapsedMs)
{
    return QStringLiteral("aperçu : %1 page%2 en %3")
        .arg(pages)
        .arg(pages > 1 ? QStringLiteral("s") : QString())
        .arg(seconds(elapsedMs));
}

QString converted(qint64 bytes, qint64 elapsedMs)
{
    return QStringLiteral("conversion en PDF : %1 octets en %2").arg(bytes).arg(seconds(elapsedMs));
}

QString conversionFailed(const QString& reason)
{
    return QStringLiteral("conversion en PDF échouée : ") + reason;
}

QString built(const CatalogueBuilder::Summary& build, const BuildOutcome& outcome)
{
    QString text =
        QStringLiteral("création %1 : source %2, dossier %3, %4 pages, qualité %5, %6")
            .arg(outcomeName(outcome),
                 build.source.isEmpty() ? QStringLiteral("document imprimé") : build.source,
                 build.folder.isEmpty() ? QStringLiteral("aucun") : build.folder,
                 QString::number(build.pages), presetName(build.preset), seconds(build.elapsedMs));
    if (!outcome.failedPages.empty())
        text += QStringLiteral(", %1 pages en échec").arg(outcome.failedPages.size());
    if (!outcome.error.isEmpty())
        text += QStringLiteral(" (%1)").arg(outcome.error);
    return text;
}

QString messageShown(const QString& caption, const QString& text)
{
    return QStringLiteral("message « %1 » : %2").arg(caption, text);
}

} // namespace vellora::jobevents

namespace vellora {

void LoggedPrompts::message(const QString& caption, const QString& text)
{
    if (caption != kCaptionWarning)
        logCurrentJobEvent(jobevents::messageShown(caption, text));
    m_shown.message(caption, text);
}

} // namespace vellora
