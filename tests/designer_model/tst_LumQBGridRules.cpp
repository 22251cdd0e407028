#include "LumQBDesignerRules.h"
#include "LumQBGridRules.h"
#include "LumQBModel.h"

#include <QtTest>

// The field grid's row rules, the cell editor's pick lists and the designer window's
// placement, hint and Apply rules, as tables of cases.
class tst_LumQBGridRules : public QObject
{
    Q_OBJECT
private slots:
    void sortRules_data();
    void sortRules();
    void groupByRules_data();
    void groupByRules();
    void cellEditors_data();
    void cellEditors();
    void placement_data();
    void placement();
    void hintText_data();
    void hintText();
    void applyRefusal_data();
    void applyRefusal();
};

namespace {

// Rows written as "table.field=S": S is A<n> or D<n> (ascending or descending with sort
// order n) or U (unsorted); "table." may be left out for the table T.
struct RowSpec
{
    QString table;
    QString field;
    QString state;
};

RowSpec parseRow(const QString& text)
{
    const QString name = text.section(u'=', 0, 0);
    RowSpec r;
    r.table = name.contains(u'.') ? name.section(u'.', 0, 0) : QStringLiteral("T");
    r.field = name.contains(u'.') ? name.section(u'.', 1) : name;
    r.state = text.section(u'=', 1);
    return r;
}

QString stateOf(const TLumQBGridRow& row)
{
    if (row.SortType == QLatin1String("Unsorted"))
        return row.SortOrder == 0 ? QStringLiteral("U") : QStringLiteral("U?%1").arg(row.SortOrder);
    const QString type = row.SortType == QLatin1String("Ascending") ? QStringLiteral("A") : QStringLiteral("D");
    return type + (row.SortOrder == 0 ? QStringLiteral("?") : QString::number(row.SortOrder));
}

QString describe(const TLumQBGridData& g)
{
    QStringList rows;
    for (int i = 0; i < g.RowCount(); ++i) {
        const TLumQBGridRow& r = g.Row(i);
        rows << (r.Table == QLatin1String("T") ? QString() : r.Table + u'.') + r.Column + u'=' + stateOf(r);
    }
    return rows.join(u' ');
}

// Builds the grid the way a user would: the fields ticked in order, then sorted one by one
// in the order of their numbers.
void build(TLumQBGridData& g, const QString& spec)
{
    QList<RowSpec> rows;
    for (const QString& part : spec.split(u' ', Qt::SkipEmptyParts))
        rows << parseRow(part);
    for (const RowSpec& r : rows)
        g.AddField(r.field, r.table);
    for (int order = 1; order <= rows.size(); ++order)
        for (const RowSpec& r : rows)
            if (r.state.mid(1).toInt() == order)
                g.SetSortType(g.FindRow(r.field, r.table),
                              r.state.startsWith(u'A') ? QStringLiteral("Ascending") : QStringLiteral("Descending"));
}

int rowOf(const TLumQBGridData& g, const QString& name)
{
    const RowSpec r = parseRow(name + u'=');
    return g.FindRow(r.field, r.table);
}

} // namespace

