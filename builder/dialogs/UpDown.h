#pragma once

#include <QWidget>

class QToolButton;

namespace vellora {

// A pair of spin arrows with a position between a minimum and a maximum, for a text box
// beside it.
class UpDown final : public QWidget
{
    Q_OBJECT
public:
    UpDown(int minimum, int maximum, int position, QWidget* parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int position() const { return m_position; }
    void setPosition(int position);

    void stepUp() { setPosition(m_position + 1); }
    void stepDown() { setPosition(m_position - 1); }

Q_SIGNALS:
    void positionChanged(int position);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_minimum;
    int m_maximum;
    int m_position;
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace vellora
