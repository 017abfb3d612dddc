#include "builder/build/Publication.h"

#include "builder/build/HtmlText.h"

#include <QFileInfo>
#include <QUrl>

namespace vellora {

std::optional<QString> publicationAddress(const QString& text)
{
    for (const QChar c : text) {
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty() ||
        url.hasQuery() || url.hasFragment() || !text.contains(u"://"))
        return std::nullopt;
    QString address = QString::fromLatin1(url.toEncoded());
    if (!address.endsWith(u'/'))
        address += u'/';
    return address;
}

QString invalidAddressMessage(const QString& text)
{
    return QStringLiteral("L'adresse de publication « %1 » n'est pas valable : indiquez l'adresse "
                          "complète du dossier du catalogue, en http ou https, par exemple "
                          "https://exemple.fr/catalogue/")
        .arg(text);
}

QString pdfCopyName(const QString& htmlFile)
{
    const QFileInfo info(htmlFile);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot > 0 ? name.left(dot) : name) + QStringLiteral(".pdf");
}

QString pdfCopyTakenMessage(const QString& path)
{
    return QStringLiteral("Le fichier %1 existe déjà et ce n'est pas une copie faite par Vellora : "
                          "il n'est pas remplacé. Renommez-le, ou choisissez un autre nom pour le "
                          "catalogue ; rien n'a été écrit.")
        .arg(path);
}

QByteArray sitemapXml(const QString& url, const QString& catalogueName, int pageCount)
{
    const auto entry = [&](const QString& name) {
        return QStringLiteral("<url><loc>%1</loc></url>\n")
            .arg(htmlEscaped(url + fileNameUrl(name)));
    };
    QString xml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n");
    xml += entry(catalogueName);
    for (int page = 1; page <= pageCount; ++page)
        xml += entry(QStringLiteral("page%1.html").arg(page));
    xml += u"</urlset>\n";
    return xml.toUtf8();
}

} // namespace vellora
