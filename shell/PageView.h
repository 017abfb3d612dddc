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
    void setScale(double scale);
    double scale() const { return m_scale; }

private:
    class Canvas;
    void updateCanvasSize();

    QImage m_bitmap;
    double m_scale = 0.5;
    Canvas* m_canvas;
};

} // namespace vellora
