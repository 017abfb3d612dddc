#pragma once

#include "builder/build/ConverterCommand.h"
#include "builder/build/RunCaptured.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QProcess;
class QTimer;

namespace vellora {

// Receives the text of the page count's output buffer (Memo1 of the main window): the
// command text, then the converter's output, lines joined with CR LF.
using MemoSink = std::function<void(const QString& memoText)>;

// What one run of the converter's page listing gave.
struct PageListing
{
    QStringList memoLines; // the command text, then the converter's output lines
    QString reason;        // why the converter failed, in its own words; empty when it did not
    QString startFailure;  // why the converter could not be started; empty when it was
    bool timedOut = false; // it did not answer in time and was stopped
    std::chrono::milliseconds timeLimit{0};

    // The text of the page count's output buffer: the lines joined with CR LF.
    QString memoText() const { return memoLines.join(QStringLiteral("\r\n")); }
};

// Asks the converter in the tool folder for WorkPdf's page listing. The run never waits in a
// nested event loop: start() returns at once and `done` runs from the event loop once the
// converter has ended. A converter that outlives the time-out is stopped (SIGTERM, then
// SIGKILL after the grace period).
class PageListingRun : public QObject
{
    Q_OBJECT
public:
    explicit PageListingRun(RunCapturedOptions options = {}, QObject* parent = nullptr);
    // The listing of another work folder's PDF, by the converter of `folders`.
    explicit PageListingRun(ConverterFolders folders, RunCapturedOptions options = {},
                            QObject* parent = nullptr);
    ~PageListingRun() override;

    void start(std::function<void(const PageListing&)> done);

    // The same run, blocking until the converter has ended, for programs without windows.
    PageListing runToEnd();

private:
    void prepare();
    void collect();
    void finish();

    ConverterFolders m_folders;
    RunCapturedOptions m_options;
    QProcess* m_process = nullptr;
    QTimer* m_limit = nullptr;
    QTimer* m_kill = nullptr;
    PageListing m_listing;
    std::function<void(const PageListing&)> m_done;
    bool m_finished = false;
};

// The page count of a listing, as the build reads it. Throws EVellora when the converter did not
// answer in time, with the converter's reason when it gave one and no number, and otherwise
// with "'<text>' n'est pas une valeur entière correcte" when the output holds no number after
// the last "page=". The window shows the listing's boxes before it asks (see
// startFailureMessage and PageCountText).
int PageCountOf(const PageListing& listing);

// Why the converter of the program's tool folder could not be started, as the "RunCaptured
// Error" box says it; empty when it started.
QString startFailureMessage(const PageListing& listing);

// The run and the count together, blocking (see PageListingRun::runToEnd): `memo` gets the
// listing's text, then the count is returned or EVellora thrown as by PageCountOf.
int CountPages(const MemoSink& memo = {}, const RunCapturedOptions& options = {});

// The number text after the last "page=" of an output buffer, up to the next blank.
QString PageCountText(const QString& memoText);

// The number itself; throws the conversion error when the text is not a decimal integer.
int PageCountValue(const QString& text);

// The converter's reason as the user reads it: its last line on standard error, without the
// program's name and the path of the working PDF that it puts in front.
QString converterReason(const QByteArray& standardError, const QString& input);

} // namespace vellora
