#include "builder/dialogs/ColorButton.h"

#include "Prompts.h"

#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QWidgetAction>
#include <array>

namespace vellora {

namespace {
struct NamedColor
{
    BgrColor value;
    const char* name;
};

// The sixteen basic colours, dark ones first, in the catalogue's 0x00BBGGRR layout.
constexpr std::array<NamedColor, 16> kBasicColors = {{
    {0x000000, "Noir"},
    {0x000080, "Marron"},
    {0x008000, "Vert"},
    {0x008080, "Olive"},
    {0x800000, "Bleu marine"},
    {0x800080, "Violet"},
    {0x808000, "Sarcelle"},
    {0x808080, "Gris"},
    {0xC0C0C0, "Argent"},
    {0x0000FF, "Rouge"},
    {0x00FF00, "Citron vert"},
    {0x00FFFF, "Jaune"},
    {0xFF0000, "Bleu"},
    {0xFF00FF, "Fuchsia"},
    {0xFFFF00, "Cyan"},
    {0xFFFFFF, "Blanc"},
}};

QPixmap swatch(BgrColor value, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(fromBgr(value));
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return pixmap;
}
} // namespace

ColorButton::ColorButton(BgrColor value, QWidget* parent) : QToolButton(parent), m_value(value)
{
    setFocusPolicy(Qt::NoFocus);
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    buildPalette();
    setMenu(m_palette);
    updateSwatch();
}

void ColorButton::setValue(BgrColor value)
{
    value &= 0xFFFFFF;
    if (value == m_value)
        return;
    m_value = value;
    updateSwatch();
    Q_EMIT valueChanged(m_value);
}

void ColorButton::chooseOther()
{
    if (const auto chosen = prompts().chooseColor(fromBgr(m_value)))
        setValue(toBgr(*chosen));
}

void ColorButton::buildPalette()
{
    m_palette = new QMenu(this);
    auto* grid = new QWidget(m_palette);
    auto* layout = new QGridLayout(grid);
    layout->setSpacing(2);
    layout->setContentsMargins(4, 4, 4, 4);
    for (std::size_t i = 0; i < kBasicColors.size(); ++i) {
        const NamedColor& color = kBasicColors[i];
        auto* cell = new QToolButton(grid);
        cell->setObjectName(QStringLiteral("color%1").arg(color.value, 6, 16, QLatin1Char('0')));
        cell->setAutoRaise(true);
        cell->setIcon(swatch(color.value, QSize(16, 16)));
        cell->setToolTip(QString::fromUtf8(color.name));
        connect(cell, &QToolButton::clicked, this, [this, value = color.value] {
            m_palette->close();
            setValue(value);
        });
        layout->addWidget(cell, int(i / 4), int(i % 4));
    }
    auto* gridAction = new QWidgetAction(m_palette);
    gridAction->setDefaultWidget(grid);
    m_palette->addAction(gridAction);
    m_palette->addSeparator();
    QAction* other = m_palette->addAction(QStringLiteral("&Other..."));
    other->setObjectName(QStringLiteral("other"));
    // The colour dialog is modal: let the menu close before it opens.
    connect(other, &QAction::triggered, this, &ColorButton::chooseOther, Qt::QueuedConnection);
}

void ColorButton::updateSwatch()
{
    const QSize size(qMax(8, width() - 24), qMax(8, height() - 10));
    setIconSize(size);
    setIcon(swatch(m_value, size));
    setToolTip(
        QStringLiteral("#%1").arg(fromBgr(m_value).rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')));
}

void ColorButton::resizeEvent(QResizeEvent* event)
{
    QToolButton::resizeEvent(event);
    updateSwatch();
}

} // namespace vellora
