#include "LumQBDocument.h"

#include "LumQBDesignText.h"
#include "LumQBException.h"
#include "LumQBGridModel.h"
#include "LumQBGridRules.h"
#include "testSupport.h"

#include <QAbstractItemModelTester>
#include <QtTest>

#include <functional>

// The designer's document: every operation with its rules and the signals it sends in
// order; the grid's item model driven by nothing but the document; and a diagram kept as
// text and restored gives the same statement and the same windows.
class tst_LumQBDocument : public QObject
{
    Q_OBJECT
private slots:
    void operationsCheckRulesAndSignalInOrder_data();
    void operationsCheckRulesAndSignalInOrder();
    void allRowsFromTogglesOneEnd_data();
    void allRowsFromTogglesOneEnd();
    void gridModelFollowsTheDocument_data();
    void gridModelFollowsTheDocument();
    void keptTextRestoresTheSameDiagram_data();
    void keptTextRestoresTheSameDiagram();
    void restoreLeavesOutWhatTheDatabaseLost();
};

namespace {

const QStringList kCustomers{"CustomerID", "CompanyName", "City"};
const QStringList kOrders{"OrderID", "CustomerID", "OrderDate", "Freight"};

QString linkName(const TLumQBLinkData* l)
{
    return l->Table1->TableAlias + '.' + l->Field1 + JoinOperatorText(l->JoinOperator) +
           l->Table2->TableAlias + '.' + l->Field2;
}

QString rect(const QRect& r)
{
    return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Every signal of a document as one line, in the order sent. Additions and removals carry
// the count at the time, so a line shows whether it came before or after the change.
class Recorder : public QObject
{
public:
    explicit Recorder(TLumQBDocument& doc) : m_doc(doc)
    {
        using D = TLumQBDocument;
        const auto& g = doc.Grid();
        on(&D::TableAboutToBeAdded,
           [this](int i) { log(QString("TableAboutToBeAdded %1 of %2").arg(i).arg(m_doc.TableCount())); });
        on(&D::TableAdded, [this](const TLumQBTableData* t) {
            log(QString("TableAdded %1 %2 %3 of %4")
                    .arg(t->TableName, t->TableAlias, rect(t->Geometry))
                    .arg(m_doc.TableCount()));
        });
        on(&D::TableAboutToBeRemoved, [this](const TLumQBTableData* t) {
            log(QString("TableAboutToBeRemoved %1 of %2").arg(t->TableName).arg(m_doc.TableCount()));
        });
        on(&D::TableRemoved, [this](const TLumQBTableData* t) {
            log(QString("TableRemoved %1 of %2").arg(t->TableName).arg(m_doc.TableCount()));
        });
        on(&D::TableAboutToChange, [this](const TLumQBTableData* t, D::TTablePart p) {
            log(QString("TableAboutToChange %1 %2").arg(t->TableName, part(p)));
        });
        on(&D::TableChanged, [this](const TLumQBTableData* t, D::TTablePart p) {
            const QString value = p == D::tpAlias      ? t->TableAlias
                                  : p == D::tpGeometry ? rect(t->Geometry)
                                                       : QString();
            log(QString("TableChanged %1 %2 %3").arg(t->TableName, part(p), value).trimmed());
        });
        on(&D::LinkAboutToBeAdded,
           [this](int i) { log(QString("LinkAboutToBeAdded %1 of %2").arg(i).arg(m_doc.LinkCount())); });
        on(&D::LinkAdded, [this](const TLumQBLinkData* l) {
            log(QString("LinkAdded %1 of %2").arg(linkName(l)).arg(m_doc.LinkCount()));
        });
        on(&D::LinkAboutToBeRemoved, [this](const TLumQBLinkData* l) {
            log(QString("LinkAboutToBeRemoved %1 of %2").arg(linkName(l)).arg(m_doc.LinkCount()));
        });
        on(&D::LinkRemoved, [this](const TLumQBLinkData* l) {
            log(QString("LinkRemoved %1 of %2").arg(linkName(l)).arg(m_doc.LinkCount()));
        });
        on(&D::LinkAboutToChange,
           [this](const TLumQBLinkData* l, D::TLinkPart) { log("LinkAboutToChange " + linkName(l)); });
        on(&D::LinkChanged, [this](const TLumQBLinkData* l, D::TLinkPart) {
            log(QString("LinkChanged %1 kind %2").arg(linkName(l)).arg(int(l->JoinKind)));
        });
        on(&D::ClausesAboutToChange, [this] { log("ClausesAboutToChange"); });
        on(&D::ClausesChanged, [this] {
            log("ClausesChanged " + m_doc.Diagram().OptionsClause + '|' + m_doc.Diagram().ClosingClause);
        });
        rows(&D::RowsAboutToBeInserted, "RowsAboutToBeInserted", g);
        rows(&D::RowsInserted, "RowsInserted", g);
        rows(&D::RowsAboutToBeRemoved, "RowsAboutToBeRemoved", g);
        rows(&D::RowsRemoved, "RowsRemoved", g);
        rows(&D::RowAboutToBeMoved, "RowAboutToBeMoved", g);
        rows(&D::RowMoved, "RowMoved", g);
        rows(&D::RowsAboutToChange, "RowsAboutToChange", g);
        rows(&D::RowsChanged, "RowsChanged", g);
        on(&D::GroupingAboutToChange, [this](bool on) { log(QString("GroupingAboutToChange %1").arg(on)); });
        on(&D::GroupingChanged, [this](bool on) { log(QString("GroupingChanged %1").arg(on)); });
        on(&D::AboutToBeReset, [this] { log(QString("AboutToBeReset of %1").arg(m_doc.TableCount())); });
        on(&D::Reset, [this] { log(QString("Reset of %1").arg(m_doc.TableCount())); });
    }

    QStringList lines;

private:
    template <typename Signal, typename F> void on(Signal signal, F f) { connect(&m_doc, signal, this, f); }
    template <typename Signal> void rows(Signal signal, const QString& name, const TLumQBGridData& g)
    {
        on(signal, [this, name, &g](int a, int b) {
            log(QString("%1 %2 %3 of %4").arg(name).arg(a).arg(b).arg(g.RowCount()));
        });
    }
    static QString part(TLumQBDocument::TTablePart p)
    {
        return QString::fromLatin1(QMetaEnum::fromType<TLumQBDocument::TTablePart>().valueToKey(p))
            .mid(2)
            .toLower();
    }
    void log(const QString& line) { lines << line; }

    TLumQBDocument& m_doc;
};

// Customers (C) and Orders (O) linked on CustomerID; rows: C.CompanyName, O.OrderDate
// (sorted descending, order 1), O.Freight.
struct Fixture
{
    TLumQBDocument doc;
    const TLumQBTableData* c = nullptr;
    const TLumQBTableData* o = nullptr;
    const TLumQBLinkData* link = nullptr;

    Fixture()
    {
        c = doc.AddTable("Customers", kCustomers, QRect(20, 20, 127, 80));
        o = doc.AddTable("Orders", kOrders, QRect(250, 40, 127, 100));
        link = doc.AddLink(c, o, 1, 2);
        tick(c, "CompanyName");
        tick(o, "OrderDate");
        tick(o, "Freight");
        doc.SetGridCell(1, gcSortType, "Descending");
    }
    void tick(const TLumQBTableData* t, const QString& field)
    {
        doc.SetFieldTicked(t, t->Fields.indexOf(field), true);
    }
    int index(const TLumQBTableData* t, const QString& field) const { return int(t->Fields.indexOf(field)); }
};

using Operation = std::function<void(Fixture&)>;

} // namespace

Q_DECLARE_METATYPE(Operation)

void tst_LumQBDocument::operationsCheckRulesAndSignalInOrder_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("expected");
    const QString none;

