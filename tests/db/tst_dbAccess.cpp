#include "LumQBModel.h"
#include "LumQBSQL.h"
#include "testSupport.h"
#include "uDbAccessReader.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

// A sanitizer's shadow memory cannot live under an address-space limit, so such a build
// runs the reader without one, and its own size says nothing about the program's.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SANITIZED_BUILD 1
#endif
#endif

// The Access backend on the real sample files. Expected values come from elsewhere:
// mdb-export's output for the ordinary columns, the stored day numbers for the dates,
// and the same statement on the SQLite Northwind for the designer's example. After every
// test the sample files must be byte for byte what they were.
class tst_dbAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void tableAndFieldNames();
    void tablesMatchMdbExport_data();
    void tablesMatchMdbExport();
    void everyDateOfDateTestExact();
    void singleAndCurrencyExact();
    void designerExample3MatchesSqliteNorthwind();
    void statements_data();
    void statements();
    void designerStatementsRun_data();
    void designerStatementsRun();
    void writesAreRefused_data();
    void writesAreRefused();
    void openErrorsNameTheFile_data();
    void openErrorsNameTheFile();
    void unreadableValueIsNullWithAWarning();
    void loopingLongValueChainsEndSmall();
    void damagedFilesGiveAnErrorInTime_data();
    void damagedFilesGiveAnErrorInTime();
    void timeoutFollowsCommandTimeoutWhileEventsRun();
    void memoryLimitStopsTheReader();
    void readerKilledMidTableLeavesNothing();
    void readerDiesWithTheProgram();
    void readerStartedOnAPassingThreadOutlivesIt();
    void libraryMessagesStayOutOfTheAnswer();

private:
    static QString nwind() { return QStringLiteral(QUILLORY_TESTDATA "/access/nwind.mdb"); }
    static QString dateTest() { return QStringLiteral(QUILLORY_TESTDATA "/access/DateTestDatabase.mdb"); }
    static QByteArray checksum(const QString& file);
    static std::unique_ptr<TDbConnection> open(const QString& file, const QString& extra = {});
    static TDbRowsPtr run(TDbConnection& con, const QString& sql);

    QHash<QString, QByteArray> m_sums;
    QTemporaryDir m_dir;
};

QByteArray tst_dbAccess::checksum(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result();
}

std::unique_ptr<TDbConnection> tst_dbAccess::open(const QString& file, const QString& extra)
{
    auto con = std::make_unique<TDbConnection>();
    con->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + ";Persist Security Info=False" +
                             extra);
    con->Open();
    return con;
}

TDbRowsPtr tst_dbAccess::run(TDbConnection& con, const QString& sql)
{
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQLText(sql);
    q.Open();
    return q.Rows();
}

void tst_dbAccess::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(m_dir.isValid());
    for (const QString& f : {nwind(), dateTest()}) {
        m_sums.insert(f, checksum(f));
        QVERIFY2(!m_sums[f].isEmpty(), qPrintable(f));
    }
}

void tst_dbAccess::cleanup()
{
    for (auto it = m_sums.cbegin(); it != m_sums.cend(); ++it)
        QVERIFY2(checksum(it.key()) == it.value(), qPrintable(it.key() + " changed"));
}

