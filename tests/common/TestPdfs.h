#pragma once

// PDFs that tests make themselves: text, images, mixed page sizes and orientations.
// Needs a QGuiApplication (QTEST_MAIN) for the fonts.

#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

namespace vellora::test {

enum class PageContent
{
    Text,
    Image,
    TextAndImage
};

struct TestPage
{
    QPageSize size = QPageSize(QPageSize::A4);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    PageContent content = PageContent::Text;
};

inline void drawTestPage(QPainter& painter, const QRect& area, int number, PageContent content)
{
    if (content != PageContent::Text) {
        QImage image(400, 300, QImage::Format_RGB32);
        QPainter imagePainter(&image);
        QLinearGradient gradient(0, 0, 400, 300);
        gradient.setColorAt(0, QColor(200, 30, 30));
        gradient.setColorAt(1, QColor(30, 60, 220));
        imagePainter.fillRect(image.rect(), gradient);
        imagePainter.end();
        painter.drawImage(QRect(area.width() / 10, area.height() / 2, area.width() * 8 / 10,
                                area.height() * 4 / 10),
                          image);
    }
    if (content != PageContent::Image) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(qMax(8, area.height() / 60));
        painter.setFont(font);
        painter.drawText(area.adjusted(area.width() / 10, area.height() / 20, 0, 0),
                         QStringLiteral("Page %1").arg(number));
        for (int line = 0; line < 25; ++line) {
            painter.drawText(area.width() / 10, area.height() / 8 + line * font.pixelSize() * 3 / 2,
                             QStringLiteral("Ligne %1 : portez ce vieux whisky au juge blond "
                                            "qui fume.")
                                 .arg(line + 1));
        }
    }
}

// Writes a PDF with one page per entry; returns false when the file cannot be written.
inline bool makeTestPdf(const QString& path, const QList<TestPage>& pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    for (int i = 0; i < pages.size(); ++i) {
        const TestPage& page = pages[i];
        writer.setPageLayout(QPageLayout(page.size, page.orientation, QMarginsF(0, 0, 0, 0)));
        if (i == 0) {
            if (!painter.begin(&writer))
                return false;
        } else {
            writer.newPage();
        }
        drawTestPage(painter, painter.viewport(), i + 1, page.content);
    }
    return painter.end();
}

} // namespace vellora::test