    // Tables
    QTest::newRow("add a table: the window grows to the smallest size") << Operation([](Fixture& f) {
        f.doc.AddTable("Employees", {"EmployeeID", "", "LastName"}, QRect(400, 30, 10, 10));
    }) << none << QStringList{"TableAboutToBeAdded 2 of 2", "TableAdded Employees E 400,30 50x24 of 3"};
    QTest::newRow("add a table already there: nothing")
        << Operation([](Fixture& f) { QCOMPARE(f.doc.AddTable("Orders", kOrders, {}), f.o); }) << none
        << QStringList{};
    QTest::newRow("add a table without fields: refused") << Operation([](Fixture& f) {
        f.doc.AddTable("Empty", {"", ""}, {});
    }) << "Table \"Empty\" doesn't have any fields!" << QStringList{};
    QTest::newRow("remove a table: its links, its rows (a sorted one unsorted first), then it")
        << Operation([](Fixture& f) { f.doc.RemoveTable(f.o); }) << none
        << QStringList{"TableAboutToBeRemoved Orders of 2",
                       "LinkAboutToBeRemoved C.CustomerID=O.CustomerID of 1",
                       "LinkRemoved C.CustomerID=O.CustomerID of 0",
                       "RowsAboutToBeRemoved 2 2 of 3",
                       "RowsRemoved 2 2 of 2",
                       "RowsAboutToChange 1 1 of 2",
                       "RowsChanged 1 1 of 2",
                       "RowsAboutToBeRemoved 1 1 of 2",
                       "RowsRemoved 1 1 of 1",
                       "TableRemoved Orders of 1"};
    QTest::newRow("a table of another document: refused") << Operation([](Fixture& f) {
        TLumQBDocument other;
        f.doc.RemoveTable(other.AddTable("Orders", kOrders, {}));
    }) << "The table \"Orders\" is not on the work area!" << QStringList{};
    QTest::newRow("rename an alias") << Operation([](Fixture& f) {
        f.doc.SetTableAlias(f.c, "Cu");
    }) << none << QStringList{"TableAboutToChange Customers alias", "TableChanged Customers alias Cu"};
    QTest::newRow("an alias differing only in case clashes")
        << Operation([](Fixture& f) { f.doc.SetTableAlias(f.o, "c"); })
        << "The alias you entered already exists!" << QStringList{};
    QTest::newRow("the same alias: nothing")
        << Operation([](Fixture& f) { f.doc.SetTableAlias(f.o, "O"); }) << none << QStringList{};
    QTest::newRow("move and size a window")
        << Operation([](Fixture& f) { f.doc.SetTableGeometry(f.o, QRect(300, 60, 150, 200)); }) << none
        << QStringList{"TableAboutToChange Orders geometry", "TableChanged Orders geometry 300,60 150x200"};
    QTest::newRow("size below the smallest window, then the same again")
        << Operation([](Fixture& f) {
               f.doc.SetTableGeometry(f.o, QRect(-5, 0, 3, 3));
               f.doc.SetTableGeometry(f.o, QRect(-5, 0, 50, 24));
           })
        << none
        << QStringList{"TableAboutToChange Orders geometry", "TableChanged Orders geometry -5,0 50x24"};