void tst_LumQBGridRules::sortRules_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("operation"); // verb, row name, value
    QTest::addColumn<QString>("expected");

    QTest::newRow("first sorted row gets order 1") << "a=U b=U" << "type b Descending" << "a=U b=D1";
    QTest::newRow("descending on an unsorted row after two sorted gives 3")
        << "a=A1 b=A2 c=U" << "type c Descending" << "a=A1 b=A2 c=D3";
    QTest::newRow("changing the direction keeps the order") << "a=A1 b=A2" << "type a Descending"
                                                            << "a=D1 b=A2";
    QTest::newRow("unsorting by type closes the gap") << "a=A1 b=D2 c=A3" << "type a Unsorted"
                                                      << "a=U b=D1 c=A2";
    QTest::newRow("order 1 for the row with 3 swaps") << "a=A1 b=A2 c=D3" << "order c 1" << "a=A3 b=A2 c=D1";
    QTest::newRow("order 1 for an unsorted row opens a gap and sorts ascending")
        << "a=A1 b=D2 c=U" << "order c 1" << "a=A2 b=D3 c=A1";
    QTest::newRow("order 2 for an unsorted row moves only the later ones")
        << "a=A1 b=D2 c=U" << "order c 2" << "a=A1 b=D3 c=A2";
    QTest::newRow("a row's own number changes nothing") << "a=A1 b=D2" << "order b 2" << "a=A1 b=D2";
    QTest::newRow("Unsorted as order closes the gap and unsorts") << "a=A1 b=D2 c=A3" << "order b Unsorted"
                                                                   << "a=A1 b=U c=A2";
    QTest::newRow("a number past the last is the next one") << "a=A1 b=U c=U" << "order c 7"
                                                             << "a=A1 b=U c=A2";
    QTest::newRow("removing order 2 of 1, 2, 3 renumbers 3 to 2") << "a=A1 b=A2 c=A3" << "remove b"
                                                                  << "a=A1 c=A2";
    QTest::newRow("removing an unsorted row leaves the orders") << "a=A2 b=U c=D1" << "remove b"
                                                               << "a=A2 c=D1";
    QTest::newRow("removing the only row empties the grid") << "a=A1" << "remove a" << "";
    QTest::newRow("removing a table closes every gap it leaves")
        << "S.a=A1 U.b=D2 S.c=A3 U.d=A4" << "removeTable S" << "U.b=D1 U.d=A2";
    QTest::newRow("star cannot be sorted ascending") << "*=U a=A1" << "type * Ascending" << "*=U a=A1";
    QTest::newRow("star cannot take an order") << "*=U a=A1" << "order * 1" << "*=U a=A1";
    QTest::newRow("ticking a field twice keeps one row") << "a=A1 b=U" << "add a" << "a=A1 b=U";
    QTest::newRow("a field of another table is another row") << "a=A1" << "add S.a" << "a=A1 S.a=U";
    QTest::newRow("names compare case-sensitively") << "a=A1" << "add A" << "a=A1 A=U";
}

void tst_LumQBGridRules::sortRules()
{
    QFETCH(QString, rows);
    QFETCH(QString, operation);
    QFETCH(QString, expected);
    TLumQBGridData g;
    build(g, rows);
    QCOMPARE(describe(g), rows);

    const QStringList op = operation.split(u' ');
    const QString verb = op[0];
    if (verb == QLatin1String("type"))
        g.SetSortType(rowOf(g, op[1]), op[2]);
    else if (verb == QLatin1String("order"))
        g.SetSortOrder(rowOf(g, op[1]), op[2]);
    else if (verb == QLatin1String("remove"))
        g.RemoveField(parseRow(op[1] + u'=').field, parseRow(op[1] + u'=').table);
    else if (verb == QLatin1String("removeTable"))
        g.RemoveTable(op[1]);
    else if (verb == QLatin1String("add"))
        g.AddField(parseRow(op[1] + u'=').field, parseRow(op[1] + u'=').table);
    else
        QFAIL("unknown operation");
    QCOMPARE(describe(g), expected);
    QCOMPARE(g.IsEmpty(), expected.isEmpty());

    // Whatever happened: the sorted rows hold exactly 1..n.
    QList<int> orders;
    for (int i = 0; i < g.RowCount(); ++i)
        if (g.Row(i).SortType != QLatin1String("Unsorted"))
            orders << g.Row(i).SortOrder;
    std::sort(orders.begin(), orders.end());
    for (int i = 0; i < orders.size(); ++i)
        QCOMPARE(orders[i], i + 1);
    QCOMPARE(g.SortedCount(), orders.size());
}

void tst_LumQBGridRules::groupByRules_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected"); // Column:GroupBy:Caption per row

    QTest::newRow("off: the column stays empty") << QStringList{"add *", "add a"} << "*::|a::";
    QTest::newRow("on: Group By, and Count for star")
        << QStringList{"add *", "add a", "on"} << "*:Count:|a:Group By:";
    QTest::newRow("turning on clears the star's caption, not others")
        << QStringList{"add *", "caption * All", "add a", "caption a Name", "on"} << "*:Count:|a:Group By:Name";
    QTest::newRow("rows added while on get their value")
        << QStringList{"on", "add a", "add *"} << "a:Group By:|*:Count:";
    QTest::newRow("a function is refused while off")
        << QStringList{"add a", "function a Sum"} << "a::";
    QTest::newRow("any typed function is kept while on")
        << QStringList{"add a", "on", "function a Total"} << "a:Total:";
    QTest::newRow("off then on again loses the chosen functions")
        << QStringList{"add a", "on", "function a Sum", "off", "on"} << "a:Group By:";
    QTest::newRow("turning off empties the column")
        << QStringList{"add a", "on", "function a Max", "off"} << "a::";
}