void tst_dbAccess::tableAndFieldNames()
{
    auto con = open(nwind());
    QCOMPARE(con->Engine(), TDbEngine::Access);
    QStringList tables;
    con->GetTableNames(tables);
    // User tables only, in the file's order: no MSys tables, no saved queries (they
    // cannot be run here, so they are not offered).
    QCOMPARE(tables, QStringList({"Order Details", "Orders", "Products", "Shippers", "Categories", "Customers",
                                  "Employees", "Suppliers", "Umsätze"}));
    QStringList fields;
    con->GetFieldNames("order details", fields);
    QCOMPARE(fields, QStringList({"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}));
    QCOMPARE(con->QuoteName("Order Details"), QStringLiteral("[Order Details]"));
    try {
        con->GetFieldNames("MSysObjects", fields);
        QFAIL("a system table gave its fields");
    } catch (const EDbError& e) {
        QCOMPARE(e.message(), QStringLiteral("no such table: MSysObjects"));
    }
}

namespace {

// mdb-export's CSV: a quoted field may hold commas, doubled quotes and line breaks; an
// unquoted empty field is null, a quoted empty one is an empty text.
struct Cell
{
    QString text;
    bool null = false;
};

QList<QList<Cell>> parseCsv(const QByteArray& bytes)
{
    const QString s = QString::fromUtf8(bytes);
    QList<QList<Cell>> rows;
    QList<Cell> row;
    Cell cell;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (quoted) {
            if (c == '"' && i + 1 < s.size() && s[i + 1] == '"') {
                cell.text += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell.text += c;
            }
        } else if (c == '"') {
            quoted = wasQuoted = true;
        } else if (c == ',' || c == '\n') {
            cell.null = !wasQuoted && cell.text.isEmpty();
            row << cell;
            cell = Cell();
            wasQuoted = false;
            if (c == '\n') {
                rows << row;
                row.clear();
            }
        } else {
            cell.text += c;
        }
    }
    return rows;
}

} // namespace

void tst_dbAccess::tablesMatchMdbExport_data()
{
    QTest::addColumn<QString>("table");
    for (const char* t : {"Order Details", "Orders", "Products", "Shippers", "Categories", "Customers", "Employees",
                          "Suppliers", "Umsätze"})
        QTest::newRow(t) << QString::fromUtf8(t);
}

// Every value of every table, read independently by mdb-export: texts and memos exactly,
// numbers and currency to the digit, singles to the eight digits mdb-export prints,
// dates (all between 1994 and 1998 here, where its conversion is right) to the second,
// and OLE pictures byte for byte.
void tst_dbAccess::tablesMatchMdbExport()
{
    QFETCH(QString, table);
    QProcess exporter;
    exporter.start("mdb-export", {"-T", "%Y-%m-%d %H:%M:%S", "-b", "hex", nwind(), table});
    QVERIFY2(exporter.waitForFinished(60000), "mdb-export (Debian package mdbtools) did not run");
    QCOMPARE(exporter.exitCode(), 0);
    const QList<QList<Cell>> expected = parseCsv(exporter.readAllStandardOutput());
    QVERIFY(expected.size() > 1);

    auto con = open(nwind());
    const TDbRowsPtr rows = run(*con, "SELECT * FROM [" + table + "]");
    QCOMPARE(rows->RowCount(), expected.size() - 1);
    QCOMPARE(rows->FieldCount(), expected[0].size());
    for (int c = 0; c < rows->FieldCount(); ++c)
        QCOMPARE(rows->Field(c).name, expected[0][c].text);

    for (qsizetype r = 0; r < rows->RowCount(); ++r) {
        const QList<Cell>& want = expected[r + 1];
        for (int c = 0; c < rows->FieldCount(); ++c) {
            const QString where = QStringLiteral("row %1, %2").arg(r).arg(rows->Field(c).name);
            const TDbFieldType type = rows->Field(c).type;
            if (want[c].null && type != TDbFieldType::String && type != TDbFieldType::Memo) {
                QVERIFY2(rows->IsNull(r, c), qPrintable(where));
                continue;
            }
            switch (type) {
            case TDbFieldType::Single:
                QVERIFY2(std::fabs(rows->AsFloat(r, c) - want[c].text.toDouble()) < 1e-7, qPrintable(where));
                break;
            case TDbFieldType::Currency: {
                // "14.0000" → exact ten-thousandths, compared as integers.
                const qint64 expectedUnits = qint64(std::llround(want[c].text.toDouble() * 10000));
                QCOMPARE(qint64(std::llround(rows->AsFloat(r, c) * 10000)), expectedUnits);
                QCOMPARE(rows->AsString(r, c), QString::number(double(expectedUnits) / 10000, 'g', 15));
                break;
            }
            case TDbFieldType::DateTime:
                QCOMPARE(rows->AsDateTime(r, c).toString("yyyy-MM-dd HH:mm:ss"), want[c].text);
                break;
            case TDbFieldType::Boolean:
                QCOMPARE(rows->AsBoolean(r, c), want[c].text == "1");
                break;
            case TDbFieldType::Blob:
                QCOMPARE(rows->AsBytes(r, c).toHex().toUpper(), want[c].text.toLatin1().toUpper());
                break;
            default:
                QVERIFY2(rows->IsNull(r, c) == want[c].null, qPrintable(where));
                QCOMPARE(rows->AsString(r, c), want[c].text);
                break;
            }
        }
    }
}

// The stored day numbers were found in the file's bytes (2958101 = 9999-01-01, -728 =
// 1898-01-01, -463126 = 0632-01-01 ...), all at midnight; mdb-export gets the year-9999
// and pre-1900 rows wrong, so it is no witness here.
void tst_dbAccess::everyDateOfDateTestExact()
{
    auto con = open(dateTest());
    const TDbRowsPtr rows = run(*con, "SELECT IDCol, DateTimeCol, DateCol, TimeCol, LongTextCol, ShortTextCol "
                                      "FROM DateTest ORDER BY IDCol");
    const QDate dec2(2021, 12, 2);
    const QList<QList<QDate>> dates = {{dec2, dec2, dec2},
                                       {QDate(9999, 1, 1), QDate(9999, 1, 1), QDate(9999, 1, 1)},
                                       {QDate(1898, 1, 1), QDate(1899, 1, 1), QDate(1900, 1, 1)},
                                       {QDate(632, 1, 1), QDate(633, 1, 1), QDate(634, 1, 1)},
                                       {dec2, dec2, dec2},
                                       {dec2, dec2, dec2}};
    const QStringList memos = {"Hello", "Year 9999", "Pre-1900 years", "Pre-1000 years",
                               "Escaped new line \\r\\n in field", "New line\r\nin field"};
    QCOMPARE(rows->RowCount(), 6);
    QVERIFY(rows->Warning().isEmpty());
    for (int r = 0; r < 6; ++r) {
        QCOMPARE(rows->AsInteger(r, 0), r + 1);
        for (int c = 1; c <= 3; ++c) {
            QCOMPARE(FieldTypeName(rows->Field(c).type), FieldTypeName(TDbFieldType::DateTime));
            QCOMPARE(rows->AsDateTime(r, c), QDateTime(dates[r][c - 1], QTime(0, 0)));
        }
        QCOMPARE(rows->AsString(r, 4), memos[r]);
    }
    QCOMPARE(rows->AsString(1, 5), QStringLiteral("Year 1999"));
    // Compared as Access compares them, also before 1900 and 1000.
    QCOMPARE(run(*con, "SELECT Count(*) FROM DateTest WHERE DateCol < #1/1/1900#")->AsInteger(0, 0), 2);
    QCOMPARE(run(*con, "SELECT IDCol FROM DateTest WHERE DateTimeCol = #0632-01-01#")->AsInteger(0, 0), 4);
}

void tst_dbAccess::singleAndCurrencyExact()
{
    auto con = open(nwind());
    // Discount is a Single: shown as the shortest text that reads back to the same float.
    TDbRowsPtr rows = run(*con, "SELECT DISTINCT Discount FROM [Order Details] ORDER BY Discount");
    QCOMPARE(FieldTypeName(rows->Field(0).type), FieldTypeName(TDbFieldType::Single));
    QStringList discounts;
    for (qsizetype r = 0; r < rows->RowCount(); ++r)
        discounts << rows->AsString(r, 0);
    // (mdb-export prints the same values as 0.0099999998, 0.050000001, 0.15000001 ...)
    QCOMPARE(discounts,
             QStringList({"0", "0.01", "0.02", "0.03", "0.04", "0.05", "0.06", "0.1", "0.15", "0.2", "0.25"}));

    // Currency is exact: every unit price of the file is a whole number of cents here,
    // and the largest ones keep their digits.
    rows = run(*con, "SELECT UnitPrice FROM Products WHERE ProductName IN ('Côte de Blaye', 'Chai', 'Konbu') "
                     "ORDER BY UnitPrice DESC");
    QCOMPARE(FieldTypeName(rows->Field(0).type), FieldTypeName(TDbFieldType::Currency));
    QCOMPARE(rows->AsString(0, 0), QStringLiteral("263.5"));
    QCOMPARE(rows->AsString(1, 0), QStringLiteral("18"));
    QCOMPARE(rows->AsString(2, 0), QStringLiteral("6"));
    rows = run(*con, "SELECT Freight FROM Orders WHERE OrderID = 10331");
    QCOMPARE(rows->AsString(0, 0), QStringLiteral("10.19"));
    QCOMPARE(qint64(std::llround(rows->AsFloat(0, 0) * 10000)), qint64(101900));
}

// The designer's worked example 3 (the left outer join with grouping and ordering) on
// nwind.mdb gives the rows of the same statement on Northwind_small.sqlite, once the
// SQLite copy's differences from the Access original are undone. Found by comparing:
// - its orders of four customers carry cut customer ids (ANTO, DUMO, OCEA, QUEE for
//   ANTON, DUMON, OCEAN, QUEEN), so those customers show no orders there;
// - three company names are spelled differently there ("Blondesddsl père et fils",
//   "Bon app", "HILARION-Abastos").
void tst_dbAccess::designerExample3MatchesSqliteNorthwind()
{
    auto access = open(nwind());
    const TDbRowsPtr got = run(*access, "SELECT C.CompanyName, Count(O.OrderID) AS Orders\n"
                                        "FROM \n"
                                        "Customers AS C LEFT OUTER JOIN Orders AS O ON C.CustomerID=O.CustomerID\n"
                                        "GROUP BY C.CompanyName\n"
                                        "ORDER BY Orders desc");

    TDbConnection sqlite;
    sqlite.SetConnectionString("Provider=SQLite;Data Source=" QUILLORY_TESTDATA "/sqlite/Northwind_small.sqlite");
    sqlite.Open();
    const TDbRowsPtr want = run(
        sqlite, "SELECT C.CompanyName, Count(O.Id) AS Orders\n"
                "FROM \n"
                "Customer AS C LEFT OUTER JOIN (SELECT Id, CASE CustomerId WHEN 'ANTO' THEN 'ANTON' "
                "WHEN 'DUMO' THEN 'DUMON' WHEN 'OCEA' THEN 'OCEAN' WHEN 'QUEE' THEN 'QUEEN' "
                "ELSE CustomerId END AS CustomerId FROM [Order]) AS O ON C.Id=O.CustomerId\n"
                "GROUP BY C.CompanyName\n"
                "ORDER BY Orders desc");
    const QHash<QString, QString> spelling = {{"Blondesddsl père et fils", "Blondel père et fils"},
                                              {"Bon app", "Bon app'"},
                                              {"HILARION-Abastos", "HILARIÓN-Abastos"}};

    QCOMPARE(got->RowCount(), 91);
    QCOMPARE(got->RowCount(), want->RowCount());
    QCOMPARE(got->Field(1).name, QStringLiteral("Orders"));
    QStringList gotRows, wantRows;
    for (qsizetype r = 0; r < got->RowCount(); ++r) {
        // The same counts in the same descending order; rows of equal count in any order.
        QCOMPARE(got->AsInteger(r, 1), want->AsInteger(r, 1));
        gotRows << got->AsString(r, 1) + " " + got->AsString(r, 0);
        const QString name = want->AsString(r, 0);
        wantRows << want->AsString(r, 1) + " " + spelling.value(name, name);
    }
    gotRows.sort();
    wantRows.sort();
    QCOMPARE(gotRows, wantRows);
    QCOMPARE(got->AsString(0, 0), QStringLiteral("Save-a-lot Markets"));
    QCOMPARE(got->AsInteger(0, 1), 31);
}

void tst_dbAccess::statements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("firstRow");
    QTest::addColumn<int>("rowCount");

    // Expected figures counted in mdb-export's output. Joins of all four kinds: two
    // customers (FISSA, PARIS) have no orders.
    QTest::newRow("inner join as a WHERE condition")
        << "SELECT Count(*) FROM Customers AS C, Orders AS O WHERE C.CustomerID=O.CustomerID"
        << QStringList{"830"} << 1;
    QTest::newRow("left outer join")
        << "SELECT Count(*) FROM Customers LEFT OUTER JOIN Orders ON Customers.CustomerID = Orders.CustomerID"
        << QStringList{"832"} << 1;
    QTest::newRow("right outer join")
        << "SELECT Count(*) FROM Orders RIGHT OUTER JOIN Customers ON Customers.CustomerID = Orders.CustomerID"
        << QStringList{"832"} << 1;
    QTest::newRow("full outer join, customers without orders")
        << "SELECT C.CustomerID FROM Customers AS C FULL OUTER JOIN Orders AS O ON C.CustomerID=O.CustomerID "
           "WHERE O.OrderID IS NULL ORDER BY 1"
        << QStringList{"FISSA"} << 2;
    // What the designer writes for Access: full table names, bracketed names with blanks.
    QTest::newRow("designer's bracketed statement")
        << "SELECT Customers.CompanyName, Count(Orders.OrderID) FROM Customers LEFT OUTER JOIN Orders ON "
           "Customers.CustomerID = Orders.CustomerID GROUP BY Customers.CompanyName "
           "ORDER BY Count(Orders.OrderID) DESC, Customers.CompanyName"
        << QStringList{"Save-a-lot Markets", "31"} << 91;
    QTest::newRow("three tables with [Order Details]")
        << "SELECT O.OrderID, Sum(D.[UnitPrice]*D.Quantity) AS Total FROM Orders AS O INNER JOIN [Order Details] "
           "AS D ON O.OrderID = D.OrderID WHERE O.CustomerID IN (SELECT CustomerID FROM Customers WHERE "
           "Country = 'France') GROUP BY O.OrderID ORDER BY O.OrderID"
        << QStringList{"10248", "440"} << 77;
    QTest::newRow("Umsätze by bracketed name")
        << "SELECT Count(*), Min([Umsätze].OrderID) FROM [Umsätze]" << QStringList{"830", "10248"} << 1;
    QTest::newRow("Order Details by bracketed name")
        << "select count(*) from [Order Details]" << QStringList{"2155"} << 1;
    // Access's own forms.
    QTest::newRow("TOP") << "SELECT TOP 3 OrderID FROM Orders ORDER BY OrderID DESC" << QStringList{"11077"} << 3;
    QTest::newRow("#m/d/yyyy# date") << "SELECT OrderID FROM Orders WHERE OrderDate = #11/16/1994# ORDER BY 1"
                                     << QStringList{"10330"} << 2;
    QTest::newRow("#yyyy-mm-dd# range")
        << "SELECT Count(*) FROM Orders WHERE OrderDate BETWEEN #1995-01-01# AND #1995-12-31#"
        << QStringList{"391"} << 1;
    QTest::newRow("DISTINCTROW and True")
        << "SELECT DISTINCTROW CategoryID FROM Products WHERE Discontinued = True ORDER BY 1"
        << QStringList{"1"} << 5;
    QTest::newRow("Like with *") << "SELECT ProductName FROM Products WHERE ProductName Like 'Ch*' ORDER BY 1"
                                 << QStringList{"Chai"} << 6;
    QTest::newRow("text compares without regard to case, as in Access")
        << "SELECT Count(*) FROM Customers WHERE City = 'LONDON'" << QStringList{"6"} << 1;
}

void tst_dbAccess::statements()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, firstRow);
    QFETCH(int, rowCount);
    auto con = open(nwind());
    const TDbRowsPtr rows = run(*con, sql);
    QCOMPARE(rows->RowCount(), rowCount);
    for (int c = 0; c < firstRow.size(); ++c)
        QCOMPARE(rows->AsString(0, c), firstRow[c]);
}