    // Ticks
    QTest::newRow("tick a field: its row at the end")
        << Operation([](Fixture& f) { f.tick(f.c, "City"); }) << none
        << QStringList{"TableAboutToChange Customers ticks", "RowsAboutToBeInserted 3 3 of 3",
                       "RowsInserted 3 3 of 4", "TableChanged Customers ticks"};
    QTest::newRow("untick a sorted field: unsorted, then its row goes")
        << Operation([](Fixture& f) { f.doc.SetFieldTicked(f.o, f.index(f.o, "OrderDate"), false); }) << none
        << QStringList{
               "TableAboutToChange Orders ticks", "RowsAboutToChange 1 1 of 3", "RowsChanged 1 1 of 3",
               "RowsAboutToBeRemoved 1 1 of 3",   "RowsRemoved 1 1 of 2",       "TableChanged Orders ticks"};
    QTest::newRow("tick a ticked field, or one outside the list: nothing") << Operation([](Fixture& f) {
        f.tick(f.o, "Freight");
        f.doc.SetFieldTicked(f.o, 9, true);
        f.doc.SetFieldTicked(f.o, -1, false);
    }) << none << QStringList{};
    QTest::newRow("select all: the rows in field order")
        << Operation([](Fixture& f) { f.doc.SetAllFieldsTicked(f.c, true); }) << none
        << QStringList{"TableAboutToChange Customers ticks",
                       "RowsAboutToBeInserted 3 3 of 3",
                       "RowsInserted 3 3 of 4",
                       "RowsAboutToBeInserted 4 4 of 4",
                       "RowsInserted 4 4 of 5",
                       "RowsAboutToBeInserted 5 5 of 5",
                       "RowsInserted 5 5 of 6",
                       "TableChanged Customers ticks"};
    QTest::newRow("select none") << Operation([](Fixture& f) { f.doc.SetAllFieldsTicked(f.c, false); })
                                 << none
                                 << QStringList{"TableAboutToChange Customers ticks",
                                                "RowsAboutToBeRemoved 0 0 of 3", "RowsRemoved 0 0 of 2",
                                                "TableChanged Customers ticks"};

