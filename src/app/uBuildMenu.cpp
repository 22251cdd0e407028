#include "uBuildMenu.h"

#include <algorithm>

#include <QAction>
#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QSet>

namespace {

const char* const kTagProperty = "Tag";

class TreeBuilder
{
public:
    TreeBuilder(const QList<FolderRecord>& folders, const QList<QueryRecord>& queries)
        : m_folders(folders), m_queries(queries)
    {
    }

    // One menu level: "New Query", then the folders, then the queries under parentTag,
    // each in the store's order. A scan of the tables: cheaper than grouping thousands
    // of queries by folder when one level is shown.
    QList<MenuNode> level(int parentTag, bool withNewQuery) const
    {
        QList<MenuNode> nodes;
        if (withNewQuery)
            nodes.append({QStringLiteral("New Query"), NewQueryTag, MenuNode::Click::NewQuery, {}});
        for (const FolderRecord& f : m_folders)
            if (f.ID >= 1 && f.ParentID == parentTag)
                nodes.append({f.Name(), f.ID, MenuNode::Click::None, {}});
        for (const QueryRecord& q : m_queries)
            if (q.ID >= 1 && q.parentID == parentTag)
                nodes.append({q.Name(), -q.ID, MenuNode::Click::Query, {}});
        return nodes;
    }

    // Whether the level under parentTag has any folder or query.
    bool anyAt(int parentTag) const
    {
        return std::any_of(m_folders.begin(), m_folders.end(),
                           [&](const FolderRecord& f) { return f.ID >= 1 && f.ParentID == parentTag; }) ||
               std::any_of(m_queries.begin(), m_queries.end(),
                           [&](const QueryRecord& q) { return q.ID >= 1 && q.parentID == parentTag; });
    }

    bool hasChildren(int folderTag) const
    {
        // Which folders hold anything: one pass when first asked (a menu with "New Query"
        // entries never asks: every folder there holds one).
        if (!m_parentsKnown) {
            for (const FolderRecord& f : m_folders)
                if (f.ID >= 1)
                    m_parents.insert(f.ParentID);
            for (const QueryRecord& q : m_queries)
                if (q.ID >= 1)
                    m_parents.insert(q.parentID);
            m_parentsKnown = true;
        }
        return m_parents.contains(folderTag);
    }

    QList<MenuNode> build(int parentTag, bool withNewQuery)
    {
        QList<MenuNode> nodes = level(parentTag, withNewQuery);
        m_path.insert(parentTag);
        for (MenuNode& node : nodes) {
            if (node.tag <= 0 || node.tag == NewQueryTag || m_path.contains(node.tag))
                continue;
            node.children = build(node.tag, withNewQuery);
            if (node.children.isEmpty())
                node.click = MenuNode::Click::EmptyFolder;
        }
        m_path.remove(parentTag);
        return nodes;
    }

private:
    const QList<FolderRecord>& m_folders;
    const QList<QueryRecord>& m_queries;
    mutable QSet<int> m_parents; // the IDs that folders or queries name as their parent
    mutable bool m_parentsKnown = false;
    QSet<int> m_path;    // the folders being built, to stop at a folder met below itself
};

QString menuCaption(const QString& name)
{
    // The menu would read "&" as an accelerator marker and swallow it.
    QString caption = name;
    caption.replace(u'&', QLatin1String("&&"));
    return caption;
}

struct MenuHandlers
{
    MenuHandler emptyFolder;
    MenuHandler query;
    MenuHandler newQuery;

    const MenuHandler* forClick(MenuNode::Click click) const
    {
        switch (click) {
        case MenuNode::Click::EmptyFolder:
            return &emptyFolder;
        case MenuNode::Click::Query:
            return &query;
        case MenuNode::Click::NewQuery:
            return &newQuery;
        case MenuNode::Click::None:
            break;
        }
        return nullptr;
    }
};

// The tags of the folders whose menus hold this one, itself included: a folder met
// again below itself (a duplicate ID in a hand-edited file) is not descended into.
QSet<int> pathOf(const QMenu* menu)
{
    QSet<int> path;
    for (const QObject* o = menu; o; o = o->parent())
        if (const auto* m = qobject_cast<const QMenu*>(o))
            path.insert(MenuTag(m));
    return path;
}

// Whether a submenu's entries follow the store: set when made, cleared when an update of
// the menu above may have left them behind.
const char* const kCurrentProperty = "quilloryCurrent";

void syncLevel(QMenu* menu, const TdmQuillory& store, const MenuHandlers& handlers);

// Only the entries of the level being shown are made: a submenu makes its own the first
// time it is about to show after a change, so a store of thousands of queries costs
// little at start and a change costs little in the menus.
QAction* makeSubmenu(QMenu* menu, const MenuNode& node, const TdmQuillory& store, const MenuHandlers& handlers)
{
    auto* sub = new QMenu(menuCaption(node.caption), menu);
    SetTag(sub->menuAction(), node.tag);
    sub->menuAction()->setData(int(node.click));
    QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, &store, handlers] {
        if (!sub->property(kCurrentProperty).toBool())
            syncLevel(sub, store, handlers);
    });
    return sub->menuAction();
}

QAction* makeEntry(QMenu* menu, const MenuNode& node, const MenuHandlers& handlers)
{
    auto* entry = new QAction(menuCaption(node.caption), menu);
    SetTag(entry, node.tag);
    entry->setData(int(node.click));
    const MenuHandler* handler = handlers.forClick(node.click);
    if (handler && *handler) {
        // Queued: the command runs once the menu has closed, and a rebuild made by
        // the command cannot pull the menu away under the click that started it.
        QObject::connect(
            entry, &QAction::triggered, entry, [h = *handler, entry] { h(entry); }, Qt::QueuedConnection);
    }
    return entry;
}

