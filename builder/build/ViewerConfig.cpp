#include "builder/build/ViewerConfig.h"

#include "Errors.h"
#include "builder/build/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <memory>
#include <utility>

namespace vellora {

namespace {

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The 0x00BBGGRR value as upper-case hex, at least six digits: blue, green, red.
QString colorDigits(BgrColor color)
{
    return QString::number(color, 16).toUpper().rightJustified(6, u'0');
}

QString attribute(const QString& name, const QString& value)
{
    return name + u"=\"" + xmlAttributeValue(value) + u'"';
}

// The entity or character reference that stands for `c` in an attribute value; empty when
// `c` stands for itself.
QStringView xmlEscape(char16_t c)
{
    static constexpr std::pair<char16_t, const char16_t*> kEscapes[] = {
        {u'&', u"&amp;"}, {u'<', u"&lt;"},   {u'>', u"&gt;"},   {u'"', u"&quot;"},
        {u'\t', u"&#9;"}, {u'\r', u"&#13;"}, {u'\n', u"&#10;"},
    };
    for (const auto& [character, escape] : kEscapes) {
        if (character == c)
            return escape;
    }
    return {};
}

bool isDroppedFromXml(char16_t c)
{
    // Control characters other than TAB, CR and LF (which become references), and code units
    // XML cannot hold at all.
    return (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || (c >= 0x7F && c <= 0x9F) ||
           c == 0xFFFE || c == 0xFFFF;
}

} // namespace

ContentSize contentSizeFor(const std::optional<QSizeF>& firstPage)
{
    if (firstPage && firstPage->width() >= firstPage->height())
        return {580, 773};
    return {592, 790};
}

std::optional<QSizeF> firstPageSizeFromListing(const QString& listing)
{
    return pageSizeFromListing(listing, 1);
}

std::optional<QSizeF> pageSizeFromListing(const QString& listing, int page)
{
    const QRegularExpression line(
        u"^page=" + QString::number(page) +
            u" width=([0-9]+(?:\\.[0-9]+)?) height=([0-9]+(?:\\.[0-9]+)?)\\s*$",
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(listing);
    if (!match.hasMatch())
        return std::nullopt;
    const QSizeF size(match.captured(1).toDouble(), match.captured(2).toDouble());
    if (size.isEmpty())
        return std::nullopt;
    return size;
}

QString xmlAttributeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        if (const QStringView entity = xmlEscape(c); !entity.isEmpty()) {
            out += entity;
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < value.size() && value[i + 1].isLowSurrogate()) {
            out += value[i];
            out += value[++i];
            continue;
        }
        if (QChar::isSurrogate(c) || isDroppedFromXml(c))
            continue;
        out += value[i];
    }
    return out;
}

void AddIndexEntries(QStringList& lines, const IndexGrid& index)
{
    for (int row = 1; row < index.rowCount(); ++row) {
        const QString page = index.cell(row, 0);
        if (page.isEmpty())
            continue;
        lines.append(u"<index " + attribute(QStringLiteral("page"), page) + u' ' +
                     attribute(QStringLiteral("description"), index.cell(row, 1)) + u" />");
    }
}

QStringList viewerConfigLines(const CatalogueSettings& settings, const IndexGrid& index,
                              int pageCount, int width, int height, bool hardCover)
{
    QStringList lines;
    lines.append(u"<content width=\"" + QString::number(width) + u"\" height=\"" +
                 QString::number(height) + u"\" hcover=\"" + boolText(hardCover) +
                 u"\" transparency=\"true\">");
    lines.append(QStringLiteral("\t<page src=\"page1.swf\"\tpreLoad=\"false\" />"));
    lines.append(u"<bg color1=\"#" + colorDigits(settings.colorStart) + u"\" color2=\"#" +
                 colorDigits(settings.colorEnd) + u"\"/>");
    for (int b = 0; b < kViewerButtonCount; ++b) {
        const auto which = static_cast<ViewerButton>(b);
        const ViewerButtonSetting& button = settings.button(which);
        lines.append(u'<' + viewerButtonElement(which) + u" visible=\"" + boolText(button.visible) +
                     u"\" " + attribute(QStringLiteral("alt"), button.alt) + u" />");
    }
    for (int page = 2; page <= pageCount; ++page) {
        lines.append(u"\t<page src=\"page" + QString::number(page) +
                     u".swf\" preLoad=\"false\" canTear=\"true\" />");
    }
    AddIndexEntries(lines, index);
    lines.append(QStringLiteral("</content>"));
    return lines;
}

QByteArray viewerConfigText(const QStringList& lines)
{
    QByteArray text;
    for (const QString& line : lines) {
        text += line.toUtf8();
        text += "\r\n";
    }
    return text;
}

QByteArray viewerConfigScript(const QByteArray& xmlText)
{
    return "window.velloraConfig = " +
           javaScriptStringLiteral(QString::fromUtf8(xmlText)).toUtf8() + ";\r\n";
}

void WriteViewerConfig(const QString& htmlFile, int pageCount, int width, int height,
                       bool hardCover, const CatalogueSettings& settings, const IndexGrid& index)
{
    const QString folder = QFileInfo(htmlFile).absolutePath();
    const QByteArray xml =
        viewerConfigText(viewerConfigLines(settings, index, pageCount, width, height, hardCover));
    // Both files are complete on disk before either replaces its old version.
    StagedFile config(folder + u'/' + kViewerConfigFile, xml);
    StagedFile script(folder + u'/' + kViewerConfigScriptFile, viewerConfigScript(xml));
    // The configuration being replaced, staged again under a temporary name: when the script
    // cannot follow, it goes back, and the viewer finds the old pair as it was.
    std::unique_ptr<StagedFile> previous;
    QFile old(config.target());
    if (old.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = old.readAll();
        if (old.error() == QFileDevice::NoError)
            previous =
                std::make_unique<StagedFile>(config.target(), bytes, FileAccess::KeepPermissions);
    }
    config.commit();
    try {
        script.commit();
    } catch (...) {
        // Never leave a configuration whose script twin tells the viewer something else.
        try {
            if (previous)
                previous->commit();
            else
                QFile::remove(config.target());
        } catch (const EVellora&) {
            QFile::remove(config.target());
        }
        throw;
    }
}

} // namespace vellora
