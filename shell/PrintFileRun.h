#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

namespace vellora {

class TDocumentSnapshot;
class TGhostScript;

// One pass of the print file through the main window's interpreter component, from one private
// copy of the file taken when the pass starts: its preview, its conversion into the working
// PDF, or the preview and then the conversion. A job printed meanwhile cannot slip its pages
// into this one. Runs wait their turn in the component's queue.
//
// `finished` comes once, after the last step, also when a step failed or the pass could not
// start; a pass that the end of the program stops never finishes.
class TPrintFileRun : public QObject
{
    Q_OBJECT
public:
    enum class Steps
    {
        Preview,
        Conversion,
        PreviewThenConversion,
    };

    TPrintFileRun(TGhostScript& gs, Steps steps, QObject* parent = nullptr);

    void Start(const QString& file);

Q_SIGNALS:
    // The preview's run ended; the pages it rendered are in the component's page list.
    void previewed();
    void conversionStarted();
    // The conversion's run ended: the working PDF is written, or removed after a failure.
    void converted();
    void finished();

private:
    void preview(const std::shared_ptr<const TDocumentSnapshot>& document);
    void convert(const std::shared_ptr<const TDocumentSnapshot>& document);
    void logConversion(bool ok);

    TGhostScript& m_gs;
    Steps m_steps;
    QElapsedTimer m_clock; // for the job log: since the start, then since the conversion's
};

} // namespace vellora
