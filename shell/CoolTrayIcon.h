#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

class QMenu;

namespace vellora {

class TrayIcon;

// The program's icon in the notification area: which picture of its list it shows, its
// tooltip and its menu, and the clicks it passes on while enabled.
class TCoolTrayIcon final : public QObject
{
    Q_OBJECT
public:
    explicit TCoolTrayIcon(TrayIcon& tray, QObject* parent = nullptr);
    ~TCoolTrayIcon() override;

    TrayIcon& tray() const { return m_tray; }

    void setIconList(const QList<QIcon>& icons);
    const QList<QIcon>& iconList() const { return m_icons; }
    // Shows picture `index` of the list; an index past the end shows the last picture.
    void setIconIndex(int index);
    int iconIndex() const { return m_iconIndex; }

    void setHint(const QString& hint);
    const QString& hint() const { return m_hint; }
    void setShowHint(bool show);
    bool showHint() const { return m_showHint; }
    // While disabled, clicks on the icon do nothing.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }
    void setPopupMenu(QMenu* menu);

    void AddTrayIcon();
    void UpdateTrayIcon();
    void RemoveTrayIcon();
    bool iconVisible() const { return m_iconVisible; }

Q_SIGNALS:
    void Click();
    void DblClick();

private:
    QString tooltip() const;

    TrayIcon& m_tray;
    QList<QIcon> m_icons;
    int m_iconIndex = 0;
    QString m_hint;
    bool m_showHint = false;
    bool m_enabled = true;
    bool m_iconVisible = false;
};

} // namespace vellora
