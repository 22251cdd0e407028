#include "uBuildMenu.h"
#include "uMenuSide.h"

#include "appTestSupport.h"
#include "utils.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The tray menu built from the store, read back as text: "Caption[tag]" for an entry,
// "=E", "=Q" or "=N" for the handler a click runs (empty folder, query, new query),
// "{...}" for a submenu's entries.
class tst_uBuildMenu : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyStoreGivesOneNewQueryAndAnEmptyDeleteMenu();
    void layoutFollowsTheStoreWithTags_data();
    void layoutFollowsTheStoreWithTags();
    void submenusFillWhenFirstShownFromTheStoreAsItIsThen();
    void aChangeTouchesOnlyTheEntriesItChanges();
    void deleteMenuFillsWhenShownAndTellsAtOnceWhetherItHasEntries();
    void clickRunsTheHandlerWithTheEntryAfterTheMenuCloses();
    void newQueryEntryReadsItsFolderFromItsParent();
    void rebuildingTwiceGivesTheSameMenuAndKeepsFixedEntries();
    void ampersandInANameShowsLiterally();
    void damagedParentLinksDoNotLoopOrShowUnusableEntries();
    void nestedSubmenuKeepsToTheSideItsMenuOpenedTo_data();
    void nestedSubmenuKeepsToTheSideItsMenuOpenedTo();

private:
    void load(const QList<FolderRow>& folders, const QList<QueryRow>& queries);
    QString describe(QMenu* menu);
    void build(QMenu* menu, bool trayMenu);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TdmQuillory> m_store;
    QStringList m_clicks;
};

void tst_uBuildMenu::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_clicks.clear();
}

void tst_uBuildMenu::cleanup()
{
    m_store.reset();
    m_dir.reset();
}

void tst_uBuildMenu::load(const QList<FolderRow>& folders, const QList<QueryRow>& queries)
{
    writeFavourites(m_dir->path(), folders, queries);
    m_store = std::make_unique<TdmQuillory>(m_dir->path());
    QVERIFY(m_store->startupErrors().isEmpty());
}

void tst_uBuildMenu::build(QMenu* menu, bool trayMenu)
{
    const auto record = [this](const char* kind) {
        return [this, kind](QAction* sender) {
            m_clicks
                << QStringLiteral("%1:%2:%3").arg(QLatin1String(kind)).arg(Tag(sender)).arg(sender->text());
        };
    };
    if (trayMenu)
        BuildMenu(menu, *m_store, {}, record("Q"), record("N"));
    else
        BuildMenu(menu, *m_store, record("E"), record("Q"), {});
}

QString tst_uBuildMenu::describe(QMenu* menu)
{
    QStringList parts;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            parts << QStringLiteral("-");
            continue;
        }
        QString part = QStringLiteral("%1[%2]").arg(a->text()).arg(Tag(a));
        if (auto* sub = a->menu<QMenu*>()) {
            part += u'{' + describe(shown(sub)) + u'}';
        } else {
            m_clicks.clear();
            a->trigger();
            QCoreApplication::processEvents();
            if (!m_clicks.isEmpty())
                part += u'=' + m_clicks.first().left(1);
        }
        parts << part;
    }
    return parts.join(u' ');
}

void tst_uBuildMenu::emptyStoreGivesOneNewQueryAndAnEmptyDeleteMenu()
{
    load({}, {});
    QMenu tray;
    QMenu* own = tray.addMenu(QStringLiteral("Quillory"));
    QMenu* del = own->addMenu(QStringLiteral("Delete"));
    tray.addSeparator();
    build(&tray, true);
    build(del, false);
    QCOMPARE(describe(&tray), QStringLiteral("Quillory[0]{Delete[0]{}} - New Query[9999]=N"));
    QVERIFY(del->actions().isEmpty());
}

