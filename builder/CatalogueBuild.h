#pragma once

#include "BuildLog.h"
#include "CatalogueSettings.h"
#include "ConverterCommand.h"
#include "DocumentOutline.h"
#include "IndexGrid.h"
#include "ViewerConfig.h"

#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QProcess;
class QTimer;

namespace vellora {

// One catalogue build from the moment its page file is chosen: the configuration, the pages
// converted by a pool of converter processes, then the viewer files, the report of what failed
// and the launch. It works on a copy of everything it needs, so nothing the user edits while
// it runs can change it, and the event loop keeps running throughout.
class CatalogueBuild : public QObject
{
    Q_OBJECT
public:
    struct Plan
    {
        CatalogueSettings settings; // the snapshot taken when the build was started
        IndexGrid index;
        QString htmlFile; // absolute path of the catalogue page
        int pageCount = 0;
        ContentSize contentSize;
        // The true size of every page in points, from the converter's page listing; what is
        // missing is written as unknown into the catalogue's manifest.
        std::vector<std::optional<QSizeF>> pageSizes;
        QString appDataFolder; // the work folder (the state folder): its out.pdf is converted
        QString toolFolder;    // the converter's folder; empty: the one the program found
        QString viewerFolder;  // the viewer files' folder; empty: the one the program found
        QString logFile;
        // Catalogue page k is the document's page firstPage + k - 1 (a part of a document).
        int firstPage = 1;
        // A finished build opens the folder and the page on the desktop.
        bool launch = true;
        int parallel = 1; // conversions at a time
        std::chrono::milliseconds pageTimeLimit = std::chrono::minutes(10);
        std::chrono::milliseconds stopGrace = std::chrono::seconds(5);
    };

    enum class Outcome
    {
        Finished,  // every page ran; the folder is complete and was opened
        Stopped,   // an error stopped the build; it was reported, nothing was opened
        Cancelled, // the user stopped it; nothing was opened
    };
    Q_ENUM(Outcome)

    explicit CatalogueBuild(Plan plan, QObject* parent = nullptr);
    ~CatalogueBuild() override;

    // Makes the page's folder and those above it that are missing, writes the configuration,
    // then starts the first conversions and returns. Throws EVellora (and writes nothing else)
    // when the folder is the tool folder or the data folder, when it cannot be made, or when
    // the configuration cannot be written.
    //
    // Once every page is converted, what the previous build into the folder wrote and this one
    // did not is removed (the previous manifest's list, else the page files above the page
    // count); a build that stops, is cancelled or has failed pages removes nothing.
    void start();

    // Stops the running conversions (SIGTERM, so the converter removes its temporary files),
    // starts no more, keeps what was written, says that the catalogue is incomplete and opens
    // nothing.
    void cancel();

    bool isRunning() const { return m_started && !m_ended; }
    const BuildLog& log() const { return m_log; }
    const Plan& plan() const { return m_plan; }
    QString outputFolder() const { return m_outputFolder; }
    QList<int> failedPages() const;
    // Why each failed page failed, by catalogue page.
    const std::map<int, QString>& failures() const { return m_failed; }
    // The viewer files the viewer folder lacked at the end.
    const QStringList& missingViewerFiles() const { return m_missingViewerFiles; }
    const QString& viewerFolder() const { return m_viewerFolder; }
    int finishedPages() const { return m_finished; }

    // How the build reports what failed at its end (empty when nothing did).
    static QString failureReport(const std::map<int, QString>& failedPages,
                                 const QStringList& missingViewerFiles, const QString& toolFolder);
    // What a cancelled build says: how many of the pages were converted.
    static QString cancelledMessage(int convertedPages, int pageCount);

Q_SIGNALS:
    // Page `page` is about to be converted: the preview follows the build.
    void pageStarted(int page);
    // `finished` of `total` pages are done (converted or failed).
    void progressChanged(int finished, int total);
    // The build is over; emitted once, after its last report and after the launch.
    void ended(vellora::CatalogueBuild::Outcome outcome);

private:
    struct Conversion;

    void startMorePages();
    bool startPage(int page);
    void pageEnded(int page);
    void stopWithError(const QString& message);
    void endIfIdle();
    void readOutline();
    void outlineEnded();
    void stopOutline();
    void finishFolder();
    void end(Outcome outcome);
    ConverterFolders converterFolders() const { return {m_toolFolder, m_plan.appDataFolder}; }
    // The files of the folder this build wrote, besides the pages.
    QStringList writtenFiles(const QStringList& missingViewerFiles) const;

    Plan m_plan;
    QString m_outputFolder;
    QString m_toolFolder;
    QString m_viewerFolder;
    QStringList m_missingViewerFiles;
    BuildLog m_log;
    std::map<int, std::unique_ptr<Conversion>> m_running;
    std::map<int, QString> m_failed;      // page -> why
    QProcess* m_outlineProcess = nullptr; // after the pages: the reading direction and bookmarks
    QTimer* m_outlineLimit = nullptr;
    DocumentOutline m_outline;
    bool m_searchWritten = false;
    int m_nextPage = 1;
    int m_finished = 0;
    bool m_started = false;
    bool m_stopping = false;
    bool m_cancelled = false;
    bool m_ended = false;
    QString m_error;
    std::optional<QStringList> m_previousFiles; // the previous manifest's "files"
};

} // namespace vellora
