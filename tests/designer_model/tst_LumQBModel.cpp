#include "LumQBException.h"
#include "LumQBModel.h"
#include "testSupport.h"

#include <QtTest>

class tst_LumQBModel : public QObject
{
    Q_OBJECT
private slots:
    void aliasesOfAddedTables_data();
    void aliasesOfAddedTables();
    void aliasRunsOutAfter255();
    void tableAddedTwiceIsKept();
    void tableWithoutFieldsRefused();
    void changedAliasMustBeFree();
    void allRowsFromTogglesOneEnd_data();
    void allRowsFromTogglesOneEnd();
    void duplicateLinkRefused();
    void linkToStarOrMissingFieldRefused();
    void removingTableRemovesItsLinks();
    void sortOrderBookkeeping();
    void groupingFillsAndEmptiesColumn();
};

void tst_LumQBModel::aliasesOfAddedTables_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("aliases");
    QTest::newRow("first letters, then numbered")
        << QStringList{"Customers", "Categories", "Orders", "OrderItems"}
        << QStringList{"C", "C1", "O", "O1"};
    // SQL engines compare aliases without regard to case: "o" would clash with "O".
    QTest::newRow("names differing in case get aliases differing in more")
        << QStringList{"Orders", "orders"} << QStringList{"O", "o1"};
    QTest::newRow("a name starting outside the BMP keeps its whole first character")
        << QStringList{QString::fromUtf8("\xF0\x9F\x8D\x95Pizza"), QString::fromUtf8("\xF0\x9F\x8D\x95Pasta"),
                       "X"}
        << QStringList{QString::fromUtf8("\xF0\x9F\x8D\x95"), QString::fromUtf8("\xF0\x9F\x8D\x95") + "1",
                       "X"};
}

void tst_LumQBModel::aliasesOfAddedTables()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, aliases);
    TLumQBDiagram d;
    for (const QString& n : names)
        d.AddTable(n, {"ID"});
    QCOMPARE(d.TableCount(), names.size());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(d.Tables(i)->TableAlias, aliases[i]);
}

void tst_LumQBModel::aliasRunsOutAfter255()
{
    TLumQBDiagram d;
    d.AddTable("Customers", {"ID"});
    d.SetTableAlias(d.AddTable("Cats", {"ID"}), "C1");
    QCOMPARE(d.AddTable("Categories", {"ID"})->TableAlias, QString("C2"));
    for (int k = 3; k <= 255; ++k)
        d.AddTable(QString("C_%1").arg(k), {"ID"});
    QCOMPARE(d.AddTable("Cx", {"ID"})->TableAlias, QString("#ERROR"));
    QCOMPARE(d.AddTable("Cy", {"ID"})->TableAlias, QString("#ERROR"));
}

void tst_LumQBModel::tableAddedTwiceIsKept()
{
    TLumQBDiagram d;
    auto* t = d.AddTable("Orders", {"", "OrderID", "", "Freight"});
    QCOMPARE(t->Fields, QStringList({"*", "OrderID", "Freight"}));
    QCOMPARE(t->Ticked, QList<bool>({false, false, false}));
    QCOMPARE(d.AddTable("Orders", {"Other"}), t);
    QCOMPARE(d.TableCount(), 1);
}

void tst_LumQBModel::tableWithoutFieldsRefused()
{
    TLumQBDiagram d;
    expectError<ELumQBException>(
        [&] {
            d.AddTable("Empty", {"", ""});
        },
        "Table \"Empty\" doesn't have any fields!");
    QCOMPARE(d.TableCount(), 0);
}

void tst_LumQBModel::changedAliasMustBeFree()
{
    TLumQBDiagram d;
    auto* c = d.AddTable("Customers", {"ID"});
    auto* o = d.AddTable("Orders", {"ID"});
    QVERIFY_THROWS_EXCEPTION(ELumQBException, d.SetTableAlias(o, "C"));
    QCOMPARE(o->TableAlias, QString("O"));
    QVERIFY_THROWS_EXCEPTION(ELumQBException, d.SetTableAlias(o, "c"));
    d.SetTableAlias(c, "C"); // unchanged alias is no conflict
    d.SetTableAlias(c, "c"); // nor is its own alias in another case
    QCOMPARE(d.FindAlias("C"), c);
    d.SetTableAlias(o, "");
    QCOMPARE(d.FindAlias(""), o);
}

void tst_LumQBModel::allRowsFromTogglesOneEnd_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("toggled");
    QTest::newRow("inner, first") << int(jkInner) << 1 << int(jkLeftOuter);
    QTest::newRow("inner, second") << int(jkInner) << 2 << int(jkRightOuter);
    QTest::newRow("left, first") << int(jkLeftOuter) << 1 << int(jkInner);
    QTest::newRow("left, second") << int(jkLeftOuter) << 2 << int(jkFullOuter);
    QTest::newRow("right, first") << int(jkRightOuter) << 1 << int(jkFullOuter);
    QTest::newRow("right, second") << int(jkRightOuter) << 2 << int(jkInner);
    QTest::newRow("full, first") << int(jkFullOuter) << 1 << int(jkRightOuter);
    QTest::newRow("full, second") << int(jkFullOuter) << 2 << int(jkLeftOuter);
}

void tst_LumQBModel::allRowsFromTogglesOneEnd()
{
    QFETCH(int, kind);
    QFETCH(int, end);
    QFETCH(int, toggled);
    QCOMPARE(int(ToggledJoinKind(TJoinKind(kind), end)), toggled);
    // Toggling the same end again goes back.
    QCOMPARE(int(ToggledJoinKind(TJoinKind(toggled), end)), kind);
}

