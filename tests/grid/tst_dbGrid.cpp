#include "dbSession.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbQuery.h"
#include "uDbRowsModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

// The rows model, the data source and the read-only grid: what a cell shows, that the
// rows are shared and never copied, that the grid fills and empties with its query, and
// that the grid's current row and the data set's follow each other.
class tst_dbGrid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cellText_data();
    void cellText();
    void headersAndAlignment();
    void rowsSharedNotCopied();
    void modelKeepsItemModelRules();
    void millionRowsReadInPlace();
    void sourceFollowsQueryOpenAndClose();
    void sourceOnSecondCursorOverSameRows();
    void sourceForgetsDestroyedQuery();
    void gridIsReadOnly();
    void gridAndDataSetFollowEachOther();
    void columnsWidenForLongValuesScrolledIntoView();
    void gridFirstShownLaterShowsItsRowsAndCurrentRow();

private:
    static TDbRowsPtr oneValue(TDbFieldType type, const QVariant& value);
};

void tst_dbGrid::initTestCase()
{
    // Dates and times show in the user's local form; pin one so the texts are known.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

TDbRowsPtr tst_dbGrid::oneValue(TDbFieldType type, const QVariant& value)
{
    TDbField f;
    f.name = QStringLiteral("v");
    f.displayName = QStringLiteral("v");
    f.type = type;
    TDbRowsBuilder b({f});
    if (type == TDbFieldType::Blob)
        b.AppendBytes(value.toByteArray());
    else if (type == TDbFieldType::BCD)
        b.AppendText(value.toString());
    else
        b.AppendValue(value);
    return b.Finish();
}

void tst_dbGrid::cellText_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("shown");

    QTest::newRow("null is empty") << int(TDbFieldType::Integer) << QVariant() << "";
    QTest::newRow("null text is empty") << int(TDbFieldType::String) << QVariant() << "";
    QTest::newRow("integer") << int(TDbFieldType::Integer) << QVariant(qlonglong(-42)) << "-42";
    QTest::newRow("float, local separator") << int(TDbFieldType::Float) << QVariant(2.5) << "2,5";
    QTest::newRow("single, shortest digits") << int(TDbFieldType::Single) << QVariant(0.15f) << "0,15";
    QTest::newRow("BCD, local separator") << int(TDbFieldType::BCD) << QVariant("1.98") << "1,98";
    QTest::newRow("boolean") << int(TDbFieldType::Boolean) << QVariant(true) << "True";
    QTest::newRow("date, local short form")
        << int(TDbFieldType::Date) << QVariant(QDate(2004, 3, 2)) << "02.03.04";
    QTest::newRow("date-time at midnight")
        << int(TDbFieldType::DateTime) << QVariant(QDateTime(QDate(2021, 1, 1), QTime(0, 0))) << "01.01.21";
    QTest::newRow("date-time") << int(TDbFieldType::DateTime)
                               << QVariant(QDateTime(QDate(2021, 1, 1), QTime(14, 30, 5)))
                               << "01.01.21 14:30:05";
    QTest::newRow("time") << int(TDbFieldType::Time) << QVariant(QTime(9, 5, 0)) << "09:05:00";
    QTest::newRow("text kept") << int(TDbFieldType::WideString) << QVariant(" a \"b\" ~ ") << " a \"b\" ~ ";
    QTest::newRow("line breaks on one line")
        << int(TDbFieldType::Memo) << QVariant("one\r\ntwo\nthree") << "one  two three";
    QTest::newRow("blob") << int(TDbFieldType::Blob) << QVariant(QByteArray("\x01\x02", 2)) << "(BLOB)";
}

void tst_dbGrid::cellText()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QString, shown);
    TDbRowsModel model;
    model.SetRows(oneValue(TDbFieldType(type), value));
    QCOMPARE(model.rowCount(), 1);
    const QModelIndex cell = model.index(0, 0);
    QCOMPARE(cell.data().toString(), shown);
    QCOMPARE(cell.data(TDbRowsModel::ValueRole).isValid(), value.isValid());
    QVERIFY(!(model.flags(cell) & Qt::ItemIsEditable));
}

