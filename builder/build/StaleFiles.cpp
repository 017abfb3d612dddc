#include "builder/build/StaleFiles.h"

#include "builder/build/CatalogueManifest.h"
#include "builder/build/OutputFolder.h"
#include "builder/build/Readme.h"
#include "builder/build/SearchFile.h"
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

// The build's own files besides the pages; the catalogue page itself is any *.htm or *.html.
bool isBuildFileName(const QString& name)
{
    static const QStringList fixed = {
        kViewerConfigFile, kViewerConfigScriptFile, kReadmeFile, kViewerScript, kViewerMovie,
        kSearchFile,       kCatalogueManifestFile,
    };
    return fixed.contains(name) || name.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive) ||
           name.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive);
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
        "\\Apage([1-9][0-9]{0,8})(\\.swf|\\.jpg|-m\\.jpg|-t\\.jpg|\\.svg|\\.js)\\z"));
    const QRegularExpressionMatch match = pageFile.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

std::optional<QStringList> previousCatalogueFiles(const QString& folder)
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
    QStringList names;
    for (const QJsonValue& each : files.toArray()) {
        if (each.isString())
            names.append(each.toString());
    }
    return names;
}

QStringList staleCatalogueFiles(const QString& folder, const std::optional<QStringList>& previous,
                                const QStringList& writtenNow, int pageCount)
{
    const QSet<QString> written(writtenNow.cbegin(), writtenNow.cend());
    const QStringList candidates =
        previous ? *previous : QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden);
    QStringList stale;
    for (const QString& name : candidates) {
        if (!isPlainName(name) || written.contains(name) || stale.contains(name))
            continue;
        const int page = catalogueFilePage(name);
        if (page > 0 ? page <= pageCount : (!previous || !isBuildFileName(name)))
            continue;
        const QFileInfo info(folder + u'/' + name);
        if (info.isFile() || info.isSymLink())
            stale.append(name);
    }
    return stale;
}

void removeStaleCatalogueFiles(const QString& folder, const std::optional<QStringList>& previous,
                               const QStringList& writtenNow, int pageCount)
{
    for (const QString& name : staleCatalogueFiles(folder, previous, writtenNow, pageCount))
        QFile::remove(folder + u'/' + name);
}

} // namespace vellora
