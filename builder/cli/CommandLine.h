#pragma once

#include "builder/build/CatalogueSettings.h"
#include "builder/build/Publication.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace vellora::cli {

// What one run of vellora-build was asked for.
struct BuildRequest
{
    QString input;    // the PDF or PostScript file
    QString htmlFile; // -o FOLDER/NAME.html
    CatalogueSettings settings;
    QString indexFile; // --index FILE.csv
    int firstPage = 0; // --pages A-B; 0: every page
    int lastPage = 0;
    int jobs = 0;            // 0: one conversion per core
    Publication publication; // --url, --pdf
    bool quiet = false;
};

// The outcome of reading the arguments: a request, or a text to print and the status to end with
// (the help or the version with 0, a usage error with 2).
struct ParsedArguments
{
    std::optional<BuildRequest> request;
    QString text;
    int status = 0;
};

// Reads the arguments (without the program name).
ParsedArguments parseArguments(const QStringList& arguments);

// The manual page text of --help.
QString helpText();

// "#RRGGBB" as the catalogue stores colours (blue, green, red); nothing when it is not one.
std::optional<BgrColor> parseColor(const QString& text);

} // namespace vellora::cli
