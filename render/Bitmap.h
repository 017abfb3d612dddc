#pragma once

#include <QImage>
#include <QObject>

namespace vellora {

// The bitmap a page view draws. The interpreter component hands it a copy of a page, or
// empties it; the view repaints when it changes.
class TBitmap : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    const QImage& image() const { return m_image; }
    bool isEmpty() const { return m_image.isNull(); }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }

    // Takes a copy of the page; a null image empties the bitmap.
    void Assign(const QImage& page)
    {
        m_image = page;
        Q_EMIT changed();
    }

Q_SIGNALS:
    void changed();

private:
    QImage m_image;
};

} // namespace vellora
