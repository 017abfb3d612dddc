// What a catalogue build asks of the main window's preview: the page list follows the build,
// and print-job runs wait while the build reads the working PDF.
#include "GhostScript.h"
#include "Main.h"

namespace vellora {

void TF_Main::previewSetPageCount(int count)
{
    if (GS)
        GS->SetPageCount(count);
}

void TF_Main::previewGoToPage(int page)
{
    if (GS)
        GS->GoToPage(page);
}

void TF_Main::holdPreviewRuns(std::function<void(BuildHold)> granted)
{
    if (!GS) {
        granted({});
        return;
    }
    GS->Queue().whenIdle([granted = std::move(granted)](TRunQueue::Hold hold) {
        granted(std::make_shared<TRunQueue::Hold>(std::move(hold)));
    });
}

} // namespace vellora