namespace {

// A designer diagram over nwind's real field lists, ticked the way the table windows
// tick: each ticked field gets its grid row.
struct Drawing
{
    TDbConnection& con;
    TLumQBDiagram d;
    TLumQBGridData g;

    TLumQBTableData* table(const QString& name)
    {
        QStringList fields;
        con.GetFieldNames(name, fields);
        return d.AddTable(name, fields);
    }
    int tick(TLumQBTableData* t, const QString& field)
    {
        t->SetTicked(t->Fields.indexOf(field), true);
        return g.AddField(field, t->TableName);
    }
    void link(TLumQBTableData* t1, const QString& f1, TLumQBTableData* t2, const QString& f2, TJoinKind kind)
    {
        d.AddLink(t1, t2, t1->Fields.indexOf(f1), t2->Fields.indexOf(f2))->JoinKind = kind;
    }
};

using Draw = std::function<void(Drawing&)>;

} // namespace

Q_DECLARE_METATYPE(Draw)

void tst_dbAccess::designerStatementsRun_data()
{
    QTest::addColumn<Draw>("draw");
    QTest::addColumn<QStringList>("firstRow");
    QTest::addColumn<int>("rowCount");

    QTest::newRow("worked example 3") << Draw([](Drawing& x) {
        auto* c = x.table("Customers");
        auto* o = x.table("Orders");
        x.link(c, "CustomerID", o, "CustomerID", jkLeftOuter);
        x.g.SetUseGroupBy(true);
        x.tick(c, "CompanyName");
        const int r = x.tick(o, "OrderID");
        x.g.SetGroupFunction(r, "Count");
        x.g.SetCaption(r, "Orders");
        x.g.SetSortType(r, "Descending");
    }) << QStringList{"Save-a-lot Markets", "31"} << 91;
    QTest::newRow("[Order Details] joined to Products, summed") << Draw([](Drawing& x) {
        auto* p = x.table("Products");
        auto* d = x.table("Order Details");
        x.link(p, "ProductID", d, "ProductID", jkInner);
        x.g.SetUseGroupBy(true);
        x.tick(p, "ProductName");
        const int r = x.tick(d, "Quantity");
        x.g.SetGroupFunction(r, "Sum");
        x.g.SetCaption(r, "Sold");
        x.g.SetSortType(r, "Descending");
    }) << QStringList{"Camembert Pierrot", "1577"} << 77;
    QTest::newRow("all rows from both, customers without orders") << Draw([](Drawing& x) {
        auto* c = x.table("Customers");
        auto* o = x.table("Orders");
        x.link(c, "CustomerID", o, "CustomerID", jkFullOuter);
        x.g.SetSortType(x.tick(c, "CustomerID"), "Ascending");
        x.g.SetCriteria(x.tick(o, "OrderID"), "Is Null");
    }) << QStringList{"FISSA", ""} << 2;
}

