#include "uDbConnection.h"
#include "uDbDataSource.h"
#include "uDbInspector.h"
#include "uDbNavigator.h"
#include "uDbQuery.h"
#include "uDbRowsModel.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLayout>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The grid's companions on real fetched rows: the navigator, the record inspector, the
// locate dialog (and its matching rules) and the incremental search dialog.
class tst_gridParts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void navigatorButtons_data();
    void navigatorButtons();
    void navigatorMoves_data();
    void navigatorMoves();
    void navigatorEnabledByPosition_data();
    void navigatorEnabledByPosition();
    void navigatorClickMovesGridCursor();

    void inspectorBuildsLinesForOpenRows();
    void inspectorFollowsCurrentRow();
    void inspectorRebuildsOnlyAfterClear();
    void inspectorIsReadOnly();

private:
    TDbRowsPtr fetch(const QString& sql);
    static void save(QWidget& widget, const QString& name);

    QTemporaryDir m_dir;
    TDbConnection m_con;
};

void tst_gridParts::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(m_dir.isValid());
    const QString copy = m_dir.filePath("Chinook.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(QUILLORY_TESTDATA "/sqlite/Chinook_Sqlite.sqlite"), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    m_con.SetConnectionString("Provider=SQLite;Data Source=" + copy);
    m_con.Open();
}

TDbRowsPtr tst_gridParts::fetch(const QString& sql)
{
    TDbQuery query;
    query.SetConnection(&m_con);
    query.SetSQL({sql});
    query.Open();
    return query.Rows();
}

// Pictures to look at by eye; kept beside the test binary.
void tst_gridParts::save(QWidget& widget, const QString& name)
{
    widget.grab().save(QStringLiteral(QUILLORY_BIN_DIR "/") + name + ".png");
}

// ---- navigator ----

void tst_gridParts::navigatorButtons_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("hint");
    QTest::newRow("first") << int(TDbNavigator::First) << "navDataFirst"
                           << "Move to first record";
    QTest::newRow("prior page") << int(TDbNavigator::PriorPage) << "navDataPriorPage"
                                << "Move backward 10 records";
    QTest::newRow("prior") << int(TDbNavigator::Prior) << "navDataPrior"
                           << "Move to prior record";
    QTest::newRow("next") << int(TDbNavigator::Next) << "navDataNext"
                          << "Move to next record";
    QTest::newRow("next page") << int(TDbNavigator::NextPage) << "navDataNextPage"
                               << "Move forward 10 records";
    QTest::newRow("last") << int(TDbNavigator::Last) << "navDataLast"
                          << "Move to last record";
}

void tst_gridParts::navigatorButtons()
{
    QFETCH(int, button);
    QFETCH(QString, name);
    QFETCH(QString, hint);
    TDbNavigator nav;
    auto* b = nav.findChild<QToolButton*>(name);
    QVERIFY(b);
    QCOMPARE(b, nav.ButtonAt(TDbNavigator::Button(button)));
    QCOMPARE(b->toolTip(), hint);
    QCOMPARE(b->size(), QSize(25, 25));
    QVERIFY(b->autoRepeat());
    QCOMPARE(b->autoRepeatDelay(), 500);
    QCOMPARE(b->autoRepeatInterval(), 100);
    // In left-to-right order.
    QCOMPARE(nav.layout()->indexOf(b), button);
}

void tst_gridParts::navigatorMoves_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("expected");
    // Artist has 275 rows: 0..274.
    QTest::newRow("first") << 100 << int(TDbNavigator::First) << 0;
    QTest::newRow("last") << 100 << int(TDbNavigator::Last) << 274;
    QTest::newRow("prior") << 100 << int(TDbNavigator::Prior) << 99;
    QTest::newRow("next") << 100 << int(TDbNavigator::Next) << 101;
    QTest::newRow("page back") << 100 << int(TDbNavigator::PriorPage) << 90;
    QTest::newRow("page forward") << 100 << int(TDbNavigator::NextPage) << 110;
    QTest::newRow("page back stops at first") << 3 << int(TDbNavigator::PriorPage) << 0;
    QTest::newRow("page forward stops at last") << 270 << int(TDbNavigator::NextPage) << 274;
}

