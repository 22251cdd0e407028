#pragma once

#include "datModQuillory.h"

#include <QList>
#include <QString>

#include <functional>

class QAction;
class QMenu;

// The tray menu's dynamic part, built from the favourites store. A menu entry is tied to
// its record by nothing but its integer Tag (the QAction property "Tag"):
//   0            a fixed entry of the menu's design, never removed by BuildMenu
//   NewQueryTag  a "New Query" entry
//   other > 0    a folder entry: the folder's ID
//   < 0          a query entry: minus the query's ID
inline constexpr int NewQueryTag = 9999;

int Tag(const QAction* entry);
void SetTag(QAction* entry, int tag);
// The Tag of a menu's own entry (0 for a menu that is no one's submenu).
int MenuTag(const QMenu* menu);
// The Tag of the menu that holds the entry (0 at the top level).
int ParentTag(const QAction* entry);

// A click handler receives the clicked entry. Handlers run after the menu has closed.
using MenuHandler = std::function<void(QAction* sender)>;

// One entry of the tree that BuildMenu puts into a menu.
struct MenuNode
{
    QString caption; // the stored name, or "New Query"
    int tag = 0;
    // Which handler the entry gets: none, OnEmptyFolder, OnQuery or OnNewQuery.
    enum class Click
    {
        None,
        EmptyFolder,
        Query,
        NewQuery
    } click = Click::None;
    QList<MenuNode> children;
};

// The entries under a menu whose Tag is parentTag: "New Query" (when withNewQuery), the
// folders whose ParentID is parentTag and the queries whose parentID is parentTag, each
// group in the store's Name order; folders recursively. A folder with ID NewQueryTag is
// not descended into. Records with an ID below 1 cannot be told apart from fixed or
// query entries by their Tag and are left out; a folder met again below itself (a
// duplicate ID in a hand-edited file) is not descended into again.
QList<MenuNode> MenuEntries(const QList<FolderRecord>& folders, const QList<QueryRecord>& queries,
                            int parentTag, bool withNewQuery);

// Makes Item's entries whose Tag is not 0 those of MenuEntries for Item's Tag, after its
// fixed entries, keeping every entry that is already there as it is: folders with children become submenus, a folder
// left without children gets OnEmptyFolder, queries get OnQuery, "New Query" entries
// OnNewQuery. No "New Query" entries are made when OnNewQuery is empty. Captions show
// "&" literally. A submenu's own entries are made when it is about to show
// (QMenu::aboutToShow) for the first time after it was made or its menu was built again,
// from the store as it is then; the store must outlive the menu.
void BuildMenu(QMenu* Item, const TdmQuillory& store, const MenuHandler& OnEmptyFolder,
               const MenuHandler& OnQuery, const MenuHandler& OnNewQuery);

// As BuildMenu for a submenu of the fixed menus (the Delete menu), whose level is made
// only when it is next about to show, from the store as it is then. True when it will
// have entries, so that its own entry can be enabled or not at once.
bool BuildMenuWhenShown(QMenu* Item, const TdmQuillory& store, const MenuHandler& OnEmptyFolder,
                        const MenuHandler& OnQuery, const MenuHandler& OnNewQuery);