// What the designer generates for an Access connection, with the connection's own
// quoting, runs on the backend.
void tst_dbAccess::designerStatementsRun()
{
    QFETCH(Draw, draw);
    QFETCH(QStringList, firstRow);
    QFETCH(int, rowCount);
    auto con = open(nwind());
    Drawing x{*con, {}, {}};
    draw(x);
    const QStringList sql = GetSQL(x.d, &x.g, [&con](const QString& n) { return con->QuoteName(n); });
    const TDbRowsPtr rows = run(*con, sql.join('\n'));
    QCOMPARE(rows->RowCount(), rowCount);
    for (int c = 0; c < firstRow.size(); ++c)
        QCOMPARE(rows->AsString(0, c), firstRow[c]);
}

void tst_dbAccess::writesAreRefused_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("delete") << "DELETE FROM Orders";
    QTest::newRow("update") << "UPDATE Customers SET City = 'x'";
    QTest::newRow("insert") << "INSERT INTO Shippers VALUES (9, 'x', 'y')";
    QTest::newRow("create") << "CREATE TABLE t (a)";
    QTest::newRow("drop") << "DROP TABLE Orders";
    QTest::newRow("attach a file") << "ATTACH DATABASE '" + m_dir.filePath("made.db") + "' AS x";
}

// The copy must never drift from the file, nor a change be reported as done that never
// reaches it: every writing statement is refused, and the rows stay as they were.
void tst_dbAccess::writesAreRefused()
{
    QFETCH(QString, sql);
    auto con = open(nwind());
    QCOMPARE(run(*con, "SELECT Count(*) FROM Orders")->AsInteger(0, 0), 830);
    try {
        run(*con, sql);
        QFAIL("the statement ran");
    } catch (const EDbError& e) {
        QCOMPARE(e.message(), "The Access file \"" + nwind() +
                                  "\" is open read-only: only SELECT statements can be run on it.");
    }
    QCOMPARE(run(*con, "SELECT Count(*) FROM Orders")->AsInteger(0, 0), 830);
    QCOMPARE(run(*con, "SELECT City FROM Customers WHERE CustomerID = 'ALFKI'")->AsString(0, 0),
             QStringLiteral("Berlin"));
    QVERIFY(!QFile::exists(m_dir.filePath("made.db")));
}

