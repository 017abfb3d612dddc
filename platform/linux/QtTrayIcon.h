#pragma once

#include "TrayIcon.h"

#include <QSystemTrayIcon>

namespace vellora {

class QtTrayIcon final : public TrayIcon
{
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject* parent = nullptr);

    bool isSystemTrayAvailable() const override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void setContextMenu(QMenu* menu) override;
    void show() override;
    void hide() override;
    bool isVisible() const override;

private:
    QSystemTrayIcon m_icon;
};

} // namespace vellora