void tst_uBuildMenu::layoutFollowsTheStoreWithTags_data()
{
    QTest::addColumn<bool>("trayMenu");
    QTest::addColumn<QString>("expected");
    QTest::newRow("tray menu") << true
                               << "New Query[9999]=N Archive[2]{New Query[9999]=N} "
                                  "Reports[1]{New Query[9999]=N Costs[-2]=Q Sales[-1]=Q} Top[-3]=Q";
    // A folder with queries only opens; an empty one is itself the thing to delete.
    QTest::newRow("delete menu") << false << "Archive[2]=E Reports[1]{Costs[-2]=Q Sales[-1]=Q} Top[-3]=Q";
}

void tst_uBuildMenu::layoutFollowsTheStoreWithTags()
{
    QFETCH(bool, trayMenu);
    QFETCH(QString, expected);
    // Added out of name order: the menu follows the store's Name order.
    load({{1, QStringLiteral("Reports")}, {2, QStringLiteral("Archive")}},
         {{1, QStringLiteral("Sales"), 1}, {3, QStringLiteral("Top"), 0}, {2, QStringLiteral("Costs"), 1}});
    QMenu menu;
    build(&menu, trayMenu);
    QCOMPARE(describe(&menu), expected);
}

// A store of thousands of queries must not cost an entry per query at start: a submenu
// is empty until it is about to show, and then holds the store's entries of that moment,
// nested folders included; showing it again adds nothing twice.
void tst_uBuildMenu::submenusFillWhenFirstShownFromTheStoreAsItIsThen()
{
    load({{1, QStringLiteral("Reports")}, {2, QStringLiteral("Monthly"), 1}},
         {{1, QStringLiteral("Sales"), 1}, {2, QStringLiteral("March"), 2}});
    QMenu menu;
    build(&menu, false);
    QMenu* reports = menu.actions().at(0)->menu<QMenu*>();
    QVERIFY(reports);
    QVERIFY(reports->actions().isEmpty());

    m_store->AddQuery(1, QStringLiteral("Costs"), "SELECT 1", "x");
    QCOMPARE(describe(&menu), QStringLiteral("Reports[1]{Monthly[2]{March[-2]=Q} Costs[-3]=Q Sales[-1]=Q}"));
    QCOMPARE(describe(&menu), QStringLiteral("Reports[1]{Monthly[2]{March[-2]=Q} Costs[-3]=Q Sales[-1]=Q}"));
}

// Building a menu again after a change keeps every entry that is still right (the same
// objects), makes the new ones and turns an emptied or filled folder into what it now is.
void tst_uBuildMenu::aChangeTouchesOnlyTheEntriesItChanges()
{
    load({{1, QStringLiteral("Reports")}, {2, QStringLiteral("Archive")}}, {{1, QStringLiteral("Sales"), 1}});
    QMenu menu;
    build(&menu, false);
    QCOMPARE(describe(&menu), QStringLiteral("Archive[2]=E Reports[1]{Sales[-1]=Q}"));
    const QPointer<QAction> reports = menu.actions().at(1);
    const QPointer<QAction> sales = shown(reports->menu<QMenu*>())->actions().at(0);

    m_store->AddQuery(1, QStringLiteral("Costs"), "SELECT 1", "x");
    m_store->AddQuery(2, QStringLiteral("Old"), "SELECT 1", "x");
    build(&menu, false);
    QCOMPARE(describe(&menu), QStringLiteral("Archive[2]{Old[-3]=Q} Reports[1]{Costs[-2]=Q Sales[-1]=Q}"));
    QCOMPARE(menu.actions().at(1), reports.data());
    QCOMPARE(reports->menu<QMenu*>()->actions().at(1), sales.data());
}