void tst_dbAccess::openErrorsNameTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    const QString missing = m_dir.filePath("gone.mdb");
    const QString text = m_dir.filePath("notes.mdb");
    QFile f(text);
    if (f.open(QIODevice::WriteOnly))
        f.write("These are notes, not a database.\n");
    f.close();
    QTest::newRow("missing file") << missing << "Could not find file '" + missing + "'.";
    QTest::newRow("a text file") << text << text + ": the file is not an Access or SQLite database.";
    QTest::newRow("empty name") << QString() << "No database file was named (\"Data Source\" is empty).";
}

void tst_dbAccess::openErrorsNameTheFile()
{
    QFETCH(QString, file);
    QFETCH(QString, message);
    TDbConnection con;
    con.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file);
    try {
        con.Open();
        QFAIL("opened");
    } catch (const EDbError& e) {
        QCOMPARE(e.message(), message);
    }
    QVERIFY(!con.Connected());
}

// A stored date that no calendar holds becomes null in its row, the column keeps its
// kind, the other rows keep their values, and the rows say what was left out.
void tst_dbAccess::unreadableValueIsNullWithAWarning()
{
    const QString copy = m_dir.filePath("broken dates.mdb");
    QVERIFY(writeAccessFileWithUnreadableDate(copy));

    auto con = open(copy);
    const TDbRowsPtr rows = run(*con, "SELECT IDCol, DateCol FROM DateTest ORDER BY IDCol");
    QCOMPARE(rows->RowCount(), 6);
    QCOMPARE(FieldTypeName(rows->Field(1).type), FieldTypeName(TDbFieldType::DateTime));
    QVERIFY(rows->IsNull(1, 1));
    QCOMPARE(rows->AsDateTime(2, 1), QDateTime(QDate(1899, 1, 1), QTime(0, 0)));
    QCOMPARE(rows->Warning(),
             QStringLiteral("Some values could not be read from the Access file and are shown empty: DateTest.DateCol (1)."));
    // A statement that does not read that column has nothing to report.
    QVERIFY(run(*con, "SELECT IDCol FROM DateTest")->Warning().isEmpty());
}

