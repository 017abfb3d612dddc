// write-search-file: writes a catalogue folder's search file with the builder's own code, from
// the page scripts the converter left there.
//   write-search-file <folder> <page count>

#include "Errors.h"
#include "builder/build/SearchFile.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

using namespace vellora;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: write-search-file <folder> <page count>\n");
        return 2;
    }
    try {
        return WriteSearchFile(args[1] + u'/', args[2].toInt()) ? 0 : 3;
    } catch (const EVellora& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
}