    // Links
    QTest::newRow("link a table to itself")
        << Operation([](Fixture& f) { f.doc.AddLink(f.o, f.o, 1, 2); }) << none
        << QStringList{"LinkAboutToBeAdded 1 of 1", "LinkAdded O.OrderID=O.CustomerID of 2"};
    QTest::newRow("the same two fields the other way: refused")
        << Operation([](Fixture& f) { f.doc.AddLink(f.o, f.c, 2, 1); }) << "These tables are already linked!"
        << QStringList{};
    QTest::newRow("a link to *: refused")
        << Operation([](Fixture& f) { f.doc.AddLink(f.c, f.o, 0, 1); })
        << "The field \"*\" doesn't exists in table \"Customers\"!" << QStringList{};
    QTest::newRow("remove a link") << Operation([](Fixture& f) { f.doc.RemoveLink(f.link); }) << none
                                   << QStringList{"LinkAboutToBeRemoved C.CustomerID=O.CustomerID of 1",
                                                  "LinkRemoved C.CustomerID=O.CustomerID of 0"};
    QTest::newRow("remove a table's links")
        << Operation([](Fixture& f) { f.doc.RemoveTableLinks(f.c); }) << none
        << QStringList{"LinkAboutToBeRemoved C.CustomerID=O.CustomerID of 1",
                       "LinkRemoved C.CustomerID=O.CustomerID of 0"};
    QTest::newRow("change operator and kind")
        << Operation([](Fixture& f) { f.doc.SetLinkJoin(f.link, 5, jkFullOuter); }) << none
        << QStringList{"LinkAboutToChange C.CustomerID=O.CustomerID",
                       "LinkChanged C.CustomerID<>O.CustomerID kind 3"};
    QTest::newRow("an operator past <>: refused")
        << Operation([](Fixture& f) { f.doc.SetLinkJoin(f.link, 6, jkInner); }) << "Invalid join operator 6"
        << QStringList{};
    QTest::newRow("toggle all rows from Customers")
        << Operation([](Fixture& f) { f.doc.ToggleAllRowsFrom(f.link, 1); }) << none
        << QStringList{"LinkAboutToChange C.CustomerID=O.CustomerID",
                       "LinkChanged C.CustomerID=O.CustomerID kind 1"};
    QTest::newRow("a link has no third end")
        << Operation([](Fixture& f) { f.doc.ToggleAllRowsFrom(f.link, 3); }) << "A link has no end 3"
        << QStringList{};
    QTest::newRow("point an end at another field, found in any case")
        << Operation([](Fixture& f) {
               f.doc.SetLinkField(f.link, 2, "orderid");
               QCOMPARE(f.link->FieldIndex2, 1);
           })
        << none
        << QStringList{"LinkAboutToChange C.CustomerID=O.CustomerID",
                       "LinkChanged C.CustomerID=O.orderid kind 0"};
    QTest::newRow("an end at a field the table lacks: refused")
        << Operation([](Fixture& f) { f.doc.SetLinkField(f.link, 1, "Freight"); })
        << "The field \"Freight\" doesn't exists in table \"Customers\"!" << QStringList{};