void tst_LumQBGridRules::groupByRules()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    TLumQBGridData g;
    for (const QString& step : steps) {
        const QStringList w = step.split(u' ');
        if (w[0] == QLatin1String("add"))
            g.AddField(w[1], QStringLiteral("T"));
        else if (w[0] == QLatin1String("on") || w[0] == QLatin1String("off"))
            g.SetUseGroupBy(w[0] == QLatin1String("on"));
        else if (w[0] == QLatin1String("caption"))
            g.SetCaption(g.FindRow(w[1], "T"), w[2]);
        else if (w[0] == QLatin1String("function"))
            g.SetGroupFunction(g.FindRow(w[1], "T"), w[2]);
    }
    QStringList rows;
    for (int i = 0; i < g.RowCount(); ++i)
        rows << g.Row(i).Column + u':' + g.Row(i).GroupBy + u':' + g.Row(i).Caption;
    QCOMPARE(rows.join(u'|'), expected);
}

void tst_LumQBGridRules::cellEditors_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<bool>("grouping");
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("style");
    QTest::addColumn<QStringList>("pickList");

    const int none = int(TLumQBEditStyle::None);
    const int text = int(TLumQBEditStyle::Text);
    const int pick = int(TLumQBEditStyle::PickList);
    const int pickText = int(TLumQBEditStyle::PickListText);
    const QStringList types{"Ascending", "Descending", "Unsorted"};
    const QStringList functions{"Group By", "Count", "Sum", "Avg", "Min", "Max"};

    QTest::newRow("table name") << "a=U" << false << "a" << int(gcTable) << none << QStringList();
    QTest::newRow("field name") << "a=U" << false << "a" << int(gcColumn) << none << QStringList();
    QTest::newRow("caption") << "a=U" << false << "a" << int(gcCaption) << text << QStringList();
    QTest::newRow("output is toggled, not edited") << "a=U" << false << "a" << int(gcOutput) << none
                                                   << QStringList();
    QTest::newRow("criteria") << "a=U" << false << "a" << int(gcCriteria) << text << QStringList();
    QTest::newRow("sort type") << "a=U" << false << "a" << int(gcSortType) << pick << types;
    QTest::newRow("sort type of star") << "*=U" << false << "*" << int(gcSortType) << pick
                                       << QStringList{"Unsorted"};
    QTest::newRow("order of the first row to sort") << "a=U" << false << "a" << int(gcSortOrder) << pick
                                                    << QStringList{"1", "Unsorted"};
    QTest::newRow("order of an unsorted row after two sorted")
        << "a=A1 b=D2 c=U" << false << "c" << int(gcSortOrder) << pick << QStringList{"3", "2", "1", "Unsorted"};
    QTest::newRow("order of a sorted row") << "a=A1 b=D2 c=U" << false << "b" << int(gcSortOrder) << pick
                                           << QStringList{"2", "1", "Unsorted"};
    QTest::newRow("order of star") << "*=U a=A1" << false << "*" << int(gcSortOrder) << pick
                                   << QStringList{"Unsorted"};
    QTest::newRow("group by while off has no editor") << "a=U" << false << "a" << int(gcGroupBy) << none
                                                      << QStringList();
    QTest::newRow("group by takes typed text") << "a=U" << true << "a" << int(gcGroupBy) << pickText
                                               << functions;
    QTest::newRow("star counts only") << "*=U" << true << "*" << int(gcGroupBy) << pick
                                      << QStringList{"Count"};
    QTest::newRow("the blank row of an empty grid") << "" << true << "a" << int(gcCaption) << none
                                                    << QStringList();
}

void tst_LumQBGridRules::cellEditors()
{
    QFETCH(QString, rows);
    QFETCH(bool, grouping);
    QFETCH(QString, row);
    QFETCH(int, column);
    QFETCH(int, style);
    QFETCH(QStringList, pickList);
    TLumQBGridData g;
    build(g, rows);
    g.SetUseGroupBy(grouping);
    const int r = g.IsEmpty() ? 0 : rowOf(g, row);
    const TLumQBCellEditor editor = GridCellEditor(g, r, column);
    QCOMPARE(int(editor.Style), style);
    QCOMPARE(editor.PickList, pickList);
}