// Photos whose chains point back to themselves and declare 1 GiB: each ends at the first
// repeated piece, as null with the warning, without holding the declared length.
void tst_dbAccess::loopingLongValueChainsEndSmall()
{
    // The peak before and after the read: the process's own size depends on the tests
    // before and on the build (a sanitizer's shadow memory), the read's growth does not.
    const auto peakKb = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return qint64(usage.ru_maxrss);
    };
    const qint64 before = peakKb();
    const QString damaged = QStringLiteral(QUILLORY_TESTDATA "/access/damaged/memo-chain-loop-nwind.mdb");
    auto con = open(damaged);
    const TDbRowsPtr rows = run(*con, "SELECT EmployeeID, LastName, Photo FROM Employees ORDER BY EmployeeID");
    QCOMPARE(rows->RowCount(), 9);
    for (int r = 0; r < rows->RowCount(); ++r) {
        QVERIFY(!rows->AsString(r, 1).isEmpty());
        QVERIFY(rows->IsNull(r, 2));
    }
    QCOMPARE(rows->Warning(),
             QStringLiteral("Some values could not be read from the Access file and are shown empty: Employees.Photo (9)."));
    const qint64 grown = peakKb() - before;
    QVERIFY2(grown < 50 * 1024, qPrintable(QString::number(grown / 1024) + " MB more at the peak"));
}