    // Grid rows and cells
    QTest::newRow("a caption") << Operation([](Fixture& f) { f.doc.SetGridCell(0, gcCaption, "Name"); })
                               << none << QStringList{"RowsAboutToChange 0 0 of 3", "RowsChanged 0 0 of 3"};
    QTest::newRow("sort order 1 for another row moves the first key to 2") << Operation([](Fixture& f) {
        f.doc.SetGridCell(2, gcSortOrder, "1");
        QCOMPARE(f.doc.Grid().Row(1).SortOrder, 2);
    }) << none << QStringList{"RowsAboutToChange 1 2 of 3", "RowsChanged 1 2 of 3"};
    QTest::newRow("hide a row, then the same text again") << Operation([](Fixture& f) {
        f.doc.SetGridCell(0, gcOutput, "");
        f.doc.SetGridCell(0, gcOutput, "");
    }) << none << QStringList{"RowsAboutToChange 0 0 of 3", "RowsChanged 0 0 of 3"};
    QTest::newRow("a group function while grouping is off, a row past the end: nothing")
        << Operation([](Fixture& f) {
               f.doc.SetGridCell(0, gcGroupBy, "Sum");
               f.doc.SetGridCell(3, gcCaption, "x");
           })
        << none << QStringList{};
    QTest::newRow("the table column cannot be set")
        << Operation([](Fixture& f) { f.doc.SetGridCell(0, gcTable, "Orders"); })
        << "Column 1 of the grid cannot be set" << QStringList{};
    QTest::newRow("a row for a field, or the one it has") << Operation([](Fixture& f) {
        QCOMPARE(f.doc.AddGridRow("City", "Customers"), 3);
        QCOMPARE(f.doc.AddGridRow("OrderDate", "Orders"), 1);
    }) << none << QStringList{"RowsAboutToBeInserted 3 3 of 3", "RowsInserted 3 3 of 4"};
    QTest::newRow("move a row down") << Operation([](Fixture& f) {
        f.doc.MoveGridRow(0, 2);
        QCOMPARE(f.doc.Grid().Row(2).Column, QString("CompanyName"));
    }) << none << QStringList{"RowAboutToBeMoved 0 2 of 3", "RowMoved 0 2 of 3"};
    QTest::newRow("move a row past the end: refused")
        << Operation([](Fixture& f) { f.doc.MoveGridRow(1, 3); }) << "Row 3 is not in the grid"
        << QStringList{};
    QTest::newRow("grouping on") << Operation([](Fixture& f) {
        f.doc.SetUseGroupBy(true);
        QCOMPARE(f.doc.Grid().Row(2).GroupBy, QString("Group By"));
    }) << none << QStringList{"GroupingAboutToChange 1", "GroupingChanged 1"};

    // The whole
    QTest::newRow("clauses") << Operation([](Fixture& f) {
        f.doc.SetClauses("TOP 5", "");
        f.doc.SetClauses("TOP 5", "");
    }) << none << QStringList{"ClausesAboutToChange", "ClausesChanged TOP 5|"};
    QTest::newRow("clear: one reset pair, everything gone")
        << Operation([](Fixture& f) {
               f.doc.SetUseGroupBy(true);
               f.doc.Clear();
               QCOMPARE(f.doc.LinkCount(), 0);
               QVERIFY(f.doc.Grid().IsEmpty());
               QVERIFY(!f.doc.Grid().UseGroupBy());
               QCOMPARE(f.doc.GetSQL(true), (QStringList{"SELECT ", "FROM "}));
           })
        << none
        << QStringList{"GroupingAboutToChange 1", "GroupingChanged 1", "AboutToBeReset of 2", "Reset of 0"};
}

void tst_LumQBDocument::operationsCheckRulesAndSignalInOrder()
{
    QFETCH(Operation, operation);
    QFETCH(QString, error);
    QFETCH(QStringList, expected);
    Fixture f;
    const QString before = DesignToText(f.doc.Design());
    Recorder recorder(f.doc);
    if (error.isEmpty()) {
        operation(f);
    } else {
        QCOMPARE(errorMessage<ELumQBException>([&] { operation(f); }), error);
        // A refused operation changes nothing.
        QCOMPARE(DesignToText(f.doc.Design()), before);
    }
    QCOMPARE(recorder.lines, expected);
    // Whatever happened, the document still makes a statement: every ticked field has its row.
    f.doc.GetSQL(true);
}