void tst_LumQBGridRules::placement_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("positions");

    QTest::newRow("designer at 671 wide: five across, then a new row")
        << 671 << 7 << "20,20 170,20 320,20 470,20 620,20 20,170 170,170";
    QTest::newRow("narrow window: the second still goes right") << 300 << 3 << "20,20 170,20 20,170";
    QTest::newRow("left edge at exactly width - 170 starts a row") << 490 << 4 << "20,20 170,20 320,20 20,170";
    QTest::newRow("one pixel wider: one more across") << 491 << 5 << "20,20 170,20 320,20 470,20 20,170";
}

void tst_LumQBGridRules::placement()
{
    QFETCH(int, width);
    QFETCH(int, count);
    QFETCH(QString, positions);
    TLumQBPlacement p;
    QCOMPARE(QPoint(p.NextLeft(), p.NextTop()), QPoint(-130, 20));
    QStringList got;
    for (int i = 0; i < count; ++i) {
        const QPoint at = p.Advance(width);
        got << QStringLiteral("%1,%2").arg(at.x()).arg(at.y());
    }
    QCOMPARE(got.join(u' '), positions);
}

void tst_LumQBGridRules::hintText_data()
{
    QTest::addColumn<int>("tables");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << 0
                          << "Drag one of the tables on the left onto the query work area to start writing a query.";
    QTest::newRow("one") << 1
                         << "Drag another table from the list if you want to join information from two tables.\r\n"
                            "Note that tables can be resized and repositioned.";
    QTest::newRow("two") << 2
                         << "Join tables by dragging from one field  name in one table to the matching field in "
                            "another table ";
    QTest::newRow("three keeps what was shown") << 3 << "earlier text";
}

void tst_LumQBGridRules::hintText()
{
    QFETCH(int, tables);
    QFETCH(QString, expected);
    QCOMPARE(WorkAreaHintText(tables, QStringLiteral("earlier text")), expected);
}

void tst_LumQBGridRules::applyRefusal_data()
{
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QString>("links"); // "A.x-B.y" pairs by table and field
    QTest::addColumn<bool>("fields");
    QTest::addColumn<QString>("expected");

    const QStringList two{"Customers", "Orders"};
    const QStringList four{"Customers", "Orders", "Products", "Shippers"};
    QTest::newRow("no table") << QStringList() << "" << false << "You need to select one or more tables";
    QTest::newRow("one table without fields") << QStringList{"Customers"} << "" << false
                                              << "You need to select some fields";
    QTest::newRow("one table, unlinked, with a field") << QStringList{"Customers"} << "" << true << "";
    QTest::newRow("two unlinked tables, in the order added")
        << two << "" << true << "Unlinked tables Customers Orders ";
    QTest::newRow("two linked, a third and fourth not")
        << four << "Customers.id-Orders.id" << true << "Unlinked tables Products Shippers ";
    QTest::newRow("a self-link links its table")
        << two << "Customers.id-Customers.name Orders.id-Orders.name" << true << "";
    QTest::newRow("unlinked tables come before the missing fields")
        << two << "" << false << "Unlinked tables Customers Orders ";
    QTest::newRow("linked tables without fields") << two << "Orders.id-Customers.id" << false
                                                  << "You need to select some fields";
}

void tst_LumQBGridRules::applyRefusal()
{
    QFETCH(QStringList, tables);
    QFETCH(QString, links);
    QFETCH(bool, fields);
    QFETCH(QString, expected);
    TLumQBDiagram d;
    TLumQBGridData g;
    for (const QString& t : tables)
        d.AddTable(t, {"id", "name"});
    for (const QString& pair : links.split(u' ', Qt::SkipEmptyParts)) {
        const QString a = pair.section(u'-', 0, 0);
        const QString b = pair.section(u'-', 1, 1);
        TLumQBTableData* ta = d.FindTable(a.section(u'.', 0, 0));
        TLumQBTableData* tb = d.FindTable(b.section(u'.', 0, 0));
        d.AddLink(ta, tb, ta->Fields.indexOf(a.section(u'.', 1)), tb->Fields.indexOf(b.section(u'.', 1)));
    }
    if (fields && !tables.isEmpty())
        g.AddField(QStringLiteral("id"), tables.first());
    QCOMPARE(ApplyRefusal(d, g), expected);
}

QTEST_GUILESS_MAIN(tst_LumQBGridRules)
#include "tst_LumQBGridRules.moc"
