#include "LumQBDesignText.h"

#include "LumQBException.h"

#include <QtTest>

// The text a diagram is kept in: every part read back as written, unknown keys passed
// over, and every kind of damaged text refused with a message naming the problem.
class tst_LumQBDesignText : public QObject
{
    Q_OBJECT
private slots:
    void everyPartReadsBackAsWritten();
    void unknownKeysAndAbsentOptionalOnesAreFine();
    void damagedTextIsRefusedWithItsProblem_data();
    void damagedTextIsRefusedWithItsProblem();
};

namespace {

TLumQBDesign sample()
{
    TLumQBDesign d;
    d.Tables << TLumQBDesignTable{"Order Details", "OD", QRect(-10, 20, 150, 230), {"OrderID", "Quantity"}}
             << TLumQBDesignTable{QString::fromUtf8("Kunden \xC3\xBC \xF0\x9F\x8D\x95"),
                                  "K",
                                  QRect(300, 40, 120, 100),
                                  {"*"}};
    d.Links << TLumQBDesignLink{"OD", "OrderID", "K", "ID", 5, jkFullOuter};
    TLumQBGridRow r1;
    r1.Table = "Order Details";
    r1.Column = "Quantity";
    r1.Caption = "Qty \"all\"";
    r1.Output = false;
    r1.SortType = "Descending";
    r1.SortOrder = 1;
    r1.GroupBy = "Sum";
    r1.Criteria = "> 10 AND < '20'\nOR = 5";
    TLumQBGridRow r2;
    r2.Table = d.Tables[1].Name;
    r2.Column = "*";
    d.Rows << r1 << r2;
    d.UseGroupBy = true;
    d.OptionsClause = "TOP 10";
    d.ClosingClause = "LIMIT 5";
    d.SQL = "SELECT OD.Quantity\nFROM [Order Details] AS OD";
    return d;
}

} // namespace

void tst_LumQBDesignText::everyPartReadsBackAsWritten()
{
    const TLumQBDesign d = sample();
    const QString text = DesignToText(d);
    QVERIFY(text.contains("\"version\":1"));
    const TLumQBDesign back = DesignFromText(text);
    QCOMPARE(back.Tables.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(back.Tables[i].Name, d.Tables[i].Name);
        QCOMPARE(back.Tables[i].Alias, d.Tables[i].Alias);
        QCOMPARE(back.Tables[i].Geometry, d.Tables[i].Geometry);
        QCOMPARE(back.Tables[i].Ticked, d.Tables[i].Ticked);
    }
    QCOMPARE(back.Links.size(), 1);
    const TLumQBDesignLink& l = back.Links[0];
    QCOMPARE(QStringList({l.Alias1, l.Field1, l.Alias2, l.Field2}),
             QStringList({"OD", "OrderID", "K", "ID"}));
    QCOMPARE(l.JoinOperator, 5);
    QCOMPARE(l.JoinKind, jkFullOuter);
    QCOMPARE(back.Rows.size(), 2);
    const TLumQBGridRow& r = back.Rows[0];
    QCOMPARE(
        QStringList({r.Table, r.Column, r.Caption, r.SortType, r.GroupBy, r.Criteria}),
        QStringList({"Order Details", "Quantity", "Qty \"all\"", "Descending", "Sum", d.Rows[0].Criteria}));
    QCOMPARE(r.Output, false);
    QCOMPARE(r.SortOrder, 1);
    QCOMPARE(back.Rows[1].SortType, QString("Unsorted"));
    QCOMPARE(back.Rows[1].Output, true);
    QVERIFY(back.UseGroupBy);
    QCOMPARE(back.OptionsClause, QString("TOP 10"));
    QCOMPARE(back.ClosingClause, QString("LIMIT 5"));
    QCOMPARE(back.SQL, d.SQL);
    QCOMPARE(DesignToText(back), text);
}

void tst_LumQBDesignText::unknownKeysAndAbsentOptionalOnesAreFine()
{
    const TLumQBDesign d =
        DesignFromText(R"({"version":1,"colour":"blue","tables":[{"name":"T","extra":[1,2]}],)"
                       R"("rows":[{"field":"A","table":"T","future":true}]})");
    QCOMPARE(d.Tables.size(), 1);
    QCOMPARE(d.Tables[0].Name, QString("T"));
    QCOMPARE(d.Tables[0].Geometry, QRect(0, 0, 0, 0));
    QCOMPARE(d.Rows.size(), 1);
    QCOMPARE(d.Rows[0].Output, true);
    QVERIFY(d.Links.isEmpty());
    QVERIFY(!d.UseGroupBy);
}

void tst_LumQBDesignText::damagedTextIsRefusedWithItsProblem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem");
    const QString good = DesignToText(sample());
    QTest::newRow("empty") << ""
                           << "illegal value";
    QTest::newRow("not JSON") << "SELECT * FROM T"
                              << "illegal value";
    QTest::newRow("truncated") << good.left(good.size() / 2) << "at character";
    QTest::newRow("a list, not an object") << "[1,2]"
                                           << "the text is not an object";
    QTest::newRow("no version") << R"({"tables":[]})"
                                << "no version number";
    QTest::newRow("a later version") << R"({"version":2})"
                                     << "later version (2)";
    QTest::newRow("tables not a list") << R"({"version":1,"tables":{}})"
                                       << "\"tables\" is not a list";
    QTest::newRow("a table without a name") << R"({"version":1,"tables":[{"alias":"A"}]})"
                                            << "\"name\" is missing";
    QTest::newRow("a window a world away") << R"({"version":1,"tables":[{"name":"T","x":1e12}]})"
                                           << "\"x\" is not a whole number";
    QTest::newRow("a ticked field not a text") << R"({"version":1,"tables":[{"name":"T","ticked":[3]}]})"
                                               << "a ticked field is not a text";
    QTest::newRow("an unknown join kind")
        << R"({"version":1,"links":[{"alias1":"A","field1":"x","alias2":"B","field2":"y","join":7}]})"
        << "\"join\" is not a whole number from 0 to 3";
    QTest::newRow("an unknown operator")
        << R"({"version":1,"links":[{"alias1":"A","field1":"x","alias2":"B","field2":"y","operator":2.5}]})"
        << "\"operator\" is not a whole number from 0 to 5";
    QTest::newRow("output not true or false")
        << R"({"version":1,"rows":[{"field":"A","table":"T","output":"yes"}]})"
        << "\"output\" is not true";
}

void tst_LumQBDesignText::damagedTextIsRefusedWithItsProblem()
{
    QFETCH(QString, text);
    QFETCH(QString, problem);
    try {
        DesignFromText(text);
        QFAIL("accepted");
    } catch (const ELumQBException& e) {
        QVERIFY2(e.message().startsWith("The saved diagram cannot be read: "), qPrintable(e.message()));
        QVERIFY2(e.message().contains(problem), qPrintable(e.message()));
    }
}

QTEST_APPLESS_MAIN(tst_LumQBDesignText)
#include "tst_LumQBDesignText.moc"
