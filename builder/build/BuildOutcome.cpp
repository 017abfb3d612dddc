#include "builder/build/BuildOutcome.h"

namespace vellora {

namespace {
constexpr int kReasonsShown = 5;
}

QString BuildOutcome::message() const
{
    switch (result) {
    case Result::Succeeded:
        return {};
    case Result::Cancelled:
        return cancelledMessage(convertedPages, pageCount);
    case Result::Failed:
        return error.isEmpty() ? failureReport(failedPages, missingViewerFiles, viewerFolder)
                               : error;
    case Result::Refused:
        return error;
    }
    return {};
}

QString BuildOutcome::cancelledMessage(int convertedPages, int pageCount)
{
    return QStringLiteral("La création du catalogue a été annulée : le catalogue est incomplet "
                          "(%1 %2 sur %3).")
        .arg(convertedPages)
        .arg(convertedPages > 1 ? QStringLiteral("pages") : QStringLiteral("page"))
        .arg(pageCount);
}

QString BuildOutcome::failureReport(const std::map<int, QString>& failedPages,
                                    const QStringList& missingViewerFiles,
                                    const QString& viewerFolder)
{
    QStringList parts;
    if (!failedPages.empty()) {
        QStringList numbers;
        QStringList reasons;
        for (const auto& [page, reason] : failedPages) {
            numbers.append(QString::number(page));
            if (reasons.size() < kReasonsShown)
                reasons.append(QStringLiteral("page %1 : %2").arg(page).arg(reason));
        }
        if (int(failedPages.size()) > kReasonsShown)
            reasons.append(QStringLiteral("…"));
        parts.append((failedPages.size() == 1
                          ? QStringLiteral("Cette page n'a pas pu être convertie : %1.")
                          : QStringLiteral("Ces pages n'ont pas pu être converties : %1."))
                         .arg(numbers.join(QStringLiteral(", "))) +
                     u'\n' + reasons.join(u'\n'));
    }
    if (!missingViewerFiles.isEmpty()) {
        parts.append(QStringLiteral("Fichiers du visualiseur absents de %1 : %2. Le catalogue "
                                    "ne pourra pas s'afficher.")
                         .arg(viewerFolder, missingViewerFiles.join(QStringLiteral(", "))));
    }
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace vellora
