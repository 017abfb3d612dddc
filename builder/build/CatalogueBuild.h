#pragma once

#include "builder/build/BuildLog.h"
#include "builder/build/BuildOutcome.h"
#include "builder/build/CatalogueSettings.h"
#include "builder/build/ConverterCommand.h"
#include "builder/build/DocumentOutline.h"
#include "builder/build/IndexGrid.h"
#include "builder/build/Publication.h"
#include "builder/build/StaleFiles.h"
#include "builder/build/ViewerConfig.h"

#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QProcess;
class QTimer;

namespace vellora {

// One catalogue build from the moment its page file is chosen: the configuration, the pages
// converted by a pool of converter processes, then the viewer files and the manifest. It tells
// nobody anything itself: its finished signal carries the outcome, which the window and the
// command line each present in their own way. It works on a copy of everything it needs, so
// nothing the user edits while it runs can change it, and the event loop keeps running
// throughout.
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
        // The publication address and the PDF copy.
        Publication publication;
        // Catalogue page k is the document's page firstPage + k - 1 (a part of a document).
        int firstPage = 1;
        int parallel = 1; // conversions at a time
        std::chrono::milliseconds pageTimeLimit = std::chrono::minutes(10);
        std::chrono::milliseconds stopGrace = std::chrono::seconds(5);
    };

    // The plan of a build of `pageCount` catalogue pages from the document's page `firstPage`,
    // with the options and index as they stand, sized from the converter's page listing: the
    // window's build and the command line's alike. It converts into the program's work folder,
    // logs into its build log and runs one conversion per core; the caller may change those.
    static Plan planFor(const CatalogueSettings& settings, const IndexGrid& index,
                        const QString& htmlFile, const QString& pageListing, int firstPage,
                        int pageCount);

    // How many conversions run at once by default: one per core.
    static int conversionsAtOnce();

    explicit CatalogueBuild(Plan plan, QObject* parent = nullptr);
    ~CatalogueBuild() override;

    // Makes the page's folder and those above it that are missing, writes the configuration,
    // then starts the first conversions and returns. The build is refused (finished is emitted
    // before start returns, and nothing else is written) when the folder is the tool folder or
    // the data folder, when it cannot be made, when the configuration cannot be written, or when
    // a PDF copy is asked for and a file of its name is there that the previous build did not
    // write (a document of the user's).
    //
    // Once every page is converted, what the previous build into the folder wrote and this one
    // did not is removed (the previous manifest's list, else the page files above the page
    // count); a build that stops, is cancelled or has failed pages removes nothing.
    //
    // A full disk stops the build at the first file that cannot be written, converter or
    // build alike: nothing more is started and the running conversions are stopped. The
    // folder then keeps no way into a broken catalogue: its manifest and its catalogue page
    // (the one this build wrote or the previous manifest named) are removed. Removing frees
    // space, where marking the folder would need some.
    void start();

    // Stops the running conversions (SIGTERM, so the converter removes its temporary files),
    // starts no more and keeps what was written; the outcome says the catalogue is incomplete.
    void cancel();

    bool isRunning() const { return m_started && !m_ended; }
    const BuildLog& log() const { return m_log; }
    const Plan& plan() const { return m_plan; }
    // The folder of the catalogue page, with a final "/".
    QString outputFolder() const { return m_outputFolder; }

Q_SIGNALS:
    // Page `page` is about to be converted: the preview follows the build.
    void pageStarted(int page);
    // `finished` of `total` pages are done (converted or failed).
    void progressChanged(int finished, int total);
    // The build is over; emitted once, when every file it writes is written.
    void finished(const vellora::BuildOutcome& outcome);

private:
    struct Conversion;

    void startMorePages();
    bool startPage(int page);
    void pageEnded(int page);
    void stopWithError(const QString& message);
    void stopForFullDisk();
    void abandonFolder();
    QString fullDiskMessage() const;
    void endIfIdle();
    void end(BuildOutcome::Result result, const QString& error = {});
    void readOutline();
    void outlineEnded();
    void stopOutline();
    void finishFolder();
    void writeFolderFiles();
    void checkPdfCopy() const;
    QString pdfCopyPath() const;
    ConverterFolders converterFolders() const { return {m_toolFolder, m_plan.appDataFolder}; }
    // The files of the folder this build wrote, besides the pages.
    QStringList writtenFiles(const QStringList& missingViewerFiles) const;

    Plan m_plan;
    QString m_outputFolder;
    QString m_toolFolder;
    QString m_viewerFolder;
    QStringList m_missingViewerFiles; // those the viewer folder lacked at the end
    BuildLog m_log;
    std::map<int, std::unique_ptr<Conversion>> m_running;
    std::map<int, QString> m_failed;      // page -> why
    QProcess* m_outlineProcess = nullptr; // after the pages: the reading direction and bookmarks
    QTimer* m_outlineLimit = nullptr;
    DocumentOutline m_outline;
    QStringList m_searchFiles;    // the search file or its parts, as written
    QStringList m_publishedFiles; // the text pages, the cover, the site map, the PDF copy
    QByteArray m_cataloguePage;   // the catalogue page as this build wrote it
    int m_nextPage = 1;
    int m_finished = 0;
    bool m_started = false;
    bool m_stopping = false;
    bool m_cancelled = false;
    bool m_ended = false;
    QString m_error;
    std::optional<PreviousCatalogue> m_previous; // what the previous manifest said
    std::set<int> m_converted;                   // pages converted without failure
    bool m_diskFull = false;
};

} // namespace vellora
