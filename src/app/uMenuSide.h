#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QMenu;

// Where a submenu of a submenu goes. Qt puts each submenu on the right of its menu when it
// fits, so near the screen's right edge a submenu whose menu opened leftwards lands in the
// column of the menu they both came from (over it, once it is long enough) and shows its
// entries twice; it keeps to the left instead, when it fits there.
QPoint NestedSubmenuPosition(const QRect& submenu, const QRect& menu, const QRect& outerMenu, const QRect& screen);

// Applies that rule to menu's submenus, and theirs, each time one is shown.
class TSubmenuSide : public QObject
{
    Q_OBJECT
public:
    // Watches menu's submenus; owned by menu.
    static void Install(QMenu* menu);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