// The Delete menu is a submenu too: its level is made when it is about to show, as
// BuildMenu would make it, while its entry is enabled at once only when it will have any.
void tst_uBuildMenu::deleteMenuFillsWhenShownAndTellsAtOnceWhetherItHasEntries()
{
    const MenuHandler emptied = [this](QAction* sender) { m_clicks << QStringLiteral("E:%1").arg(Tag(sender)); };
    const MenuHandler query = [this](QAction* sender) { m_clicks << QStringLiteral("Q:%1").arg(Tag(sender)); };
    load({}, {});
    QMenu del;
    QVERIFY(!BuildMenuWhenShown(&del, *m_store, emptied, query, {}));
    QCOMPARE(describe(shown(&del)), QString());

    load({{1, QStringLiteral("Reports")}, {2, QStringLiteral("Archive")}},
         {{1, QStringLiteral("Sales"), 1}, {3, QStringLiteral("Top"), 0}, {2, QStringLiteral("Costs"), 1}});
    QVERIFY(BuildMenuWhenShown(&del, *m_store, emptied, query, {}));
    QVERIFY(del.actions().isEmpty());
    const QString layout = QStringLiteral("Archive[2]=E Reports[1]{Costs[-2]=Q Sales[-1]=Q} Top[-3]=Q");
    QCOMPARE(describe(shown(&del)), layout);
    const QPointer<QAction> reports = del.actions().at(1);

    // Built again after a change, twice: the next showing brings it up to date once,
    // keeping what is still right.
    m_store->AddQuery(2, QStringLiteral("Old"), "SELECT 1", "x");
    QVERIFY(BuildMenuWhenShown(&del, *m_store, emptied, query, {}));
    QVERIFY(BuildMenuWhenShown(&del, *m_store, emptied, query, {}));
    QCOMPARE(describe(shown(&del)),
             QStringLiteral("Archive[2]{Old[-4]=Q} Reports[1]{Costs[-2]=Q Sales[-1]=Q} Top[-3]=Q"));
    QCOMPARE(del.actions().at(1), reports.data());

    // Only a query at the top is enough to enable it.
    load({}, {{5, QStringLiteral("Alone"), 0}});
    QVERIFY(BuildMenuWhenShown(&del, *m_store, emptied, query, {}));
    QCOMPARE(describe(shown(&del)), QStringLiteral("Alone[-5]=Q"));
}

void tst_uBuildMenu::clickRunsTheHandlerWithTheEntryAfterTheMenuCloses()
{
    load({{4, QStringLiteral("Reports")}}, {{8, QStringLiteral("Sales"), 4}});
    QMenu menu;
    build(&menu, true);
    QAction* sales = shown(menu.actions().at(1)->menu<QMenu*>())->actions().at(1);
    QCOMPARE(sales->text(), QStringLiteral("Sales"));
    sales->trigger();
    QVERIFY2(m_clicks.isEmpty(), "the command must wait until the menu has closed");
    QCoreApplication::processEvents();
    QCOMPARE(m_clicks, QStringList{QStringLiteral("Q:-8:Sales")});
}

void tst_uBuildMenu::newQueryEntryReadsItsFolderFromItsParent()
{
    load({{7, QStringLiteral("Reports")}}, {});
    QMenu menu;
    build(&menu, true);
    QAction* top = menu.actions().at(0);
    QAction* inFolder = shown(menu.actions().at(1)->menu<QMenu*>())->actions().at(0);
    QCOMPARE(Tag(top), NewQueryTag);
    QCOMPARE(Tag(inFolder), NewQueryTag);
    QCOMPARE(ParentTag(top), 0);
    QCOMPARE(ParentTag(inFolder), 7);
}

