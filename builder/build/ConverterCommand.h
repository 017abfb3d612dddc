#pragma once

#include "builder/build/CatalogueSettings.h"

#include <QString>
#include <QStringList>

namespace vellora {

// One run of the page converter, in the two forms the program needs: the command text that
// the build shows and logs, and the program with its argument list that is actually started.
// Both come from the same pieces, and the process never sees the text: no character in a
// path (quotes, blanks, ";", "$()", backticks) can change the arguments or run anything.
struct ConverterCommand
{
    QString program;       // absolute path of the converter
    QStringList arguments; // what the converter receives, one entry per argument
    QString commandLine;   // the command text, as shown in Memo1 and written to the log
};

// The converter's exit status for a page it could not write because the disk is full.
inline constexpr int kConverterDiskFullStatus = 3;

// Where a conversion finds its pieces: the folder of the converter, and the work folder whose
// "out.pdf" is the PDF converted (Vellora's state folder for the application, a private folder
// for the command-line build).
struct ConverterFolders
{
    QString tools;
    QString work;

    // A data folder in the layout of a user's own install: <data>/vellora and <data>.
    explicit ConverterFolders(const QString& dataFolder)
        : tools(dataFolder + u"/vellora"), work(dataFolder)
    {}
    ConverterFolders(QString toolFolder, QString workFolder)
        : tools(std::move(toolFolder)), work(std::move(workFolder))
    {}

    // The application's: the tool folder the program found, and Vellora's state folder.
    static ConverterFolders user();
};

// The converter: <tools>/pdf2swf.
QString ConverterProgram(const ConverterFolders& folders);

// The PDF every build converts: <work>/out.pdf.
QString ConverterInput(const ConverterFolders& folders);

// The options of a quality preset, exactly as the command text carries them (each begins
// with a blank and the text ends with "jpegquality=", to which the quality is appended).
QString PresetOptions(QualityPreset preset);

// The page movie of page `page`: OutputFolder + "page" + page + ".swf" (OutputFolder ends
// with its separator).
QString PageFile(const QString& outputFolder, int page);

// Information mode, which lists the pages: "<program>"  "<pdf>" -I
// (with the trailing blank of the historical command text).
ConverterCommand PageCountCommand(const ConverterFolders& folders);

// Outline mode, which prints the reading direction and the bookmarks: "<program>"  "<pdf>"
// --outline
ConverterCommand OutlineCommand(const ConverterFolders& folders);

// Page mode for catalogue page `page` (1-based) with the preset's options and the quality as
// typed (possibly empty): "<program>"  "<pdf>"  -p<page><preset><qualite> -o "<page file>".
// A catalogue of part of a document converts its document page `documentPage` (0: the same
// number) into catalogue page `page`.
ConverterCommand PageCommand(const ConverterFolders& folders, int page, QualityPreset preset,
                             const QString& qualite, const QString& outputFolder,
                             int documentPage = 0);

} // namespace vellora