void tst_LumQBDocument::allRowsFromTogglesOneEnd_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("toggled");
    QTest::newRow("inner, end 1") << int(jkInner) << 1 << int(jkLeftOuter);
    QTest::newRow("inner, end 2") << int(jkInner) << 2 << int(jkRightOuter);
    QTest::newRow("left, end 1") << int(jkLeftOuter) << 1 << int(jkInner);
    QTest::newRow("left, end 2") << int(jkLeftOuter) << 2 << int(jkFullOuter);
    QTest::newRow("right, end 1") << int(jkRightOuter) << 1 << int(jkFullOuter);
    QTest::newRow("right, end 2") << int(jkRightOuter) << 2 << int(jkInner);
    QTest::newRow("full, end 1") << int(jkFullOuter) << 1 << int(jkRightOuter);
    QTest::newRow("full, end 2") << int(jkFullOuter) << 2 << int(jkLeftOuter);
}

void tst_LumQBDocument::allRowsFromTogglesOneEnd()
{
    QFETCH(int, kind);
    QFETCH(int, end);
    QFETCH(int, toggled);
    Fixture f;
    f.doc.SetLinkJoin(f.link, 4, TJoinKind(kind));
    f.doc.ToggleAllRowsFrom(f.link, end);
    QCOMPARE(int(f.link->JoinKind), toggled);
    QCOMPARE(f.link->JoinOperator, 4); // the operator stays
    // Twice is as before.
    f.doc.ToggleAllRowsFrom(f.link, end);
    QCOMPARE(int(f.link->JoinKind), kind);
}

void tst_LumQBDocument::gridModelFollowsTheDocument_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("expected"); // the model's signals
    QTest::addColumn<QStringList>("fields");   // the Column cells afterwards
    QTest::addColumn<int>("keptRow");          // where the index of Orders.Freight is now

    QTest::newRow("a tick appends a row")
        << Operation([](Fixture& f) { f.tick(f.c, "City"); }) << QStringList{"rowsInserted 3 3"}
        << QStringList{"CompanyName", "OrderDate", "Freight", "City"} << 2;
    QTest::newRow("a removal above moves the kept row up")
        << Operation([](Fixture& f) { f.doc.RemoveGridRow("CompanyName", "Customers"); })
        << QStringList{"rowsRemoved 0 0"} << QStringList{"OrderDate", "Freight"} << 1;
    QTest::newRow("unticking a sorted field changes, then removes its row")
        << Operation([](Fixture& f) { f.doc.SetFieldTicked(f.o, f.index(f.o, "OrderDate"), false); })
        << QStringList{"dataChanged 1 1", "rowsRemoved 1 1"} << QStringList{"CompanyName", "Freight"} << 1;
    QTest::newRow("a sort order changes the rows it moves")
        << Operation([](Fixture& f) { f.doc.SetGridCell(2, gcSortOrder, "1"); })
        << QStringList{"dataChanged 1 2"} << QStringList{"CompanyName", "OrderDate", "Freight"} << 2;
    QTest::newRow("a moved row") << Operation([](Fixture& f) { f.doc.MoveGridRow(2, 0); })
                                 << QStringList{"rowsMoved 2 0"}
                                 << QStringList{"Freight", "CompanyName", "OrderDate"} << 0;
    QTest::newRow("grouping rewrites every row")
        << Operation([](Fixture& f) { f.doc.SetUseGroupBy(true); }) << QStringList{"dataChanged 0 2"}
        << QStringList{"CompanyName", "OrderDate", "Freight"} << 2;
    QTest::newRow("the last rows going leave the blank row") << Operation([](Fixture& f) {
        f.doc.RemoveTable(f.o);
        f.doc.SetAllFieldsTicked(f.c, false);
    }) << QStringList{"rowsRemoved 2 2", "dataChanged 1 1", "rowsRemoved 1 1", "dataChanged 0 0"}
                                                             << QStringList{""} << -1;
    QTest::newRow("a row into the empty grid fills the blank row")
        << Operation([](Fixture& f) {
               f.doc.Clear();
               f.doc.AddTable("Customers", kCustomers, {});
               f.doc.SetAllFieldsTicked(f.doc.Tables(0), true);
           })
        << QStringList{"modelReset", "dataChanged 0 0", "rowsInserted 1 1", "rowsInserted 2 2",
                       "rowsInserted 3 3"}
        << QStringList{"*", "CustomerID", "CompanyName", "City"} << -1;
}

