#include "uBuildMenu.h"

#include <QAction>
#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QSet>

namespace {

const char* const kTagProperty = "Tag";

struct Children
{
    QList<const FolderRecord*> folders;
    QList<const QueryRecord*> queries;
};

class TreeBuilder
{
public:
    TreeBuilder(const QList<FolderRecord>& folders, const QList<QueryRecord>& queries)
    {
        // One pass over each table keeps the store's order within every parent and
        // spares a walk over both tables per folder.
        for (const FolderRecord& f : folders)
            if (f.ID >= 1)
                m_byParent[f.ParentID].folders.append(&f);
        for (const QueryRecord& q : queries)
            if (q.ID >= 1)
                m_byParent[q.parentID].queries.append(&q);
    }

    QList<MenuNode> build(int parentTag, bool withNewQuery)
    {
        QList<MenuNode> nodes;
        if (withNewQuery)
            nodes.append({QStringLiteral("New Query"), NewQueryTag, MenuNode::Click::NewQuery, {}});
        const auto it = m_byParent.constFind(parentTag);
        if (it != m_byParent.cend()) {
            for (const FolderRecord* f : it->folders)
                nodes.append({f->Name, f->ID, MenuNode::Click::None, {}});
            for (const QueryRecord* q : it->queries)
                nodes.append({q->Name, -q->ID, MenuNode::Click::Query, {}});
        }
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
    QHash<int, Children> m_byParent;
    QSet<int> m_path; // the folders being built, to stop at a folder met below itself
};

QString menuCaption(const QString& name)
{
    // The menu would read "&" as an accelerator marker and swallow it.
    QString caption = name;
    caption.replace(u'&', QLatin1String("&&"));
    return caption;
}

struct Handlers
{
    const MenuHandler& emptyFolder;
    const MenuHandler& query;
    const MenuHandler& newQuery;

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

void addNodes(QMenu* menu, const QList<MenuNode>& nodes, const Handlers& handlers)
{
    for (const MenuNode& node : nodes) {
        if (!node.children.isEmpty()) {
            auto* sub = new QMenu(menuCaption(node.caption), menu);
            SetTag(sub->menuAction(), node.tag);
            menu->addMenu(sub);
            addNodes(sub, node.children, handlers);
            continue;
        }
        auto* entry = new QAction(menuCaption(node.caption), menu);
        SetTag(entry, node.tag);
        const MenuHandler* handler = handlers.forClick(node.click);
        if (handler && *handler) {
            // Queued: the command runs once the menu has closed, and a rebuild made by
            // the command cannot pull the menu away under the click that started it.
            QObject::connect(
                entry, &QAction::triggered, entry, [h = *handler, entry] { h(entry); }, Qt::QueuedConnection);
        }
        menu->addAction(entry);
    }
}

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
    const QList<QAction*> entries = Item->actions();
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        QAction* entry = *it;
        if (Tag(entry) == 0)
            continue;
        Item->removeAction(entry);
        if (auto* sub = entry->menu<QMenu*>())
            delete sub; // owns its entry
        else
            delete entry;
    }
    addNodes(Item, MenuEntries(store.folders(), store.queries(), MenuTag(Item), bool(OnNewQuery)),
             {OnEmptyFolder, OnQuery, OnNewQuery});
}
