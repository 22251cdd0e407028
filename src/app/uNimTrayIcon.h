#pragma once

#include <QEvent>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>

class QTimer;

// The program's icon in the system tray. Releasing the left or the right mouse button
// over it pops PopupMenu up with its top-left corner 12 pixels left of and 20 pixels
// above the pointer. The icon shows from Loaded() until destruction. Where the desktop
// has no system tray yet, the component says so once (standard error and a message
// box) and shows the icon as soon as a tray appears.
class TNimTray : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(QString Version READ Version WRITE setVersion)
public:
    static constexpr int kMaxTipLength = 63;
    static constexpr int kTrayPollMs = 1000;

    explicit TNimTray(QObject* owner = nullptr);
    ~TNimTray() override;

    QString Hint() const { return m_hint; }
    void setHint(const QString& hint) { m_hint = hint; }
    QMenu* PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu* menu) { m_popupMenu = menu; }
    QString Version() const { return QStringLiteral("1.00"); }
    void setVersion(const QString&) {} // always "1.00"

    // Sets the icon up once the properties are assigned: tip, icon, showing it.
    void Loaded();

    // The tip handed to the tray (Hint, or the application's title when Hint is empty,
    // cut to 63 characters); fixed at Loaded().
    QString TipText() const { return m_tip; }
    QSystemTrayIcon* trayIcon() const { return m_icon; }
    // True while no system tray has been found since Loaded().
    bool waitingForTray() const { return m_waiting; }

    // The icon's mouse message: a release of the left or right button pops the menu up
    // at the pointer; everything else does nothing.
    void WMTrayIcon(QEvent::Type type, Qt::MouseButton button);
    static QPoint PopupPosition(const QPoint& pointer) { return pointer - QPoint(12, 20); }

    // The text shown once when the desktop has no system tray.
    static QString NoTrayMessage();

signals:
    // The menu was popped up (after a click on the icon).
    void menuPopped();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    void checkForTray();
    void tellNoTray();
    bool embeddedInXTray() const;

    QString m_hint;
    QPointer<QMenu> m_popupMenu;
    QString m_tip;
    QSystemTrayIcon* m_icon = nullptr;
    QTimer* m_trayPoll = nullptr;
    bool m_loaded = false;
    bool m_waiting = false;
    bool m_told = false;
};
