#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;

namespace vellora {

// The notification-area icon. The real one wraps QSystemTrayIcon; tests use FakeTrayIcon,
// since the offscreen platform has no notification area.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~TrayIcon() override = default;

    virtual bool isSystemTrayAvailable() const = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& text) = 0;
    virtual void setContextMenu(QMenu* menu) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;

Q_SIGNALS:
    void clicked();
    void doubleClicked();
};

} // namespace vellora