void tst_dbGrid::headersAndAlignment()
{
    TDbField id{"InvoiceId", "Invoice No.", TDbFieldType::Integer, "INTEGER", 0};
    TDbField name{"Name", "Name", TDbFieldType::WideString, "NVARCHAR(40)", 40};
    TDbField total{"Total", "Total", TDbFieldType::BCD, "NUMERIC(10,2)", 0};
    TDbRowsBuilder b({id, name, total});
    b.AppendInteger(1);
    b.AppendText(QStringLiteral("x"));
    b.AppendText(QStringLiteral("3.5"));
    TDbRowsModel model;
    model.SetRows(b.Finish());
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Invoice No."));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("InvoiceId (INTEGER)"));
    auto align = [&](int column) {
        return model.index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    QCOMPARE(align(0), Qt::AlignRight);
    QCOMPARE(align(1), Qt::AlignLeft);
    QCOMPARE(align(2), Qt::AlignRight);
    model.SetRows(nullptr);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
}

void tst_dbGrid::rowsSharedNotCopied()
{
    TDbRowsPtr rows = TDbRowsBuilder::FromStrings({"a"}, {{"1"}, {"2"}});
    TDbRowsModel model;
    model.SetRows(rows);
    QCOMPARE(model.Rows().get(), rows.get());
    QCOMPARE(rows.use_count(), 2);
    model.SetRows(nullptr);
    QCOMPARE(rows.use_count(), 1);
}

// Qt's model tester watches every change (resets, counts, indexes, parents, roles) while
// the model is filled, switched to other rows of every kind and emptied.
void tst_dbGrid::modelKeepsItemModelRules()
{
    TDbRowsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetRows(TDbRowsBuilder::FromStrings({"a", "b"}, {{"1", "x"}, {"2", ""}}));
    model.SetRows(oneValue(TDbFieldType::Blob, QByteArray("\x01", 1)));
    model.SetRows(TDbRowsBuilder::FromStrings({"a"}, {}));
    DbSession db("Provider=SQLite;Data Source=" + chinookFile());
    model.SetRows(db.run({"select * from Invoice"}).Rows());
    QCOMPARE(model.rowCount(), 412);
    model.SetRows(nullptr);
    QCOMPARE(model.rowCount(), 0);
}

// A million rows: the model answers at once for any row, reading the rows in place.
void tst_dbGrid::millionRowsReadInPlace()
{
    TDbField n{"n", "n", TDbFieldType::Integer, "INTEGER", 0};
    TDbField s{"s", "s", TDbFieldType::String, "TEXT", 0};
    TDbRowsBuilder b({n, s});
    const int count = 1'000'000;
    for (int i = 0; i < count; ++i) {
        b.AppendInteger(i);
        if (i % 3)
            b.AppendText(QStringLiteral("row"));
        else
            b.AppendNull();
    }
    TDbRowsPtr rows = b.Finish();
    const qsizetype before = rows->MemoryBytes();
    TDbDataSource source;
    TDbRowCursor cursor;
    source.SetDataSet(&cursor);
    cursor.SetRows(rows);
    TDbGrid grid;
    grid.resize(400, 300);
    grid.SetDataSource(&source);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QCOMPARE(grid.model()->rowCount(), count);
    QCOMPARE(grid.model()->index(count - 1, 0).data().toString(), QString::number(count - 1));
    QCOMPARE(grid.model()->index(count - 2, 1).data().toString(), QStringLiteral("row"));
    QCOMPARE(grid.model()->index(count - 1, 1).data().toString(), QString()); // 999999 is null
    cursor.Last();
    QTRY_COMPARE(grid.currentIndex().row(), count - 1);
    QCOMPARE(rows->MemoryBytes(), before);
    QCOMPARE(source.Model()->Rows().get(), rows.get());
}

void tst_dbGrid::sourceFollowsQueryOpenAndClose()
{
    TDbConnection con;
    con.SetConnectionString("Provider=SQLite;Data Source=" + chinookFile());
    con.Open();
    TDbQuery query;
    query.SetConnection(&con);
    query.SetSQL({"select InvoiceId, InvoiceDate, Total", "from Invoice order by InvoiceId"});
    TDbDataSource source;
    source.SetDataSet(&query);
    QSignalSpy state(&source, &TDbDataSource::StateChanged);
    QVERIFY(!source.Active());
    QCOMPARE(source.Model()->rowCount(), 0);

    query.Open();
    QVERIFY(source.Active());
    QCOMPARE(source.Model()->rowCount(), int(query.RecordCount()));
    QCOMPARE(source.Model()->rowCount(), 412);
    QCOMPARE(source.Model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("InvoiceDate"));
    QCOMPARE(source.Model()->index(0, 1).data().toString(), QStringLiteral("01.01.21"));
    QCOMPARE(source.Model()->Rows().get(), query.Rows().get());
    QVERIFY(state.count() >= 1);

    state.clear();
    query.Close();
    QCOMPARE(state.count(), 1);
    QVERIFY(!source.Active());
    QCOMPARE(source.Model()->rowCount(), 0);

    query.Open();
    con.Close(); // the query closes with its connection, and the grid with it
    QCOMPARE(source.Model()->rowCount(), 0);
}

// The query window shows its own copy: a second cursor over the query's rows.
void tst_dbGrid::sourceOnSecondCursorOverSameRows()
{
    TDbConnection con;
    con.SetConnectionString("Provider=SQLite;Data Source=" + chinookFile());
    con.Open();
    TDbQuery query;
    query.SetConnection(&con);
    query.SetSQL({"select * from Artist"});
    query.Open();
    TDbRowCursor copy;
    TDbDataSource source;
    source.SetDataSet(&copy);
    copy.SetRows(query.Rows());
    QCOMPARE(source.Model()->Rows().get(), query.Rows().get());
    query.Close(); // the copy keeps its rows
    QCOMPARE(source.Model()->rowCount(), 275);
    source.SetDataSet(static_cast<TDbRowCursor*>(nullptr));
    QCOMPARE(source.Model()->rowCount(), 0);
}

void tst_dbGrid::sourceForgetsDestroyedQuery()
{
    TDbDataSource source;
    TDbGrid grid;
    grid.SetDataSource(&source);
    {
        TDbRowCursor cursor;
        source.SetDataSet(&cursor);
        cursor.SetRows(TDbRowsBuilder::FromStrings({"a"}, {{"1"}}));
        QCOMPARE(grid.model()->rowCount(), 1);
    }
    QCOMPARE(source.DataSet(), nullptr);
    QCOMPARE(grid.model()->rowCount(), 0);
    QTest::qWait(0);
}

void tst_dbGrid::gridIsReadOnly()
{
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    cursor.SetRows(TDbRowsBuilder::FromStrings({"a", "b"}, {{"1", "x"}, {"2", "y"}}));
    TDbGrid grid;
    grid.SetDataSource(&source);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_F2);
    QTest::keyClicks(grid.viewport(), "zz");
    QTest::keyClick(&grid, Qt::Key_Return);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {},
                       grid.visualRect(grid.model()->index(1, 1)).center());
    QCOMPARE(grid.model()->index(1, 1).data().toString(), QStringLiteral("y"));
    QCOMPARE(grid.findChildren<QLineEdit*>().size(), 0); // no cell editor opened
}