namespace {

QString damagedFile(const char* name)
{
    return QStringLiteral(QUILLORY_TESTDATA "/access/damaged/") + QLatin1String(name);
}

QString damagedText(const QString& file, const QString& reason)
{
    return file + ": the Access file could not be read; it may be damaged (" + reason + ").";
}

qint64 peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) / 1024;
}

// The readers this process started that are still there (zombies included).
QList<qint64> readersOf(qint64 parent)
{
    QList<qint64> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ...": comm may hold blanks, so read from its last ")".
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.contains("(quillory-access") && rest.size() > 1 && rest[1].toLongLong() == parent)
            found << pid;
    }
    return found;
}

// False once the process is gone or has ended (a zombie that its new parent, the system,
// has not reaped yet).
bool running(qint64 pid)
{
    QFile stat("/proc/" + QString::number(pid) + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line[close + 2] != 'Z';
}

// Runs sql on a new connection to file; the error text, or "" when it gave rows.
QString failureOf(const QString& file, const QString& sql, const QString& extra = {})
{
    try {
        TDbConnection con;
        con.SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file + extra);
        con.Open();
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQLText(sql);
        q.Open();
        return {};
    } catch (const EDbError& e) {
        return e.message();
    }
}

} // namespace

void tst_dbAccess::damagedFilesGiveAnErrorInTime_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("reason");
    // libmdb dereferences a null usage map while reading the catalogue. A sanitizer's
    // runtime in the reader catches that and aborts instead.
#ifdef SANITIZED_BUILD
    const QString crashed = "the reader stopped with an internal error while reading the table list";
#else
    const QString crashed = "the reader stopped with a memory access error while reading the table list";
#endif
    QTest::newRow("usage-map row of length 0")
        << damagedFile("segv-usage-map-len0.mdb") << "SELECT * FROM DateTest" << crashed;
    // libmdb loops for ever on a property record of length 0: the default timeout ends it.
    QTest::newRow("property record of length 0")
        << damagedFile("kkd-zero-len-hang.mdb") << "SELECT * FROM DateTest" << "it did not finish within 30 seconds";
}

// Files that crash or hang the reading library: a clear error naming the file, within the
// limit, with the program's own process small and no reader left behind.
void tst_dbAccess::damagedFilesGiveAnErrorInTime()
{
    QFETCH(QString, file);
    QFETCH(QString, sql);
    QFETCH(QString, reason);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(failureOf(file, sql), damagedText(file, reason));
    QVERIFY2(clock.elapsed() < 40000, qPrintable(QString::number(clock.elapsed()) + " ms"));
    QVERIFY(readersOf(getpid()).isEmpty());
#ifndef SANITIZED_BUILD
    QVERIFY2(peakMb() < 400, qPrintable(QString::number(peakMb()) + " MB at the peak"));
#endif
}

// The connection string's Command Timeout bounds each read, and while the reader works
// the thread's events keep being handled (a timer here; the window's painting in the
// program).
void tst_dbAccess::timeoutFollowsCommandTimeoutWhileEventsRun()
{
    const QString file = damagedFile("kkd-zero-len-hang.mdb");
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(failureOf(file, "SELECT * FROM DateTest", ";Command Timeout=2"),
             damagedText(file, "it did not finish within 2 seconds"));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 2000 && elapsed < 10000, qPrintable(QString::number(elapsed) + " ms"));
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks) + " timer ticks in " + QString::number(elapsed) + " ms"));
    QVERIFY(readersOf(getpid()).isEmpty());
}

// Photos whose looping chains declare 60 MB, in a file made larger still (holes after the
// real pages): within the usual limit (a multiple of the file's size) the reader takes the
// declared length, the chains end at their first repeated piece, and the photos are null
// with the warning; under a lower limit the reader cannot take it and the error says so.
void tst_dbAccess::memoryLimitStopsTheReader()
{
#ifdef SANITIZED_BUILD
    QSKIP("a sanitizer build runs the reader without an address-space limit");
#endif
    const QString file = m_dir.filePath("large photos.mdb");
    QVERIFY(QFile::copy(damagedFile("memo-chain-loop-nwind.mdb"), file));
    QFile f(file);
    QVERIFY(f.setPermissions(f.permissions() | QFileDevice::WriteOwner));
    QVERIFY(f.open(QIODevice::ReadWrite));
    // Where the nine photos' lengths are (found by comparing the file with nwind.mdb).
    for (qint64 at : {221925, 222088, 222249, 222408, 222552, 222713, 222871, 223026, 223190}) {
        QVERIFY(f.seek(at));
        QCOMPARE(f.read(4), QByteArray::fromHex("ffffff3f"));
        QVERIFY(f.seek(at));
        QCOMPARE(f.write(QByteArray::fromHex("0000c003")), qint64(4)); // 60 MiB
    }
    QVERIFY(f.resize(qint64(128) << 20));
    f.close();
    const QString sql = "SELECT EmployeeID, Photo FROM Employees";
    {
        auto con = open(file);
        const TDbRowsPtr rows = run(*con, sql);
        QCOMPARE(rows->RowCount(), 9);
        QVERIFY(rows->IsNull(0, 1));
        QCOMPARE(rows->Warning(),
                 QStringLiteral("Some values could not be read from the Access file and are shown empty: Employees.Photo (9)."));
    }
    dbbackends::SetAccessReaderTestHooks({quint64(48) << 20, {}});
    const QString failure = failureOf(file, sql);
    dbbackends::SetAccessReaderTestHooks({});
    QCOMPARE(failure, damagedText(file, "it needed more than 48 MB"));
}

