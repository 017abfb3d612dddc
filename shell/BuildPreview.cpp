// What a catalogue build asks of the main window's preview: the page list follows the build,
// and print-job runs wait while the build reads the working PDF.
#include "GhostScript.h"
#include "Main.h"

namespace vellora {

// The status bar always names the page the view shows, also while a build moves it.
void TF_Main::previewSetPageCount(int count)
{
    if (!GS)
        return;
    // A shorter list must not leave the view on a page that is no longer in it.
    if (count <= 0)
        GS->ClearPages();
    GS->SetPageCount(count);
    if (GS->CurrentPage() > count)
        GS->GoToPage(count);
    setStatusText(0, PagePositionText());
}

void TF_Main::previewGoToPage(int page)
{
    if (!GS)
        return;
    GS->GoToPage(page);
    setStatusText(0, PagePositionText());
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
