#include "builder/build/OutputFolder.h"

#include "Errors.h"
#include "builder/build/AtomicFile.h"
#include "builder/build/Readme.h"

#include <QFile>
#include <QFileInfo>

namespace vellora {

namespace {

// Copies `source` over `target` whole or not at all, through `fill` when given. Returns false
// when `source` is missing.
bool copyReplacing(const QString& source, const QString& target,
                   const std::function<QByteArray(const QByteArray&)>& fill = {})
{
    QFile in(source);
    if (!in.exists())
        return false;
    // Saving the catalogue into the tool folder itself: the file is already in place.
    if (isSameFile(source, target))
        return true;
    if (!in.open(QIODevice::ReadOnly))
        throw EVellora(cannotOpenFileMessage(source));
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw EVellora(cannotOpenFileMessage(source));
    writeFileAtomically(target, fill ? fill(bytes) : bytes);
    return true;
}

} // namespace

bool isSameFile(const QString& a, const QString& b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

QStringList CopyViewerFiles(const QString& htmlFile, const QString& toolFolder,
                            const std::function<QByteArray(const QByteArray&)>& fillPage)
{
    const QString folder = QFileInfo(htmlFile).absolutePath() + u'/';
    QStringList missing;
    if (!copyReplacing(toolFolder + u'/' + kViewerPage, htmlFile, fillPage))
        missing.append(kViewerPage);
    writeFileAtomically(folder + kReadmeFile, readmeText());
    if (!copyReplacing(toolFolder + u'/' + kViewerScript, folder + kViewerScript))
        missing.append(kViewerScript);
    if (!copyReplacing(toolFolder + u'/' + kViewerMovie, folder + kViewerMovie))
        missing.append(kViewerMovie);
    return missing;
}

} // namespace vellora
