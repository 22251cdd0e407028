#include "uDbAccessSql.h"

#include <QTest>

// The rewriting of Access-only forms into SQLite's: what changes, and above all what must
// not change (string literals, bracketed names, comments, look-alikes).
class tst_dbAccessSql : public QObject
{
    Q_OBJECT

private slots:
    void translates_data();
    void translates();
    void dateTexts_data();
    void dateTexts();
};

void tst_dbAccessSql::translates_data()
{
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("sqlite");

    // TOP
    QTest::newRow("top") << "SELECT TOP 5 * FROM Orders ORDER BY Freight DESC"
                         << "SELECT * FROM Orders ORDER BY Freight DESC LIMIT 5";
    QTest::newRow("top, lower case, distinct") << "select distinct top 3 City from Customers"
                                               << "select distinct City from Customers LIMIT 3";
    QTest::newRow("top before a semicolon") << "SELECT TOP 1 OrderID FROM Orders;"
                                            << "SELECT OrderID FROM Orders LIMIT 1;";
    QTest::newRow("top in a subquery")
        << "SELECT * FROM Orders WHERE OrderID IN (SELECT TOP 2 OrderID FROM [Order Details]) AND 1=1"
        << "SELECT * FROM Orders WHERE OrderID IN (SELECT OrderID FROM [Order Details] LIMIT 2) AND 1=1";
    QTest::newRow("top in both") << "SELECT TOP 4 a FROM (SELECT TOP 9 a FROM t) AS x"
                                 << "SELECT a FROM (SELECT a FROM t LIMIT 9) AS x LIMIT 4";
    QTest::newRow("top then a line comment") << "SELECT TOP 2 a FROM t -- the first two"
                                             << "SELECT a FROM t -- the first two\n LIMIT 2";
    QTest::newRow("top percent stays for SQLite to refuse") << "SELECT TOP 10 PERCENT a FROM t"
                                                            << "SELECT TOP 10 PERCENT a FROM t";
    QTest::newRow("a column named Top") << "SELECT Top FROM t" << "SELECT Top FROM t";

    // # date literals
    QTest::newRow("iso date") << "SELECT * FROM Orders WHERE OrderDate >= #2004-01-31#"
                              << "SELECT * FROM Orders WHERE OrderDate >= '2004-01-31'";
    QTest::newRow("us date") << "WHERE OrderDate = #1/31/2004#" << "WHERE OrderDate = '2004-01-31'";
    QTest::newRow("us date, two-digit year") << "WHERE d < #11/16/94#" << "WHERE d < '1994-11-16'";
    QTest::newRow("date and time") << "WHERE d = #1/31/2004 2:05:09 PM#" << "WHERE d = '2004-01-31 14:05:09'";
    QTest::newRow("time alone is on day zero") << "WHERE t = #10:30#" << "WHERE t = '1899-12-30 10:30:00'";
    QTest::newRow("year 100") << "WHERE d > #0100-01-01#" << "WHERE d > '0100-01-01'";
    QTest::newRow("no date inside stays") << "WHERE a = #abc#" << "WHERE a = #abc#";
    QTest::newRow("an impossible date stays") << "WHERE a = #2/30/2004#" << "WHERE a = #2/30/2004#";

    // DISTINCTROW, True, False
    QTest::newRow("distinctrow") << "SELECT DISTINCTROW CompanyName FROM Customers"
                                 << "SELECT DISTINCT CompanyName FROM Customers";
    QTest::newRow("distinctrow with top") << "SELECT DISTINCTROW TOP 2 a FROM t" << "SELECT DISTINCT a FROM t LIMIT 2";
    QTest::newRow("true and false") << "WHERE Discontinued = True OR x <> FALSE"
                                    << "WHERE Discontinued = -1 OR x <> 0";
    QTest::newRow("a field named True after a dot") << "SELECT t.True FROM t" << "SELECT t.True FROM t";

    // Like
    QTest::newRow("like star") << "WHERE CompanyName Like 'A*'" << "WHERE CompanyName Like 'A%'";
    QTest::newRow("like question mark, double quotes") << "WHERE City LIKE \"?ondon\""
                                                       << "WHERE City LIKE '_ondon'";
    QTest::newRow("not like") << "WHERE a NOT LIKE '*x*'" << "WHERE a NOT LIKE '%x%'";
    QTest::newRow("like with a literal percent")
        << "WHERE a LIKE '100%*'" << "WHERE a LIKE '100\\%%' ESCAPE '\\'";
    QTest::newRow("like with a bracketed star") << "WHERE a LIKE '[*]*'" << "WHERE a LIKE '*%'";
    QTest::newRow("like with a quote") << "WHERE a LIKE 'O''B*'" << "WHERE a LIKE 'O''B%'";

    // What must stay as typed
    QTest::newRow("string literal") << "SELECT 'TOP 5 #1/1/2004# True DISTINCTROW *' FROM t"
                                    << "SELECT 'TOP 5 #1/1/2004# True DISTINCTROW *' FROM t";
    QTest::newRow("bracketed names") << "SELECT [True], [Select Top 1] FROM [Order Details]"
                                     << "SELECT [True], [Select Top 1] FROM [Order Details]";
    QTest::newRow("block comment") << "SELECT /* TOP 5 True */ a FROM t" << "SELECT /* TOP 5 True */ a FROM t";
    QTest::newRow("star of a select list") << "SELECT C.*, 2*3 FROM Customers AS C"
                                           << "SELECT C.*, 2*3 FROM Customers AS C";
    QTest::newRow("designer's example 3")
        << "SELECT C.CompanyName, Count(O.OrderID) AS Orders\nFROM \nCustomers AS C LEFT OUTER JOIN Orders AS O "
           "ON C.CustomerID=O.CustomerID\nGROUP BY C.CompanyName\nORDER BY Orders desc"
        << "SELECT C.CompanyName, Count(O.OrderID) AS Orders\nFROM \nCustomers AS C LEFT OUTER JOIN Orders AS O "
           "ON C.CustomerID=O.CustomerID\nGROUP BY C.CompanyName\nORDER BY Orders desc";
    QTest::newRow("unterminated string") << "SELECT 'True" << "SELECT 'True";
}

void tst_dbAccessSql::translates()
{
    QFETCH(QString, access);
    QFETCH(QString, sqlite);
    QCOMPARE(TranslateAccessSql(access), sqlite);
}

void tst_dbAccessSql::dateTexts_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("msecs");
    QTest::addColumn<QString>("text");
    QTest::newRow("midnight is a plain date") << QDate(1994, 11, 16) << 0 << "1994-11-16";
    QTest::newRow("with a time") << QDate(2004, 1, 31) << 14 * 3600000 + 5 * 60000 + 9000 << "2004-01-31 14:05:09";
    QTest::newRow("milliseconds") << QDate(2004, 1, 31) << 1234 << "2004-01-31 00:00:01.234";
    QTest::newRow("year 100, four digits") << QDate(100, 1, 1) << 0 << "0100-01-01";
    QTest::newRow("year 9999") << QDate(9999, 12, 31) << 86399000 << "9999-12-31 23:59:59";
}

void tst_dbAccessSql::dateTexts()
{
    QFETCH(QDate, date);
    QFETCH(int, msecs);
    QFETCH(QString, text);
    QCOMPARE(QString::fromLatin1(AccessDateText(date.toJulianDay(), msecs)), text);
}

QTEST_APPLESS_MAIN(tst_dbAccessSql)
#include "tst_dbAccessSql.moc"
