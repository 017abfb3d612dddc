#include "QtTrayIcon.h"

namespace vellora {

QtTrayIcon::QtTrayIcon(QObject* parent) : TrayIcon(parent)
{
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    Q_EMIT clicked();
                else if (reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT doubleClicked();
            });
}

bool QtTrayIcon::isSystemTrayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}
void QtTrayIcon::setIcon(const QIcon& icon)
{
    m_icon.setIcon(icon);
}
void QtTrayIcon::setToolTip(const QString& text)
{
    m_icon.setToolTip(text);
}
void QtTrayIcon::setContextMenu(QMenu* menu)
{
    m_icon.setContextMenu(menu);
}
void QtTrayIcon::show()
{
    m_icon.show();
}
void QtTrayIcon::hide()
{
    m_icon.hide();
}
bool QtTrayIcon::isVisible() const
{
    return m_icon.isVisible();
}

} // namespace vellora
