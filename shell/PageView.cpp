#include "PageView.h"

#include <QPainter>

namespace vellora {

class PageView::Canvas final : public QWidget
{
public:
    explicit Canvas(PageView& view) : QWidget(nullptr), m_view(view)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        const QImage& bitmap = m_view.bitmap();
        if (bitmap.isNull())
            return;
        // Fast, plain resampling keeps paging and zooming immediate on big pages.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.scale(m_view.scale(), m_view.scale());
        painter.drawImage(0, 0, bitmap);
    }

private:
    PageView& m_view;
};

PageView::PageView(QWidget* parent) : QScrollArea(parent), m_canvas(new Canvas(*this))
{
    setBackgroundRole(QPalette::Base);
    setWidget(m_canvas);
    setWidgetResizable(false);
    updateCanvasSize();
}

void PageView::setBitmap(const QImage& bitmap)
{
    m_bitmap = bitmap;
    updateCanvasSize();
    m_canvas->update();
}

void PageView::setPageSize(const QSize& size)
{
    m_pageSize = size;
    updateCanvasSize();
}

void PageView::setScale(double scale)
{
    m_scale = scale;
    updateCanvasSize();
    m_canvas->update();
}

void PageView::updateCanvasSize()
{
    const QSize page = m_bitmap.isNull() ? m_pageSize : m_bitmap.size();
    const QSize size = page.isEmpty() ? QSize(1, 1) : (QSizeF(page) * m_scale).toSize();
    m_canvas->resize(size.expandedTo(QSize(1, 1)));
}

} // namespace vellora
