#pragma once

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

namespace vellora::test {

// A well-formed PDF whose page tree is empty (QPdfWriter always writes at least one page).
inline bool writeEmptyPdf(const QString& path)
{
    QByteArray pdf = "%PDF-1.4\n";
    const qsizetype catalog = pdf.size();
    pdf += "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
    const qsizetype pageTree = pdf.size();
    pdf += "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n";
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 3\n0000000000 65535 f \n";
    pdf += QByteArray::number(catalog).rightJustified(10, '0') + " 00000 n \n";
    pdf += QByteArray::number(pageTree).rightJustified(10, '0') + " 00000 n \n";
    pdf +=
        "trailer << /Size 3 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

// Writes a PDF of `pages` pages, each with its number in large print, so a viewer or a
// converter has something to draw. Needs a QGuiApplication for the fonts.
inline bool makePdf(const QString& path, int pages,
                    QPageLayout::Orientation orientation = QPageLayout::Portrait)
{
    if (pages <= 0)
        return writeEmptyPdf(path);
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            writer.newPage();
        QFont font = painter.font();
        font.setPointSize(96);
        painter.setFont(font);
        painter.drawText(QRect(0, 0, writer.width(), writer.height()), Qt::AlignCenter,
                         QString::number(page));
        painter.drawRect(QRect(20, 20, writer.width() - 40, writer.height() - 40));
    }
    return painter.end();
}

} // namespace vellora::test
