#include "builder/build/BuildChecks.h"

#include "builder/build/OutputFolder.h"
#include "builder/build/Publication.h"
#include "builder/build/Readme.h"
#include "builder/build/ViewerConfig.h"

#include <QRegularExpression>
#include <QStringList>

namespace vellora {

bool isValidQuality(const QString& qualite)
{
    if (qualite.isEmpty())
        return true;
    if (qualite.size() > 3)
        return false;
    for (const QChar c : qualite) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return qualite.toInt() <= 100;
}

QString invalidQualityMessage(const QString& qualite)
{
    return QStringLiteral("La qualité des images JPEG « %1 » n'est pas valable : indiquez un "
                          "nombre entier de 0 à 100, ou laissez la case vide.")
        .arg(qualite);
}

bool isReservedOutputName(const QString& fileName)
{
    static const QStringList catalogueFiles = {
        kViewerConfigFile, kViewerConfigScriptFile, kReadmeFile, kViewerScript, kViewerMovie,
        kSitemapFile,
    };
    static const QRegularExpression pageFile(
        QStringLiteral("\\Apage[0-9]+(\\.swf|\\.jpg|-m\\.jpg|-t\\.jpg|\\.svg|\\.js|\\.html)\\z"),
        QRegularExpression::CaseInsensitiveOption);
    // Every name that starts with "vellora-" is kept for the files of the catalogue and the
    // build: the manifest, the search files, the style sheet, the cover, the log.
    return catalogueFiles.contains(fileName, Qt::CaseInsensitive) ||
           fileName.startsWith(QStringLiteral("vellora-"), Qt::CaseInsensitive) ||
           pageFile.match(fileName).hasMatch();
}

QString pageCountProblem(int pages)
{
    if (pages == 1)
        return QStringLiteral("Votre document ne comporte qu'une SEULE page !");
    if (pages <= 0)
        return QStringLiteral(
            "Le document ne comporte aucune page : il n'y a pas de catalogue à créer.");
    return {};
}

QString reservedOutputNameMessage(const QString& fileName)
{
    return QStringLiteral("Le nom « %1 » est celui d'un fichier du catalogue : choisissez un "
                          "autre nom pour la page HTML.")
        .arg(fileName);
}

} // namespace vellora
