#include "LumQBException.h"
#include "LumQBModel.h"
#include "LumQBSQL.h"
#include "testSupport.h"

#include <QtTest>

#include <functional>

namespace {

// A diagram with its grid, filled the way the table windows fill them: ticking a field
// adds its grid row.
struct Diagram
{
    TLumQBDiagram d;
    TLumQBGridData g;
    bool withGrid = true;

    TLumQBTableData* table(const QString& name, const QStringList& fields)
    {
        return d.AddTable(name, fields);
    }
    int tick(TLumQBTableData* t, const QString& field)
    {
        t->SetTicked(t->Fields.indexOf(field), true);
        return g.AddField(field, t->TableName);
    }
    TLumQBLinkData* link(TLumQBTableData* t1, const QString& f1, TLumQBTableData* t2, const QString& f2,
                         TJoinKind kind = jkInner, int op = 0)
    {
        TLumQBLinkData* l = d.AddLink(t1, t2, t1->Fields.indexOf(f1), t2->Fields.indexOf(f2));
        l->JoinKind = kind;
        l->JoinOperator = op;
        return l;
    }
    QStringList sql() const { return GetSQL(d, withGrid ? &g : nullptr); }
};

using Build = std::function<void(Diagram&)>;

const QStringList kCustomers{"CustomerID", "Company Name", "City"};
const QStringList kCustomers2{"CustomerID", "CompanyName", "City"};
const QStringList kOrders{"OrderID", "CustomerID", "OrderDate", "Freight"};

void example1(Diagram& x, bool star)
{
    auto* c = x.table("Customers", kCustomers);
    if (star)
        x.tick(c, "*");
    x.g.SetSortType(x.tick(c, "CustomerID"), "Ascending");
    x.g.SetCaption(x.tick(c, "Company Name"), "Name");
}

void example3(Diagram& x, bool star)
{
    auto* c = x.table("Customers", kCustomers2);
    auto* o = x.table("Orders", kOrders);
    x.link(c, "CustomerID", o, "CustomerID", jkLeftOuter);
    x.g.SetUseGroupBy(true);
    if (star)
        x.tick(c, "*");
    x.tick(c, "CompanyName");
    const int r = x.tick(o, "OrderID");
    x.g.SetGroupFunction(r, "Count");
    x.g.SetCaption(r, "Orders");
    x.g.SetSortType(r, "Descending");
}

} // namespace

Q_DECLARE_METATYPE(Build)

class tst_LumQBSQL : public QObject
{
    Q_OBJECT
private slots:
    void statementLines_data();
    void statementLines();
    void tickedFieldWithoutGridRowFails();
    void generationChangesNothing();
};