void tst_LumQBDocument::gridModelFollowsTheDocument()
{
    QFETCH(Operation, operation);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, fields);
    QFETCH(int, keptRow);
    Fixture f;
    TLumQBGridModel model;
    model.SetDocument(&f.doc);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QPersistentModelIndex kept = model.index(2, gcCriteria);

    QStringList signalsSeen;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    auto range = [&](const char* name) {
        return [&signalsSeen, name](const QModelIndex&, int a, int b) {
            signalsSeen << QString("%1 %2 %3").arg(name).arg(a).arg(b);
        };
    };
    connect(&model, &QAbstractItemModel::rowsInserted, this, range("rowsInserted"));
    connect(&model, &QAbstractItemModel::rowsRemoved, this, range("rowsRemoved"));
    connect(&model, &QAbstractItemModel::rowsMoved, this,
            [&](const QModelIndex&, int a, int, const QModelIndex&, int to) {
                signalsSeen << QString("rowsMoved %1 %2").arg(a).arg(to > a ? to - 1 : to);
            });
    connect(&model, &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& a, const QModelIndex& b) {
        QCOMPARE(a.column(), 0);
        QCOMPARE(b.column(), gcColumnCount - 1);
        signalsSeen << QString("dataChanged %1 %2").arg(a.row()).arg(b.row());
    });
    connect(&model, &QAbstractItemModel::modelReset, this, [&] { signalsSeen << "modelReset"; });
    operation(f);
    QCOMPARE(signalsSeen, expected);
    QCOMPARE(inserted.count() + removed.count(),
             int(signalsSeen.filter("rowsInserted").size() + signalsSeen.filter("rowsRemoved").size()));

    QStringList shown;
    for (int r = 0; r < model.rowCount(); ++r)
        shown << model.data(model.index(r, gcColumn)).toString();
    QCOMPARE(shown, fields);
    if (keptRow >= 0) {
        QCOMPARE(kept.row(), keptRow);
        QCOMPARE(model.CellText(gcColumn, kept.row()), QString("Freight"));
    }
}

namespace {

// A diagram built through the document as the windows build it.
using Draw = std::function<void(TLumQBDocument&)>;

void example1(TLumQBDocument& d)
{
    const TLumQBTableData* c =
        d.AddTable("Customers", {"CustomerID", "Company Name", "City"}, QRect(16, 16, 127, 80));
    d.SetFieldTicked(c, 1, true);
    d.SetGridCell(0, gcSortType, "Ascending");
    d.SetFieldTicked(c, 2, true);
    d.SetGridCell(1, gcCaption, "Name");
}

void example2(TLumQBDocument& d)
{
    const TLumQBTableData* c = d.AddTable("Customers", kCustomers, QRect(16, 16, 127, 80));
    const TLumQBTableData* o = d.AddTable("Orders", kOrders, QRect(223, 41, 140, 95));
    d.AddLink(c, o, 1, 2);
    d.SetFieldTicked(c, 2, true);
    d.SetFieldTicked(o, 3, true);
    d.SetGridCell(1, gcSortType, "Descending");
    d.SetFieldTicked(o, 4, true);
    d.SetGridCell(2, gcOutput, "");
    d.SetGridCell(2, gcCriteria, "> 100");
}

void example3(TLumQBDocument& d)
{
    const TLumQBTableData* c = d.AddTable("Customers", kCustomers, QRect(16, 16, 127, 80));
    const TLumQBTableData* o = d.AddTable("Orders", kOrders, QRect(223, 41, 140, 95));
    d.ToggleAllRowsFrom(d.AddLink(c, o, 1, 2), 1);
    d.SetUseGroupBy(true);
    d.SetFieldTicked(c, 2, true);
    d.SetFieldTicked(o, 1, true);
    d.SetGridCell(1, gcGroupBy, "Count");
    d.SetGridCell(1, gcCaption, "Orders");
    d.SetGridCell(1, gcSortType, "Descending");
}

QStringList tableNames(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QString("Table %1").arg(i, 2, 10, QChar('0'));
    return names;
}

// Twenty tables in a chain, each linked to the one before, a moved and sized window each,
// two ticked fields each and every third sorted.
void twentyTables(TLumQBDocument& d)
{
    const TLumQBTableData* previous = nullptr;
    for (const QString& name : tableNames(20)) {
        const int i = name.right(2).toInt();
        const TLumQBTableData* t = d.AddTable(name, {"ID", "ParentID", "Amount"},
                                              QRect(10 + 150 * (i % 5), 10 + 120 * (i / 5), 127 + i, 90 + i));
        if (previous)
            d.SetLinkJoin(d.AddLink(previous, t, 1, 2), i % 6, TJoinKind(i % 4));
        d.SetFieldTicked(t, 1, true);
        d.SetFieldTicked(t, 3, true);
        if (i % 3 == 0)
            d.SetGridCell(d.Grid().RowCount() - 1, gcSortType, i % 2 ? "Descending" : "Ascending");
        previous = t;
    }
}

} // namespace