void tst_LumQBModel::duplicateLinkRefused()
{
    TLumQBDiagram d;
    auto* c = d.AddTable("Customers", {"CustomerID", "City"});
    auto* o = d.AddTable("Orders", {"OrderID", "CustomerID"});
    auto* l = d.AddLink(c, o, 1, 2);
    QCOMPARE(l->Field1, QString("CustomerID"));
    QCOMPARE(l->Field2, QString("CustomerID"));
    QCOMPARE(l->JoinKind, jkInner);
    QCOMPARE(l->JoinOperator, 0);
    for (auto [a, b, ia, ib] : {std::tuple{c, o, 1, 2}, std::tuple{o, c, 2, 1}}) {
        expectError<ELumQBException>([&] { d.AddLink(a, b, ia, ib); }, "These tables are already linked!");
    }
    d.AddLink(c, o, 2, 2); // other fields of the same two tables
    d.AddLink(c, c, 1, 2); // a table with itself
    QVERIFY_THROWS_EXCEPTION(ELumQBException, d.AddLink(c, c, 2, 1));
    QCOMPARE(d.LinkCount(), 3);
    QCOMPARE(d.FindLink(o, c, 2, 1), 0);
    QCOMPARE(d.FindLink(o, c, 2, 1, 1), -1);
}

void tst_LumQBModel::linkToStarOrMissingFieldRefused()
{
    TLumQBDiagram d;
    auto* c = d.AddTable("Customers", {"CustomerID"});
    auto* o = d.AddTable("Orders", {"OrderID"});
    expectError<ELumQBException>([&] { d.AddLink(c, o, 0, 1); },
                                 "The field \"*\" doesn't exists in table \"Customers\"!");
    QVERIFY_THROWS_EXCEPTION(ELumQBException, d.AddLink(c, o, 1, 5));
    QCOMPARE(d.LinkCount(), 0);
}

void tst_LumQBModel::removingTableRemovesItsLinks()
{
    TLumQBDiagram d;
    auto* a = d.AddTable("A", {"x", "y"});
    auto* b = d.AddTable("B", {"x", "y"});
    auto* c = d.AddTable("C", {"x"});
    d.AddLink(a, b, 1, 1);
    auto* kept = d.AddLink(b, c, 2, 1);
    d.AddLink(c, a, 1, 2);
    d.RemoveTable(a);
    QCOMPARE(d.TableCount(), 2);
    QCOMPARE(d.LinkCount(), 1);
    QCOMPARE(d.Links(0), kept);
    QCOMPARE(d.FindTable("A"), nullptr);
}

void tst_LumQBModel::sortOrderBookkeeping()
{
    auto orders = [](const TLumQBGridData& g) {
        QList<int> o;
        for (int i = 0; i < g.RowCount(); ++i)
            o << g.Row(i).SortOrder;
        return o;
    };
    TLumQBGridData g;
    for (const char* f : {"a", "b", "c", "d"})
        g.AddField(f, "T");
    QCOMPARE(g.AddField("b", "T"), 1);
    g.SetSortType(0, "Ascending");
    g.SetSortType(1, "Ascending");
    g.SetSortType(2, "Descending"); // unsorted row with two sorted: becomes 3
    QCOMPARE(orders(g), QList<int>({1, 2, 3, 0}));
    g.SetSortOrder(2, "1"); // swap
    QCOMPARE(orders(g), QList<int>({3, 2, 1, 0}));
    g.SetSortOrder(3, "1"); // unsorted row opens a gap and becomes Ascending
    QCOMPARE(orders(g), QList<int>({4, 3, 2, 1}));
    QCOMPARE(g.Row(3).SortType, QString("Ascending"));
    g.RemoveField("c", "T"); // closes the gap
    QCOMPARE(orders(g), QList<int>({3, 2, 1}));
    g.SetSortOrder(1, "Unsorted");
    QCOMPARE(orders(g), QList<int>({2, 0, 1}));
    QCOMPARE(g.Row(1).SortType, QString("Unsorted"));
    g.SetSortOrder(1, "9"); // past the end: the last free number
    QCOMPARE(orders(g), QList<int>({2, 3, 1}));
    g.SetSortType(0, "Unsorted");
    QCOMPARE(orders(g), QList<int>({0, 2, 1}));
    const int star = g.AddField("*", "T");
    g.SetSortType(star, "Ascending");
    g.SetSortOrder(star, "1");
    QCOMPARE(g.Row(star).SortOrder, 0);
    QCOMPARE(g.Row(star).SortType, QString("Unsorted"));
    g.RemoveTable("T");
    QVERIFY(g.IsEmpty());
}

void tst_LumQBModel::groupingFillsAndEmptiesColumn()
{
    TLumQBGridData g;
    g.SetCaption(g.AddField("*", "T"), "All");
    g.AddField("a", "T");
    g.SetGroupFunction(1, "Sum"); // refused while grouping is off
    QCOMPARE(g.Row(1).GroupBy, QString());
    g.SetUseGroupBy(true);
    QCOMPARE(g.Row(0).GroupBy, QString("Count"));
    QCOMPARE(g.Row(0).Caption, QString());
    QCOMPARE(g.Row(1).GroupBy, QString("Group By"));
    QCOMPARE(g.Row(g.AddField("b", "T")).GroupBy, QString("Group By"));
    g.SetGroupFunction(1, "Sum");
    g.SetUseGroupBy(false);
    g.SetUseGroupBy(true);
    QCOMPARE(g.Row(1).GroupBy, QString("Group By"));
}

QTEST_GUILESS_MAIN(tst_LumQBModel)
#include "tst_LumQBModel.moc"
