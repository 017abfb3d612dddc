#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <map>

namespace vellora {

// How a catalogue build ended, with everything its reader needs to tell the user: the window
// turns it into message boxes and the launch, the command line into messages and its status.
struct BuildOutcome
{
    enum class Result
    {
        Succeeded, // every page converted and every file written
        Cancelled, // stopped at the user's request; the catalogue is incomplete
        Failed,    // pages that failed, viewer files missing, or an error that stopped the build
        Refused,   // nothing was converted: the folder or the configuration was refused
    };

    Result result = Result::Refused;
    int pageCount = 0;
    int convertedPages = 0; // pages converted without failure
    // Why each failed page failed, by catalogue page, and the viewer files the viewer folder
    // lacked at the end.
    std::map<int, QString> failedPages;
    QStringList missingViewerFiles;
    QString viewerFolder;
    // Failed: the error that stopped the build before its end (the message says only that);
    // Refused: why it did not start.
    QString error;

    // Every page ran and the folder holds a complete catalogue, failed pages aside: it can be
    // opened.
    bool folderFinished() const
    {
        return result == Result::Succeeded || (result == Result::Failed && error.isEmpty());
    }

    // A build that never started, and why (empty when the user backed out of a question).
    static BuildOutcome refusal(const QString& reason)
    {
        BuildOutcome outcome;
        outcome.error = reason;
        return outcome;
    }

    // What the user is told (empty when the build succeeded): a warning when it was cancelled,
    // an error otherwise.
    QString message() const;

    // How a build reports what failed at its end (empty when nothing did).
    static QString failureReport(const std::map<int, QString>& failedPages,
                                 const QStringList& missingViewerFiles,
                                 const QString& viewerFolder);
    // What a cancelled build says: how many of the pages were converted.
    static QString cancelledMessage(int convertedPages, int pageCount);
};

} // namespace vellora

Q_DECLARE_METATYPE(vellora::BuildOutcome)
