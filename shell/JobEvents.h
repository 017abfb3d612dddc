#pragma once

#include "Prompts.h"
#include "builder/build/BuildOutcome.h"
#include "builder/dialogs/CatalogueBuilder.h"

#include <QString>

namespace vellora {

// The job log's French texts for what happens to a printout.
namespace jobevents {
QString taken();
QString previewed(int pages, qint64 elapsedMs);
QString converted(qint64 bytes, qint64 elapsedMs);
QString conversionFailed(const QString& reason);
QString built(const CatalogueBuilder::Summary& build, const BuildOutcome& outcome);
QString messageShown(const QString& caption, const QString& text);
} // namespace jobevents

// Shows every prompt through `shown` and writes each error box to the job log first, with the
// job Vellora holds (warnings, which ask for patience, are not events).
class LoggedPrompts final : public Prompts
{
public:
    explicit LoggedPrompts(Prompts& shown) : m_shown(shown) {}

    void message(const QString& caption, const QString& text) override;
    QString openFileName(const FileDialogRequest& request) override
    {
        return m_shown.openFileName(request);
    }
    QString saveFileName(const FileDialogRequest& request) override
    {
        return m_shown.saveFileName(request);
    }
    std::optional<QColor> chooseColor(const QColor& initial) override
    {
        return m_shown.chooseColor(initial);
    }

private:
    Prompts& m_shown;
};

} // namespace vellora