// SIGKILL to the reader half-way through a table (at the first of its rows to arrive:
// the reader then still has more than a pipe can hold to send): the statement fails,
// nothing of the half-read table stays (the next statement reads it whole, from a new
// reader), no reader is left, and nothing was written to the temporary folder.
void tst_dbAccess::readerKilledMidTableLeavesNothing()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    std::atomic<bool> killed{false};
    dbbackends::SetAccessReaderTestHooks({0, [&](qint64 pid, char kind) {
                                              if (kind == 'R' && !killed.exchange(true))
                                                  ::kill(pid_t(pid), SIGKILL);
                                          }});
    auto con = open(nwind());
    QString failure;
    try {
        run(*con, "SELECT Count(*) FROM Employees");
    } catch (const EDbError& e) {
        failure = e.message();
    }
    dbbackends::SetAccessReaderTestHooks({});
    if (oldTemp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTemp);
    QVERIFY(killed);
    QCOMPARE(failure, damagedText(nwind(), "the reader was killed while reading the table \"Employees\""));
    QVERIFY(readersOf(getpid()).isEmpty());
    QCOMPARE(QDir(temp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
    QCOMPARE(run(*con, "SELECT Count(*), Count(Photo) FROM Employees")->AsString(0, 1), QStringLiteral("9"));
    QCOMPARE(readersOf(getpid()).size(), 1); // the connection's new reader
    con.reset();
    QVERIFY(readersOf(getpid()).isEmpty());
}

// A program killed while its reader works takes the reader with it: nothing keeps
// reading (or holding the file) after the program is gone.
void tst_dbAccess::readerDiesWithTheProgram()
{
    const QString file = damagedFile("kkd-zero-len-hang.mdb");
    const pid_t program = fork();
    if (program == 0) {
        // The stand-in program: reads the hanging file from a thread of its own (no event
        // loop after fork) until it is killed.
        std::thread([&] {
            try {
                dbbackends::TAccessReader(file, 60).Start([](char, const char*, quint32) {});
            } catch (...) {
            }
        }).join();
        _exit(0);
    }
    QVERIFY(program > 0);
    QList<qint64> readers;
    QTRY_VERIFY_WITH_TIMEOUT(!(readers = readersOf(program)).isEmpty(), 10000);
    ::kill(program, SIGKILL);
    QCOMPARE(waitpid(program, nullptr, 0), program);
    QTRY_VERIFY_WITH_TIMEOUT(!running(readers[0]), 5000);
}

// A fetch runs on a worker thread that ends with it; a reader started there (to replace
// a failed one) must serve the connection's later statements.
void tst_dbAccess::readerStartedOnAPassingThreadOutlivesIt()
{
    dbbackends::TAccessReader reader(nwind(), 30);
    int started = -1;
    std::thread([&] { started = reader.Start([](char, const char*, quint32) {}); }).join();
    QCOMPARE(started, 0);
    QTest::qWait(200);
    int frames = 0;
    QCOMPARE(reader.Request("Shippers", true, "reading Shippers", [&](char, const char*, quint32) { ++frames; }), 0);
    QVERIFY(frames > 0);
}

// A file cut short after its table's definition: libmdb prints "Unrecognized format." on
// standard output, which must neither mix into the reader's answer nor trip its system
// call filter (stdio asks whether the output is a terminal). The table reads, empty.
void tst_dbAccess::libraryMessagesStayOutOfTheAnswer()
{
    const QString file = m_dir.filePath("cut short.mdb");
    QFile source(dateTest());
    QVERIFY(source.open(QIODevice::ReadOnly));
    QFile cut(file);
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(source.read(19 * 4096));
    cut.close();
    auto con = open(file);
    const TDbRowsPtr rows = run(*con, "SELECT * FROM DateTest");
    QCOMPARE(rows->FieldCount(), 6);
    QCOMPARE(rows->Field(0).name, QStringLiteral("IDCol"));
    QCOMPARE(rows->RowCount(), 0);
}

QTEST_GUILESS_MAIN(tst_dbAccess)
#include "tst_dbAccess.moc"
