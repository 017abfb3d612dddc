#pragma once

#include <QImage>
#include <QScrollArea>

namespace vellora {

// The page view: a page bitmap drawn at a scale factor (1.0 is one bitmap pixel per screen
// pixel) on white, inside scroll bars.
class PageView final : public QScrollArea
{
    Q_OBJECT
public:
    explicit PageView(QWidget* parent = nullptr);

    void setBitmap(const QImage& bitmap);
    const QImage& bitmap() const { return m_bitmap; }
    // The size of the page about to be shown, in bitmap pixels: the scroll range follows it
    // even while the view has no bitmap.
    void setPageSize(const QSize& size);
    void setScale(double scale);
    double scale() const { return m_scale; }

private:
    class Canvas;
    void updateCanvasSize();

    QImage m_bitmap;
    QSize m_pageSize;
    double m_scale = 0.5;
    Canvas* m_canvas;
};

} // namespace vellora