Q_DECLARE_METATYPE(Draw)

void tst_LumQBDocument::keptTextRestoresTheSameDiagram_data()
{
    QTest::addColumn<Draw>("draw");
    QTest::newRow("worked example 1") << Draw(example1);
    QTest::newRow("worked example 2") << Draw(example2);
    QTest::newRow("worked example 3") << Draw(example3);
    QTest::newRow("twenty tables") << Draw(twentyTables);
}

void tst_LumQBDocument::keptTextRestoresTheSameDiagram()
{
    QFETCH(Draw, draw);
    TLumQBDocument drawn;
    draw(drawn);
    const QString text = DesignToText(drawn.Design());

    // The database still has every table the diagram shows, with the same fields.
    auto fieldsOf = [&drawn](const QString& name) {
        for (int i = 0; i < drawn.TableCount(); ++i)
            if (drawn.Tables(i)->TableName == name)
                return drawn.Tables(i)->Fields.mid(1);
        return QStringList();
    };
    TLumQBDocument restored;
    restored.AddTable("Employees", {"EmployeeID"}, {}); // whatever was there goes
    QSignalSpy resets(&restored, &TLumQBDocument::Reset);
    QSignalSpy added(&restored, &TLumQBDocument::TableAdded);
    QCOMPARE(restored.Restore(DesignFromText(text), fieldsOf), QStringList());
    QCOMPARE(resets.count(), 1);
    QCOMPARE(added.count(), 0);

    QCOMPARE(restored.GetSQL(true), drawn.GetSQL(true));
    QCOMPARE(restored.TableCount(), drawn.TableCount());
    for (int i = 0; i < drawn.TableCount(); ++i) {
        QCOMPARE(restored.Tables(i)->Geometry, drawn.Tables(i)->Geometry);
        QCOMPARE(restored.Tables(i)->TableAlias, drawn.Tables(i)->TableAlias);
    }
    QCOMPARE(DesignToText(restored.Design()), text);
}

void tst_LumQBDocument::restoreLeavesOutWhatTheDatabaseLost()
{
    TLumQBDocument drawn;
    example3(drawn);
    drawn.SetFieldTicked(drawn.Tables(0), 3, true); // City
    // The database now has no Orders and Customers lost City.
    auto shrunk = [](const QString& table) {
        return table == "Customers" ? QStringList{"CustomerID", "CompanyName"} : QStringList{};
    };
    TLumQBDocument restored;
    QCOMPARE(restored.Restore(drawn.Design(), shrunk), (QStringList{"Customers.City", "Orders"}));
    QCOMPARE(restored.TableCount(), 1);
    QCOMPARE(restored.LinkCount(), 0);
    QCOMPARE(restored.GetSQL(true),
             (QStringList{"SELECT C.CompanyName", "FROM Customers AS C", "GROUP BY C.CompanyName"}));
}

QTEST_APPLESS_MAIN(tst_LumQBDocument)
#include "tst_LumQBDocument.moc"