void tst_gridParts::navigatorMoves()
{
    QFETCH(int, start);
    QFETCH(int, button);
    QFETCH(int, expected);
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select * from Artist order by ArtistId"));
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbNavigator nav;
    nav.SetDataSource(&source);
    cursor.SetRecNo(start);
    nav.ButtonAt(TDbNavigator::Button(button))->click();
    QCOMPARE(cursor.RecNo(), qsizetype(expected));
}

void tst_gridParts::navigatorEnabledByPosition_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("row"); // -1: rows closed
    QTest::addColumn<bool>("back");
    QTest::addColumn<bool>("forward");
    const QString artists = "select * from Artist order by ArtistId";
    QTest::newRow("closed") << artists << -1 << false << false;
    QTest::newRow("first row") << artists << 0 << false << true;
    QTest::newRow("middle") << artists << 5 << true << true;
    QTest::newRow("last row") << artists << 274 << true << false;
    QTest::newRow("single row") << "select * from Artist where ArtistId = 1" << 0 << false << false;
    QTest::newRow("no rows") << "select * from Artist where ArtistId < 0" << 0 << false << false;
}

void tst_gridParts::navigatorEnabledByPosition()
{
    QFETCH(QString, sql);
    QFETCH(int, row);
    QFETCH(bool, back);
    QFETCH(bool, forward);
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbNavigator nav;
    nav.SetDataSource(&source);
    cursor.SetRows(fetch(sql));
    if (row < 0)
        cursor.SetRows(nullptr);
    else
        cursor.SetRecNo(row);
    for (int b : {TDbNavigator::First, TDbNavigator::PriorPage, TDbNavigator::Prior})
        QCOMPARE(nav.ButtonAt(TDbNavigator::Button(b))->isEnabled(), back);
    for (int b : {TDbNavigator::Next, TDbNavigator::NextPage, TDbNavigator::Last})
        QCOMPARE(nav.ButtonAt(TDbNavigator::Button(b))->isEnabled(), forward);
}

// A user's clicks: the cursor moves, the buttons follow, nothing moves past the ends.
void tst_gridParts::navigatorClickMovesGridCursor()
{
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select * from Genre order by GenreId")); // 25 rows
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbNavigator nav;
    nav.SetDataSource(&source);
    nav.show();
    QVERIFY(QTest::qWaitForWindowExposed(&nav));
    auto click = [&](TDbNavigator::Button b) { QTest::mouseClick(nav.ButtonAt(b), Qt::LeftButton); };
    click(TDbNavigator::NextPage);
    click(TDbNavigator::NextPage);
    QCOMPARE(cursor.RecNo(), 20);
    click(TDbNavigator::NextPage);
    QCOMPARE(cursor.RecNo(), 24);
    QVERIFY(!nav.ButtonAt(TDbNavigator::Next)->isEnabled());
    click(TDbNavigator::Next); // disabled: no move
    QCOMPARE(cursor.RecNo(), 24);
    click(TDbNavigator::Prior);
    QCOMPARE(cursor.RecNo(), 23);
    click(TDbNavigator::First);
    QCOMPARE(cursor.RecNo(), 0);
    QVERIFY(!nav.ButtonAt(TDbNavigator::First)->isEnabled());
    cursor.SetRecNo(12);
    save(nav, "navigator");
    cursor.SetRows(nullptr);
    for (int b = 0; b < 6; ++b)
        QVERIFY(!nav.ButtonAt(TDbNavigator::Button(b))->isEnabled());
}

// ---- inspector ----

void tst_gridParts::inspectorBuildsLinesForOpenRows()
{
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbInspector inspector;
    inspector.SetDataSource(&source);
    QCOMPARE(inspector.LineCount(), 0);

    cursor.SetRows(
        fetch("select TrackId, Name, Composer, Milliseconds, UnitPrice from Track order by TrackId"));
    QCOMPARE(inspector.LineCount(), 5);
    const QStringList names{"TrackId", "Name", "Composer", "Milliseconds", "UnitPrice"};
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(inspector.LineField(i), names[i]);
        QCOMPARE(inspector.LineCaption(i), cursor.Field(i).displayName);
    }
    QCOMPARE(inspector.LineValue(0), QStringLiteral("1"));
    QCOMPARE(inspector.LineValue(1), QStringLiteral("For Those About To Rock (We Salute You)"));
    QCOMPARE(inspector.LineValue(4), QStringLiteral("0.99"));
    QCOMPARE(inspector.horizontalHeader()->sectionSize(0), TDbInspector::CaptionWidth);
    QCOMPARE(inspector.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);

    // Set on rows that are already open: built at once.
    TDbInspector late;
    late.SetDataSource(&source);
    QCOMPARE(late.LineCount(), 5);
}

