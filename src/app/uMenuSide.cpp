#include "uMenuSide.h"

#include <QEvent>
#include <QMenu>
#include <QScreen>

QPoint NestedSubmenuPosition(const QRect& submenu, const QRect& menu, const QRect& outerMenu, const QRect& screen)
{
    const bool menuOpenedLeftwards = menu.center().x() < outerMenu.center().x();
    const bool submenuOpenedRightwards = submenu.center().x() > menu.center().x();
    if (!menuOpenedLeftwards || !submenuOpenedRightwards)
        return submenu.topLeft();
    const int left = menu.left() - submenu.width();
    return left >= screen.left() ? QPoint(left, submenu.top()) : submenu.topLeft();
}

void TSubmenuSide::Install(QMenu* menu)
{
    if (!menu->findChild<TSubmenuSide*>(QString(), Qt::FindDirectChildrenOnly))
        menu->installEventFilter(new TSubmenuSide(menu));
}

bool TSubmenuSide::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Show)
        return false;
    auto* shown = static_cast<QMenu*>(watched);
    // Submenus are built as the menus open: watch those of the menu being shown.
    for (QMenu* submenu : shown->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
        Install(submenu);
    auto* menu = qobject_cast<QMenu*>(shown->parentWidget());
    auto* outer = menu ? qobject_cast<QMenu*>(menu->parentWidget()) : nullptr;
    if (!outer || !menu->isVisible() || !outer->isVisible())
        return false;
    const QScreen* screen = shown->screen();
    const QPoint at = NestedSubmenuPosition(shown->geometry(), menu->geometry(), outer->geometry(),
                                            screen ? screen->availableGeometry() : QRect());
    if (at != shown->pos())
        shown->move(at);
    return false;
}
