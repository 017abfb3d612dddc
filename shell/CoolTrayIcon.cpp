#include "CoolTrayIcon.h"

#include "TrayIcon.h"

namespace vellora {

namespace {
// Notification areas cut long tooltips differently; keep ours to what all of them show.
constexpr int kMaxTooltip = 63;
} // namespace

TCoolTrayIcon::TCoolTrayIcon(TrayIcon& tray, QObject* parent) : QObject(parent), m_tray(tray)
{
    connect(&m_tray, &TrayIcon::clicked, this, [this] {
        if (m_enabled)
            Q_EMIT Click();
    });
    connect(&m_tray, &TrayIcon::doubleClicked, this, [this] {
        if (m_enabled)
            Q_EMIT DblClick();
    });
}

TCoolTrayIcon::~TCoolTrayIcon()
{
    RemoveTrayIcon();
}

void TCoolTrayIcon::setIconList(const QList<QIcon>& icons)
{
    m_icons = icons;
    setIconIndex(m_iconIndex);
}

void TCoolTrayIcon::setIconIndex(int index)
{
    if (m_icons.isEmpty())
        m_iconIndex = 0;
    else
        m_iconIndex = qBound(0, index, int(m_icons.size()) - 1);
    UpdateTrayIcon();
}

void TCoolTrayIcon::setHint(const QString& hint)
{
    m_hint = hint;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setShowHint(bool show)
{
    m_showHint = show;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setPopupMenu(QMenu* menu)
{
    m_tray.setContextMenu(menu);
}

QString TCoolTrayIcon::tooltip() const
{
    if (!m_showHint || m_hint.isEmpty())
        return {};
    return m_hint.left(kMaxTooltip);
}

void TCoolTrayIcon::AddTrayIcon()
{
    m_iconVisible = true;
    UpdateTrayIcon();
    m_tray.show();
}

void TCoolTrayIcon::UpdateTrayIcon()
{
    m_tray.setIcon(m_icons.isEmpty() ? QIcon() : m_icons.at(m_iconIndex));
    m_tray.setToolTip(tooltip());
}

void TCoolTrayIcon::RemoveTrayIcon()
{
    m_iconVisible = false;
    m_tray.hide();
}

} // namespace vellora