void tst_gridParts::inspectorFollowsCurrentRow()
{
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select TrackId, Name, Composer from Track order by TrackId"));
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbInspector inspector;
    inspector.SetDataSource(&source);
    inspector.resize(320, 140);
    inspector.show();
    QVERIFY(QTest::qWaitForWindowExposed(&inspector));

    cursor.SetRecNo(2); // TrackId 3, no composer... check by the rows themselves
    QTRY_COMPARE(inspector.LineValue(0), QStringLiteral("3"));
    QCOMPARE(inspector.LineValue(2), TDbRowsModel::DisplayText(*cursor.Rows(), 2, 2));
    // A walk over every row is shown once, at its end.
    for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    }
    QCOMPARE(inspector.LineValue(0), QStringLiteral("3"));
    QTRY_COMPARE(inspector.LineValue(0), QString::number(cursor.RecordCount()));
    cursor.SetRecNo(0);
    QTRY_COMPARE(inspector.LineValue(0), QStringLiteral("1"));
    inspector.setCurrentCell(1, 1);
    QVERIFY(inspector.selectionModel()->isRowSelected(1, {})); // the active line is highlighted
    save(inspector, "inspector");
}

// The window empties the list when the rows close; without that, old lines stay bound
// to their field names and show nothing for fields the new rows lack.
void tst_gridParts::inspectorRebuildsOnlyAfterClear()
{
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbInspector inspector;
    inspector.SetDataSource(&source);
    cursor.SetRows(fetch("select ArtistId, Name from Artist order by ArtistId"));
    QCOMPARE(inspector.LineCount(), 2);

    cursor.SetRows(nullptr);
    QCOMPARE(inspector.LineCount(), 2);
    QCOMPARE(inspector.LineValue(1), QString());
    cursor.SetRows(fetch("select Name, GenreId from Genre order by GenreId"));
    QCOMPARE(inspector.LineCount(), 2);
    QCOMPARE(inspector.LineField(0), QStringLiteral("ArtistId"));
    QCOMPARE(inspector.LineValue(0), QString());
    QCOMPARE(inspector.LineValue(1), QStringLiteral("Rock")); // bound by name

    cursor.SetRows(nullptr);
    inspector.ClearRows();
    QCOMPARE(inspector.LineCount(), 0);
    cursor.SetRows(fetch("select Name, GenreId from Genre order by GenreId"));
    QCOMPARE(inspector.LineCount(), 2);
    QCOMPARE(inspector.LineField(0), QStringLiteral("Name"));
    QCOMPARE(inspector.LineValue(1), QStringLiteral("1"));

    // Two fields of one name (a join) each show their own value.
    inspector.ClearRows();
    cursor.SetRows(fetch("select a.Name, b.Title, a.ArtistId, b.AlbumId as Name from Artist a join Album b "
                         "on b.ArtistId = a.ArtistId order by b.AlbumId"));
    QCOMPARE(inspector.LineValue(0), QStringLiteral("AC/DC"));
    QCOMPARE(inspector.LineValue(3), QStringLiteral("1"));
}

void tst_gridParts::inspectorIsReadOnly()
{
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select ArtistId, Name from Artist order by ArtistId"));
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbInspector inspector;
    inspector.SetDataSource(&source);
    inspector.show();
    QVERIFY(QTest::qWaitForWindowExposed(&inspector));
    inspector.setCurrentCell(1, 1);
    QTest::keyClick(&inspector, Qt::Key_F2);
    QTest::keyClicks(&inspector, "xyz");
    QCOMPARE(inspector.LineValue(1), QStringLiteral("AC/DC"));
    for (int line = 0; line < inspector.LineCount(); ++line)
        for (int column = 0; column < 2; ++column)
            QVERIFY(!(inspector.item(line, column)->flags() & Qt::ItemIsEditable));
    QCOMPARE(cursor.Rows()->AsString(0, 1), QStringLiteral("AC/DC"));
}

QTEST_MAIN(tst_gridParts)
#include "tst_gridParts.moc"