void tst_uBuildMenu::rebuildingTwiceGivesTheSameMenuAndKeepsFixedEntries()
{
    load({{1, QStringLiteral("Reports")}, {9999, QStringLiteral("Odd")}},
         {{1, QStringLiteral("Sales"), 1}, {2, QStringLiteral("Top")}});
    QMenu tray;
    QMenu* own = tray.addMenu(QStringLiteral("Quillory"));
    QMenu* del = own->addMenu(QStringLiteral("Delete"));
    tray.addSeparator();
    build(&tray, true);
    build(del, false);
    const QString first = describe(&tray);
    build(&tray, true);
    build(del, false);
    QCOMPARE(describe(&tray), first);
    // A folder whose ID is the New Query tag shows, without children or a command.
    QCOMPARE(first, QStringLiteral("Quillory[0]{Delete[0]{Odd[9999] Reports[1]{Sales[-1]=Q} Top[-2]=Q}} - "
                                   "New Query[9999]=N Odd[9999] Reports[1]{New Query[9999]=N Sales[-1]=Q} "
                                   "Top[-2]=Q"));
}

void tst_uBuildMenu::ampersandInANameShowsLiterally()
{
    load({{3, QStringLiteral("R&D")}}, {});
    QMenu menu;
    build(&menu, false);
    QAction* folder = menu.actions().at(0);
    // Doubled so that the menu shows "R&D" instead of underlining the D.
    QCOMPARE(folder->text(), QStringLiteral("R&&D"));
    QCOMPARE(StripAmpersands(folder->text()), QStringLiteral("RD"));
}

void tst_uBuildMenu::damagedParentLinksDoNotLoopOrShowUnusableEntries()
{
    // A hand-edited file: folder 5 twice (once inside itself), a folder that is its own
    // parent, records whose IDs no Tag can carry.
    load({{5, QStringLiteral("Five")},
          {5, QStringLiteral("Five again"), 5},
          {6, QStringLiteral("Self"), 6},
          {0, QStringLiteral("Zero")},
          {-4, QStringLiteral("Negative")}},
         {{0, QStringLiteral("Query zero")}, {2, QStringLiteral("Kept")}});
    QMenu menu;
    build(&menu, false);
    QCOMPARE(describe(&menu), QStringLiteral("Five[5]{Five again[5]} Kept[-2]=Q"));
    const QList<MenuNode> nodes = MenuEntries(m_store->folders(), m_store->queries(), 0, true);
    QCOMPARE(nodes.size(), 3);
}

void tst_uBuildMenu::nestedSubmenuKeepsToTheSideItsMenuOpenedTo_data()
{
    QTest::addColumn<QRect>("submenu"); // where Qt put it
    QTest::addColumn<QRect>("menu");
    QTest::addColumn<QRect>("outer");
    QTest::addColumn<QPoint>("expected");
    // The tray at the bottom right: the tray menu at the edge, Quillory opened to its left.
    const QRect outer(1100, 500, 170, 280), menu(950, 520, 150, 150);
    QTest::newRow("over the tray menu: to the left") << QRect(1100, 540, 120, 200) << menu << outer << QPoint(830, 540);
    QTest::newRow("right of its menu, above the tray menu: to the left too")
        << QRect(1100, 160, 120, 40) << menu << outer << QPoint(830, 160);
    QTest::newRow("already on the left") << QRect(830, 540, 120, 200) << menu << outer << QPoint(830, 540);
    QTest::newRow("menu opened rightwards: as Qt put it")
        << QRect(1100, 540, 120, 200) << QRect(300, 520, 150, 150) << QRect(100, 500, 200, 280) << QPoint(1100, 540);
    QTest::newRow("no room on the left either: as Qt put it")
        << QRect(100, 540, 120, 200) << QRect(60, 520, 40, 150) << QRect(100, 500, 170, 280) << QPoint(100, 540);
}

void tst_uBuildMenu::nestedSubmenuKeepsToTheSideItsMenuOpenedTo()
{
    QFETCH(QRect, submenu);
    QFETCH(QRect, menu);
    QFETCH(QRect, outer);
    QFETCH(QPoint, expected);
    QCOMPARE(NestedSubmenuPosition(submenu, menu, outer, QRect(0, 0, 1280, 800)), expected);
}

QTEST_MAIN(tst_uBuildMenu)
#include "tst_uBuildMenu.moc"
