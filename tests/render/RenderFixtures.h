#pragma once

// Documents made by the tests: hand-written PostScript and PDF written by Qt.

#include "TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QStandardPaths>
#include <QString>

namespace vellora::test {

struct PageFormat
{
    int widthPt = 595; // A4 portrait
    int heightPt = 842;
};

inline PageFormat a4Portrait()
{
    return {595, 842};
}
inline PageFormat a4Landscape()
{
    return {842, 595};
}

// Each page: white, its number written large, a black square in the top-left corner and a red
// one in the bottom-right corner (so a mirrored or shifted copy shows).
inline QByteArray postScript(const QList<PageFormat>& pages)
{
    QByteArray ps = "%!PS-Adobe-3.0\n%%Pages: " + QByteArray::number(pages.size()) + "\n";
    ps += "%%EndComments\n";
    int number = 0;
    for (const PageFormat& page : pages) {
        ++number;
        const QByteArray w = QByteArray::number(page.widthPt);
        const QByteArray h = QByteArray::number(page.heightPt);
        ps += "%%Page: " + QByteArray::number(number) + " " + QByteArray::number(number) + "\n";
        ps += "<< /PageSize [" + w + " " + h + "] >> setpagedevice\n";
        ps += "0 setgray 0 " + h + " 72 sub 72 72 rectfill\n";
        ps += "1 0 0 setrgbcolor " + w + " 72 sub 0 72 72 rectfill\n";
        ps += "0 setgray /Helvetica findfont 48 scalefont setfont 150 300 moveto (Page " +
              QByteArray::number(number) + ") show\n";
        ps += "showpage\n";
    }
    ps += "%%EOF\n";
    return ps;
}

inline QByteArray postScript(int count, PageFormat format = a4Portrait())
{
    return postScript(QList<PageFormat>(count, format));
}

// A PDF of `count` A4 pages written by Qt.
inline bool writePdf(const QString& path, int count)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    for (int i = 1; i <= count; ++i) {
        if (i > 1)
            writer.newPage();
        painter.fillRect(0, 0, 72, 72, Qt::black);
        painter.drawText(150, 300, QStringLiteral("Page %1").arg(i));
    }
    return painter.end();
}

// The page count of a PDF as MuPDF reads it; -1 when it cannot be read.
inline int mupdfPageCount(const QString& pdf)
{
    const QString mutool = QStandardPaths::findExecutable(QStringLiteral("mutool"));
    if (mutool.isEmpty())
        return -2;
    QProcess process;
    process.start(mutool, {QStringLiteral("info"), pdf});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return -1;
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const auto match = QRegularExpression(QStringLiteral("Pages:\\s*(\\d+)")).match(out);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

inline bool hasMutool()
{
    return !QStandardPaths::findExecutable(QStringLiteral("mutool")).isEmpty();
}

// The size in pixels the interpreter gives a page of that many points.
inline QSize pixelSize(PageFormat format, int dpi)
{
    return {qRound(format.widthPt * dpi / 72.0), qRound(format.heightPt * dpi / 72.0)};
}

} // namespace vellora::test
