#pragma once

#include "CatalogueSettings.h"

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

// The converter in the tool folder of the given data folder: <appDataFolder>/vellora/pdf2swf.
QString ConverterProgram(const QString& appDataFolder);

// The PDF every build converts: <appDataFolder>/out.pdf.
QString ConverterInput(const QString& appDataFolder);

// The options of a quality preset, exactly as the command text carries them (each begins
// with a blank and the text ends with "jpegquality=", to which the quality is appended).
QString PresetOptions(QualityPreset preset);

// The page movie of page `page`: OutputFolder + "page" + page + ".swf" (OutputFolder ends
// with its separator).
QString PageFile(const QString& outputFolder, int page);

// Information mode, which lists the pages: "<program>"  "<pdf>" -I
// (with the trailing blank of the historical command text).
ConverterCommand PageCountCommand(const QString& appDataFolder);

// Outline mode, which prints the reading direction and the bookmarks: "<program>"  "<pdf>"
// --outline
ConverterCommand OutlineCommand(const QString& appDataFolder);

// Page mode for page `page` (1-based) with the preset's options and the quality as typed
// (possibly empty): "<program>"  "<pdf>"  -p<page><preset><qualite> -o "<page file>"
ConverterCommand PageCommand(const QString& appDataFolder, int page, QualityPreset preset,
                             const QString& qualite, const QString& outputFolder);

} // namespace vellora
