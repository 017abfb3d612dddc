#include "builder/build/StaleFiles.h"

#include "builder/build/CatalogueManifest.h"
#include "builder/build/CataloguePage.h"
#include "builder/build/OutputFolder.h"
#include "builder/build/Publication.h"
#include "builder/build/Readme.h"
#include "builder/build/SearchFile.h"
#include "builder/build/TextPages.h"
#include "builder/build/ViewerConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace vellora {

namespace {

constexpr qint64 kManifestLimit = 64 * 1024 * 1024;

// The build's own files besides the pages: those of fixed names, and the catalogue page that
// the previous manifest names as such (any other HTML page in its list may be the user's).
bool isBuildFileName(const QString& name, const PreviousCatalogue& previous)
{
    static const QStringList fixed = {
        kViewerConfigFile, kViewerConfigScriptFile, kReadmeFile,    kViewerScript, kViewerMovie,
        kSearchFile,       kCatalogueManifestFile,  kTextStyleFile, kCoverFile,    kSitemapFile,
    };
    static const QRegularExpression searchPart(
        QStringLiteral("\\Avellora-search-[1-9][0-9]{0,8}\\.js\\z"));
    return fixed.contains(name) || searchPart.match(name).hasMatch() ||
           (!previous.page.isEmpty() && name == previous.page) ||
           (!previous.pdf.isEmpty() && name == previous.pdf);
}

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

} // namespace

int catalogueFilePage(const QString& name)
{
    static const QRegularExpression pageFile(QStringLiteral(
        "\\Apage([1-9][0-9]{0,8})(\\.swf|\\.jpg|-m\\.jpg|-t\\.jpg|\\.svg|\\.js|\\.html)\\z"));
    const QRegularExpressionMatch match = pageFile.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

std::optional<PreviousCatalogue> previousCatalogue(const QString& folder)
{
    QFile file(folder + u'/' + kCatalogueManifestFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kManifestLimit)
        return std::nullopt;
    const QByteArray text = file.readAll();
    // "window.velloraCatalogue = {...};"
    const qsizetype open = text.indexOf('{');
    const qsizetype close = text.lastIndexOf('}');
    if (!text.trimmed().startsWith("window.velloraCatalogue") || open < 0 || close < open)
        return std::nullopt;
    const QJsonDocument json = QJsonDocument::fromJson(text.mid(open, close - open + 1));
    const QJsonValue files = json.object().value(QStringLiteral("files"));
    if (!files.isArray())
        return std::nullopt;
    PreviousCatalogue previous;
    for (const QJsonValue& each : files.toArray()) {
        if (each.isString())
            previous.files.append(each.toString());
    }
    previous.page = json.object().value(QStringLiteral("catalogue")).toString();
    previous.pdf = json.object().value(QStringLiteral("pdf")).toString();
    return previous;
}

QStringList staleCatalogueFiles(const QString& folder,
                                const std::optional<PreviousCatalogue>& previous,
                                const QStringList& writtenNow, int pageCount)
{
    const QSet<QString> written(writtenNow.cbegin(), writtenNow.cend());
    const QStringList candidates =
        previous ? previous->files
                 : QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden);
    QStringList stale;
    for (const QString& name : candidates) {
        if (!isPlainName(name) || written.contains(name) || stale.contains(name))
            continue;
        const int page = catalogueFilePage(name);
        if (page > 0 ? page <= pageCount : (!previous || !isBuildFileName(name, *previous)))
            continue;
        const QFileInfo info(folder + u'/' + name);
        if (info.isFile() || info.isSymLink())
            stale.append(name);
    }
    return stale;
}

void removeStaleCatalogueFiles(const QString& folder,
                               const std::optional<PreviousCatalogue>& previous,
                               const QStringList& writtenNow, int pageCount)
{
    for (const QString& name : staleCatalogueFiles(folder, previous, writtenNow, pageCount))
        QFile::remove(folder + u'/' + name);
}

} // namespace vellora
