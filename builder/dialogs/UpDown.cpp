#include "builder/dialogs/UpDown.h"

#include <QToolButton>

namespace vellora {

namespace {
QToolButton* arrowButton(Qt::ArrowType arrow, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}
} // namespace

UpDown::UpDown(int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum),
      m_position(qBound(minimum, position, maximum)), m_up(arrowButton(Qt::UpArrow, this)),
      m_down(arrowButton(Qt::DownArrow, this))
{
    m_up->setObjectName(QStringLiteral("up"));
    m_down->setObjectName(QStringLiteral("down"));
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::setPosition(int position)
{
    position = qBound(m_minimum, position, m_maximum);
    if (position == m_position)
        return;
    m_position = position;
    Q_EMIT positionChanged(m_position);
}

void UpDown::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

} // namespace vellora