// What tells two entries apart: an entry whose key is unchanged is kept as it is.
struct EntryKey
{
    int tag;
    bool submenu;
    int click;
    QString caption;

    bool operator==(const EntryKey&) const = default;
};

size_t qHash(const EntryKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.tag, key.submenu, key.click, key.caption);
}

EntryKey keyOf(const QAction* entry)
{
    return {Tag(entry), entry->menu<QMenu*>() != nullptr, entry->data().toInt(), entry->text()};
}

void removeEntry(QMenu* menu, QAction* entry)
{
    menu->removeAction(entry);
    if (auto* sub = entry->menu<QMenu*>())
        delete sub; // owns its entry
    else
        delete entry;
}

// Brings the menu's own entries (Tag not 0) to the store's: entries that stay are kept
// (a kept submenu refreshes itself when next shown), others are made or removed, and
// the order follows the store. A change to one query so touches one entry per level.
void syncLevel(QMenu* menu, const TdmQuillory& store, const MenuHandlers& handlers)
{
    const QSet<int> path = pathOf(menu);
    const bool withNewQuery = bool(handlers.newQuery);
    const TreeBuilder tree(store.folders(), store.queries());
    QList<MenuNode> nodes = tree.level(MenuTag(menu), withNewQuery);
    QList<bool> submenu(nodes.size(), false);
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        MenuNode& node = nodes[i];
        const bool folder = node.tag > 0 && node.tag != NewQueryTag;
        if (!folder || path.contains(node.tag))
            continue;
        if (withNewQuery || tree.hasChildren(node.tag))
            submenu[i] = true;
        else
            node.click = MenuNode::Click::EmptyFolder;
    }

    QList<QAction*> current;
    QMultiHash<EntryKey, QAction*> unused;
    for (QAction* entry : menu->actions()) {
        if (Tag(entry) == 0)
            continue;
        current.append(entry);
        unused.insert(keyOf(entry), entry);
    }
    QList<QAction*> wanted;
    wanted.reserve(nodes.size());
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const MenuNode& node = nodes[i];
        const EntryKey key{node.tag, submenu[i], int(node.click), menuCaption(node.caption)};
        const auto it = unused.find(key);
        if (it != unused.end()) {
            QAction* kept = *it;
            unused.erase(it);
            if (auto* sub = kept->menu<QMenu*>())
                sub->setProperty(kCurrentProperty, false);
            wanted.append(kept);
        } else {
            wanted.append(submenu[i] ? makeSubmenu(menu, node, store, handlers) : makeEntry(menu, node, handlers));
        }
    }
    const QList<QAction*> goneList = unused.values();
    const QSet<QAction*> gone(goneList.cbegin(), goneList.cend());
    current.removeIf([&](QAction* a) { return gone.contains(a); });
    for (QAction* entry : goneList)
        removeEntry(menu, entry);
    if (current != wanted) {
        for (QAction* entry : std::as_const(current))
            menu->removeAction(entry);
        menu->addActions(wanted);
    }
    menu->setProperty(kCurrentProperty, true);
}

// A menu whose level is made when it is next about to show: one per such menu, holding
// what the latest BuildMenuWhenShown gave it.
class PendingLevel : public QObject
{
public:
    static constexpr const char* kName = "quilloryPendingLevel";

    explicit PendingLevel(QMenu* menu) : QObject(menu)
    {
        setObjectName(QLatin1String(kName));
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            if (store && !menu->property(kCurrentProperty).toBool())
                syncLevel(menu, *store, handlers);
        });
    }

    const TdmQuillory* store = nullptr;
    MenuHandlers handlers;
};

} // namespace

int Tag(const QAction* entry)
{
    return entry ? entry->property(kTagProperty).toInt() : 0;
}

void SetTag(QAction* entry, int tag)
{
    entry->setProperty(kTagProperty, tag);
}

int MenuTag(const QMenu* menu)
{
    return menu ? Tag(menu->menuAction()) : 0;
}

int ParentTag(const QAction* entry)
{
    return entry ? MenuTag(qobject_cast<const QMenu*>(entry->parent())) : 0;
}

QList<MenuNode> MenuEntries(const QList<FolderRecord>& folders, const QList<QueryRecord>& queries,
                            int parentTag, bool withNewQuery)
{
    return TreeBuilder(folders, queries).build(parentTag, withNewQuery);
}

void BuildMenu(QMenu* Item, const TdmQuillory& store, const MenuHandler& OnEmptyFolder,
               const MenuHandler& OnQuery, const MenuHandler& OnNewQuery)
{
    syncLevel(Item, store, {OnEmptyFolder, OnQuery, OnNewQuery});
}

bool BuildMenuWhenShown(QMenu* Item, const TdmQuillory& store, const MenuHandler& OnEmptyFolder,
                        const MenuHandler& OnQuery, const MenuHandler& OnNewQuery)
{
    auto* pending = dynamic_cast<PendingLevel*>(
        Item->findChild<QObject*>(QLatin1String(PendingLevel::kName), Qt::FindDirectChildrenOnly));
    if (!pending)
        pending = new PendingLevel(Item);
    pending->store = &store;
    pending->handlers = {OnEmptyFolder, OnQuery, OnNewQuery};
    Item->setProperty(kCurrentProperty, false);
    return bool(OnNewQuery) || TreeBuilder(store.folders(), store.queries()).anyAt(MenuTag(Item));
}
