#pragma once

#include "Prompts.h"

#include <QString>
#include <functional>
#include <memory>

namespace vellora {

// What the catalogue build needs of the main window, without depending on its widgets: the
// main window implements it, tests can stand in for it.
class BuildHost
{
public:
    virtual ~BuildHost() = default;

    // True when the next catalogue is built from a PDF that the user picks.
    virtual bool pdfMode() const = 0;

    // The main window's hidden text box Memo1, where the page count reads the converter's
    // output.
    virtual void setMemoText(const QString& text) = 0;
    virtual QString memoText() const = 0;
    virtual void appendMemoLine(const QString& line) = 0;

    // The question "where does the catalogue's HTML page go" (SaveDialog1's settings).
    virtual FileDialogRequest saveDialogRequest() const = 0;

    // Sends the main window back to the notification area once a catalogue is done.
    virtual void hideMainWindow() = 0;

    // The preview follows a build of a printed document: its page list gets the document's
    // page count, and it shows each page as its conversion starts. Without a preview, nothing.
    virtual void previewSetPageCount(int /*count*/) {}
    virtual void previewGoToPage(int /*page*/) {}

    // While a build reads WorkPdf, previews and conversions of print jobs must wait, or one of
    // them could replace WorkPdf under the build. Calls `granted` once every preview run asked
    // for before has finished (at once when none is running); runs asked for later wait until
    // the hold passed to `granted` is released. Without a preview queue, at once.
    using BuildHold = std::shared_ptr<void>;
    virtual void holdPreviewRuns(std::function<void(BuildHold)> granted) { granted({}); }

protected:
    BuildHost() = default;
    BuildHost(const BuildHost&) = default;
    BuildHost& operator=(const BuildHost&) = default;
};

} // namespace vellora
