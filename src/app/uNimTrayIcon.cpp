#include "uNimTrayIcon.h"

#include "uWidgets.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include <cstdio>

namespace {
// The widget Qt docks into an XEmbed tray (where no tray host speaks D-Bus).
const QLatin1String kXEmbedTrayWidget("QSystemTrayIconSys");
} // namespace

TNimTray::TNimTray(QObject* owner) : QObject(owner)
{
    setObjectName(QStringLiteral("NimTray1"));
}

TNimTray::~TNimTray()
{
    if (m_loaded)
        qApp->removeEventFilter(this);
    if (m_icon)
        m_icon->hide();
}

QString TNimTray::NoTrayMessage()
{
    return QStringLiteral("%1 found no system tray on this desktop.\n"
                          "It keeps running and shows its icon as soon as a system tray is available.")
        .arg(QCoreApplication::applicationName());
}

void TNimTray::Loaded()
{
    if (m_loaded)
        return;
    m_loaded = true;

    // A tray program has no main window: closing its last dialog must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    if (m_hint.isEmpty())
        m_hint = QCoreApplication::applicationName();
    m_tip = m_hint.left(kMaxTipLength);

    m_icon = new QSystemTrayIcon(QApplication::windowIcon(), this);
    m_icon->setToolTip(m_tip);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TNimTray::trayActivated);
    // Qt reports XEmbed tray clicks on the press; the release is what opens the menu.
    qApp->installEventFilter(this);

    m_trayPoll = new QTimer(this);
    m_trayPoll->setInterval(kTrayPollMs);
    connect(m_trayPoll, &QTimer::timeout, this, &TNimTray::checkForTray);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_icon->show();
        return;
    }
    // Running with no visible trace would leave the user no way to reach the program.
    m_waiting = true;
    m_trayPoll->start();
    QTimer::singleShot(0, this, &TNimTray::tellNoTray);
}

void TNimTray::tellNoTray()
{
    if (m_told || !m_waiting)
        return;
    m_told = true;
    const QString message = NoTrayMessage();
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::fflush(stderr);
    ShowMessage(message);
}

void TNimTray::checkForTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayPoll->stop();
    m_waiting = false;
    // Qt docks the icon only when it is shown while a tray exists.
    m_icon->hide();
    m_icon->show();
}

bool TNimTray::embeddedInXTray() const
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.cbegin(), widgets.cend(),
                       [](const QWidget* w) { return w->objectName() == kXEmbedTrayWidget; });
}

void TNimTray::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    // XEmbed clicks are handled on the release, in eventFilter.
    if (embeddedInXTray())
        return;
    // A tray host that speaks D-Bus reports a finished click.
    if (reason == QSystemTrayIcon::Trigger)
        WMTrayIcon(QEvent::MouseButtonRelease, Qt::LeftButton);
    else if (reason == QSystemTrayIcon::Context)
        WMTrayIcon(QEvent::MouseButtonRelease, Qt::RightButton);
}

bool TNimTray::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && watched->isWidgetType() &&
        watched->objectName() == kXEmbedTrayWidget) {
        WMTrayIcon(event->type(), static_cast<QMouseEvent*>(event)->button());
    }
    return QObject::eventFilter(watched, event);
}

void TNimTray::WMTrayIcon(QEvent::Type type, Qt::MouseButton button)
{
    if (type != QEvent::MouseButtonRelease || (button != Qt::LeftButton && button != Qt::RightButton))
        return;
    if (!m_popupMenu)
        return;
    m_popupMenu->popup(PopupPosition(QCursor::pos()));
    // Take the keyboard too, as a foreground menu does.
    m_popupMenu->activateWindow();
    emit menuPopped();
}
