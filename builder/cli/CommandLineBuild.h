#pragma once

#include "CommandLine.h"
#include "Progress.h"
#include "builder/build/CatalogueBuild.h"

#include <QObject>
#include <QPointer>
#include <QTemporaryDir>
#include <memory>

namespace vellora {
class TGhostScript;
}

namespace vellora::cli {

// One run of vellora-build: the document copied (a PDF) or turned into a PDF by the interpreter
// (PostScript) in a private work folder, then the application's own catalogue build on it,
// its progress and the build's outcome on standard error. Ends with done(status).
class CommandLineBuild : public QObject
{
    Q_OBJECT
public:
    explicit CommandLineBuild(BuildRequest request, QObject* parent = nullptr);
    ~CommandLineBuild() override;

    // Starts the run and returns; done() follows, possibly before start() returns.
    void start();

    // A stop signal arrived: stop the conversions, write nothing more, and end.
    void interrupt();
    bool interrupted() const { return m_interrupted; }

Q_SIGNALS:
    void done(int status);

private:
    bool checkInput();
    void inputReady();
    void startBuild(int documentPages, const QString& listing);
    void buildFinished(const BuildOutcome& outcome);
    // Prints one message line per line of `text`, after the progress bar's line.
    void printError(const QString& text);
    void fail(const QString& message, int status = 1);
    void end(int status);

    BuildRequest m_request;
    Progress m_progress;
    QTemporaryDir m_work;
    IndexGrid m_index;
    std::unique_ptr<TGhostScript> m_interpreter;
    QPointer<CatalogueBuild> m_build;
    bool m_converting = false; // the interpreter is writing the work PDF
    bool m_interrupted = false;
    bool m_ended = false;
};

} // namespace vellora::cli