void tst_LumQBSQL::statementLines_data()
{
    QTest::addColumn<Build>("build");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty work area") << Build([](Diagram&) {}) << QStringList{"SELECT ", "FROM "};

    QTest::newRow("worked example 1: sort and caption")
        << Build([](Diagram& x) { example1(x, false); })
        << QStringList{"SELECT C.CustomerID, C.[Company Name] AS Name", "FROM Customers AS C",
                       "ORDER BY C.CustomerID"};

    QTest::newRow("worked example 1 with * ticked")
        << Build([](Diagram& x) { example1(x, true); })
        << QStringList{"SELECT C.*, C.CustomerID, C.[Company Name] AS Name", "FROM Customers AS C",
                       "ORDER BY C.CustomerID"};

    QTest::newRow("worked example 2: inner link, criteria on hidden column, desc sort")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               auto* o = x.table("Orders", kOrders);
               x.link(c, "CustomerID", o, "CustomerID");
               x.tick(c, "CompanyName");
               x.g.SetSortType(x.tick(o, "OrderDate"), "Descending");
               const int r = x.tick(o, "Freight");
               x.g.SetOutput(r, false);
               x.g.SetCriteria(r, "> 100");
           })
        << QStringList{"SELECT C.CompanyName, O.OrderDate", "FROM Customers AS C, Orders AS O",
                       "WHERE C.CustomerID=O.CustomerID AND O.Freight > 100", "ORDER BY O.OrderDate desc"};

    QTest::newRow("worked example 3: left outer join with grouping")
        << Build([](Diagram& x) { example3(x, false); })
        << QStringList{"SELECT C.CompanyName, Count(O.OrderID) AS Orders", "FROM ",
                       "Customers AS C LEFT OUTER JOIN Orders AS O ON C.CustomerID=O.CustomerID",
                       "GROUP BY C.CompanyName", "ORDER BY Orders desc"};

    QTest::newRow("worked example 3 with * ticked counts rows")
        << Build([](Diagram& x) { example3(x, true); })
        << QStringList{"SELECT Count(*), C.CompanyName, Count(O.OrderID) AS Orders", "FROM ",
                       "Customers AS C LEFT OUTER JOIN Orders AS O ON C.CustomerID=O.CustomerID",
                       "GROUP BY C.CompanyName", "ORDER BY Orders desc"};

    QTest::newRow("names with blanks in brackets") << Build([](Diagram& x) {
        auto* t = x.table("Order Details", {"OrderID", "Unit Price"});
        x.tick(t, "Unit Price");
    }) << QStringList{"SELECT O.[Unit Price]", "FROM [Order Details] AS O"};

    QTest::newRow("alias with blank bracketed in link and columns")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               auto* o = x.table("Orders", kOrders);
               x.d.SetTableAlias(o, "All Orders");
               x.link(c, "CustomerID", o, "CustomerID", jkInner, 5);
               x.tick(o, "OrderID");
           })
        << QStringList{"SELECT [All Orders].OrderID", "FROM Customers AS C, Orders AS [All Orders]",
                       "WHERE C.CustomerID<>[All Orders].CustomerID"};

    QTest::newRow("every operator text, two inner links joined by AND")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               auto* o = x.table("Orders", kOrders);
               x.link(c, "CustomerID", o, "CustomerID", jkInner, 3);
               x.link(c, "City", o, "Freight", jkInner, 4);
               x.link(o, "OrderID", c, "CompanyName", jkInner, 1);
               x.link(o, "OrderDate", c, "CustomerID", jkInner, 2);
           })
        << QStringList{
               "SELECT ", "FROM Customers AS C, Orders AS O",
               "WHERE C.CustomerID<=O.CustomerID AND C.City>=O.Freight AND O.OrderID<C.CompanyName AND "
               "O.OrderDate>C.CustomerID"};

    QTest::newRow("full and right outer keep Table1 first")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               auto* o = x.table("Orders", kOrders);
               x.link(o, "CustomerID", c, "CustomerID", jkRightOuter);
               x.link(c, "City", o, "Freight", jkFullOuter);
           })
        << QStringList{"SELECT ", "FROM ",
                       "Orders AS O RIGHT OUTER JOIN Customers AS C ON O.CustomerID=C.CustomerID",
                       "Customers AS C FULL OUTER JOIN Orders AS O ON C.City=O.Freight"};

    QTest::newRow("outer link beside a plain table; untouched table still listed")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               x.table("Categories", {"CategoryID"});
               auto* o = x.table("Orders", kOrders);
               x.link(c, "CustomerID", o, "CustomerID", jkLeftOuter);
               x.tick(o, "OrderID");
           })
        << QStringList{"SELECT O.OrderID", "FROM Categories AS C1",
                       "Customers AS C LEFT OUTER JOIN Orders AS O ON C.CustomerID=O.CustomerID"};

    QTest::newRow("sort terms follow sort order, not columns")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               const int a = x.tick(c, "CustomerID");
               const int b = x.tick(c, "City");
               x.g.SetSortType(a, "Ascending");
               x.g.SetSortType(b, "Descending");
               x.g.SetSortOrder(b, "1");
           })
        << QStringList{"SELECT C.CustomerID, C.City", "FROM Customers AS C",
                       "ORDER BY C.City desc, C.CustomerID"};

    QTest::newRow("caption on * ignored while grouping is off") << Build([](Diagram& x) {
        auto* c = x.table("Customers", kCustomers2);
        x.g.SetCaption(x.tick(c, "*"), "All");
    }) << QStringList{"SELECT C.*", "FROM Customers AS C"};

    QTest::newRow("grouping with every shown column aggregated has no GROUP BY") << Build([](Diagram& x) {
        auto* o = x.table("Orders", kOrders);
        x.g.SetUseGroupBy(true);
        x.g.SetGroupFunction(x.tick(o, "Freight"), "Sum");
        x.g.SetGroupFunction(x.tick(o, "OrderDate"), "Max");
    }) << QStringList{"SELECT Max(O.OrderDate), Sum(O.Freight)", "FROM Orders AS O"};

    QTest::newRow("grouping: hidden column stays out of GROUP BY, criteria tests the plain column")
        << Build([](Diagram& x) {
               auto* o = x.table("Orders", kOrders);
               x.g.SetUseGroupBy(true);
               x.tick(o, "CustomerID");
               const int r = x.tick(o, "Freight");
               x.g.SetGroupFunction(r, "Sum");
               x.g.SetCriteria(r, "> 10");
               const int h = x.tick(o, "OrderDate");
               x.g.SetOutput(h, false);
           })
        << QStringList{"SELECT O.CustomerID, Sum(O.Freight)", "FROM Orders AS O", "WHERE O.Freight > 10",
                       "GROUP BY O.CustomerID"};

    QTest::newRow("options and closing clauses") << Build([](Diagram& x) {
        x.d.OptionsClause = "DISTINCT ";
        x.d.ClosingClause = "LIMIT 10";
        auto* c = x.table("Customers", kCustomers2);
        x.tick(c, "City");
        x.tick(c, "CustomerID");
    }) << QStringList{"SELECT DISTINCT C.CustomerID, C.City", "FROM Customers AS C", "LIMIT 10"};

    // Mended: a "]" inside a bracketed name is doubled, and such a name is always bracketed.
    QTest::newRow("closing bracket in names is doubled") << Build([](Diagram& x) {
        auto* t = x.table("Odd]Table", {"a]b", "x y]"});
        x.tick(t, "a]b");
        x.tick(t, "x y]");
    }) << QStringList{"SELECT O.[a]]b], O.[x y]]]", "FROM [Odd]]Table] AS O"};

    // Mended: an OR in a criteria would otherwise loosen the join and the other criteria.
    QTest::newRow("criteria with OR is parenthesised, others stay as typed")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               auto* o = x.table("Orders", kOrders);
               x.link(c, "CustomerID", o, "CustomerID");
               x.g.SetCriteria(x.tick(o, "Freight"), "> 100 or O.Freight is null");
               x.g.SetCriteria(x.tick(o, "OrderDate"), "BETWEEN 1 AND 5");
               x.g.SetCriteria(x.tick(c, "City"), "IN ('Oslo', 'or', 'Bern') OR ([x or] = 1)");
               x.g.SetCriteria(x.tick(c, "CompanyName"), "LIKE 'A or B' AND C.City <> 'ORDER'");
           })
        << QStringList{
               "SELECT C.CompanyName, C.City, O.OrderDate, O.Freight", "FROM Customers AS C, Orders AS O",
               "WHERE C.CustomerID=O.CustomerID AND C.CompanyName LIKE 'A or B' AND C.City <> 'ORDER' AND "
               "(C.City IN ('Oslo', 'or', 'Bern') OR ([x or] = 1)) AND O.OrderDate BETWEEN 1 AND 5 AND "
               "(O.Freight > 100 or O.Freight is null)"};

    // Mended: WHERE cannot name a select-list caption, and a hidden column has none.
    QTest::newRow("caption renames in ORDER BY only while shown; WHERE uses the column")
        << Build([](Diagram& x) {
               auto* o = x.table("Orders", kOrders);
               const int shown = x.tick(o, "OrderDate");
               x.g.SetCaption(shown, "Placed");
               x.g.SetSortType(shown, "Descending");
               x.g.SetCriteria(shown, "> '2020-01-01'");
               const int hidden = x.tick(o, "Freight");
               x.g.SetOutput(hidden, false);
               x.g.SetCaption(hidden, "Cost");
               x.g.SetSortType(hidden, "Ascending");
               x.g.SetCriteria(hidden, "< 5");
           })
        << QStringList{"SELECT O.OrderDate AS Placed", "FROM Orders AS O",
                       "WHERE O.OrderDate > '2020-01-01' AND O.Freight < 5",
                       "ORDER BY Placed desc, O.Freight"};

    // Mended: a caption with a blank would end the statement's column list.
    QTest::newRow("caption with blank bracketed unless already quoted")
        << Build([](Diagram& x) {
               auto* c = x.table("Customers", kCustomers2);
               x.g.SetCaption(x.tick(c, "CompanyName"), "Company Name");
               x.g.SetCaption(x.tick(c, "City"), "\"Home town\"");
           })
        << QStringList{"SELECT C.CompanyName AS [Company Name], C.City AS \"Home town\"",
                       "FROM Customers AS C"};

    // Mended: without a grid, names are quoted like everywhere else.
    QTest::newRow("no grid: ticked fields are plain quoted columns") << Build([](Diagram& x) {
        x.withGrid = false;
        auto* t = x.table("Order Details", {"OrderID", "Unit Price"});
        t->SetTicked(0, true);
        t->SetTicked(2, true);
    }) << QStringList{"SELECT O.*, O.[Unit Price]", "FROM [Order Details] AS O"};
}

void tst_LumQBSQL::statementLines()
{
    QFETCH(Build, build);
    QFETCH(QStringList, expected);
    Diagram x;
    build(x);
    const QStringList actual = x.sql();
    for (int i = 0; i < std::min(actual.size(), expected.size()); ++i)
        QCOMPARE(actual[i], expected[i]);
    QCOMPARE(actual, expected);
}

void tst_LumQBSQL::tickedFieldWithoutGridRowFails()
{
    Diagram x;
    auto* c = x.table("Customers", kCustomers2);
    x.tick(c, "City");
    c->SetTicked(c->Fields.indexOf("CompanyName"), true);
    expectError<ELumQBException>([&] { x.sql(); },
                                 "Can't find row for column \"CompanyName\" in table \"Customers\"");
}

void tst_LumQBSQL::generationChangesNothing()
{
    Diagram x;
    example3(x, true);
    const QStringList first = x.sql();
    QCOMPARE(x.sql(), first);
    QCOMPARE(x.g.RowCount(), 3);
    QCOMPARE(x.g.Row(2).SortOrder, 1);
    QCOMPARE(x.d.LinkCount(), 1);
}

QTEST_GUILESS_MAIN(tst_LumQBSQL)
#include "tst_LumQBSQL.moc"
