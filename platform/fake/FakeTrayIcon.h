#pragma once

#include "TrayIcon.h"

namespace vellora {

// A notification area that tests can look at and click.
class FakeTrayIcon final : public TrayIcon
{
    Q_OBJECT
public:
    explicit FakeTrayIcon(bool available = true, QObject* parent = nullptr)
        : TrayIcon(parent), m_available(available)
    {}

    bool isSystemTrayAvailable() const override { return m_available; }
    void setIcon(const QIcon& icon) override
    {
        m_iconSet = !icon.isNull();
        ++iconChanges;
    }
    void setToolTip(const QString& text) override { m_toolTip = text; }
    void setContextMenu(QMenu* menu) override { m_menu = menu; }
    void show() override { m_visible = true; }
    void hide() override { m_visible = false; }
    bool isVisible() const override { return m_visible; }

    QString toolTip() const { return m_toolTip; }
    QMenu* contextMenu() const { return m_menu; }
    bool hasIcon() const { return m_iconSet; }
    void click() { Q_EMIT clicked(); }
    void doubleClick() { Q_EMIT doubleClicked(); }

    int iconChanges = 0;

private:
    bool m_available;
    bool m_visible = false;
    bool m_iconSet = false;
    QString m_toolTip;
    QMenu* m_menu = nullptr;
};

} // namespace vellora