void tst_dbGrid::gridAndDataSetFollowEachOther()
{
    QList<QStringList> values;
    for (int i = 0; i < 50; ++i)
        values << QStringList{QString::number(i), QStringLiteral("name %1").arg(i)};
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbGrid grid;
    grid.resize(300, 200);
    grid.SetDataSource(&source);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    cursor.SetRows(TDbRowsBuilder::FromStrings({"id", "name"}, values));
    QCOMPARE(grid.currentIndex().row(), 0);
    QVERIFY(grid.columnWidth(1) > grid.fontMetrics().horizontalAdvance("name 10"));

    // A walk over every row shows only where it ends.
    QSignalSpy moves(grid.selectionModel(), &QItemSelectionModel::currentRowChanged);
    for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    }
    QCOMPARE(moves.count(), 0);
    QTRY_COMPARE(grid.currentIndex().row(), 49);
    QCOMPARE(moves.count(), 1);
    QVERIFY(grid.viewport()->rect().intersects(grid.visualRect(grid.currentIndex())));

    // A click moves the data set.
    grid.scrollToTop();
    const QRect third = grid.visualRect(grid.model()->index(2, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(cursor.RecNo(), 2);
    QCOMPARE(cursor.AsString(1), QStringLiteral("name 2"));
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(cursor.RecNo(), 3);

    cursor.SetRows(nullptr);
    QCOMPARE(grid.model()->rowCount(), 0);
    QVERIFY(!grid.currentIndex().isValid());
}

// The first rows size the columns; a longer number further down widens its column
// when it scrolls into view, and scrolling back does not narrow it again.
void tst_dbGrid::columnsWidenForLongValuesScrolledIntoView()
{
    QList<QStringList> values;
    for (int i = 0; i < 400; ++i)
        values << QStringList{i == 380 ? QStringLiteral("5000000000000000000001") : QString::number(i % 10)};
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbGrid grid;
    grid.resize(400, 200);
    grid.SetDataSource(&source);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    cursor.SetRows(TDbRowsBuilder::FromStrings({"n"}, values));
    const int narrow = grid.columnWidth(0);
    const int needed = grid.fontMetrics().horizontalAdvance(QStringLiteral("5000000000000000000001"));
    QVERIFY(narrow < needed);
    grid.scrollTo(grid.model()->index(380, 0));
    QTRY_VERIFY(grid.columnWidth(0) > needed);
    const int wide = grid.columnWidth(0);
    grid.scrollToTop();
    QTest::qWait(0);
    QCOMPARE(grid.columnWidth(0), wide);
}

void tst_dbGrid::gridFirstShownLaterShowsItsRowsAndCurrentRow()
{
    // A grid behind another page keeps nothing per row until it shows; then it shows the
    // rows it got meanwhile, at the data set's current row, and follows later changes.
    QList<QStringList> values;
    for (int i = 0; i < 1000; ++i)
        values << QStringList{QString::number(i)};
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbGrid grid;
    grid.resize(400, 200);
    grid.SetDataSource(&source);
    cursor.SetRows(TDbRowsBuilder::FromStrings({"n"}, values));
    cursor.SetRecNo(700);
    QTest::qWait(0);
    QCOMPARE(grid.model()->rowCount(), 1000);
    QCOMPARE(grid.verticalHeader()->count(), 0);

    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QCOMPARE(grid.verticalHeader()->count(), 1000);
    QCOMPARE(grid.currentIndex().row(), 700);
    QVERIFY(grid.viewport()->rect().intersects(grid.visualRect(grid.currentIndex())));
    QCOMPARE(grid.indexAt(grid.visualRect(grid.currentIndex()).center()).data().toString(), QStringLiteral("700"));

    cursor.SetRows(TDbRowsBuilder::FromStrings({"n"}, values.mid(0, 10)));
    QTest::qWait(0);
    QCOMPARE(grid.verticalHeader()->count(), 10);
    grid.hide();
    cursor.SetRows(TDbRowsBuilder::FromStrings({"n"}, values.mid(0, 20)));
    QCOMPARE(grid.verticalHeader()->count(), 20); // once shown, it keeps following
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    cursor.Last();
    QTRY_COMPARE(grid.currentIndex().row(), 19);
    QVERIFY(grid.viewport()->rect().intersects(grid.visualRect(grid.currentIndex())));
}

QTEST_MAIN(tst_dbGrid)
#include "tst_dbGrid.moc"
