#include "modalDialogs.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbLocateDialog.h"
#include "uDbNavigator.h"
#include "uDbQuery.h"
#include "uDbRecordView.h"
#include "uDbRowsModel.h"
#include "uDbSearchDialog.h"
#include "uDialogScript.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>

namespace {

template <typename T> T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

} // namespace

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
    void inspectorEnterMovesToTheNextLine_data();
    void inspectorEnterMovesToTheNextLine();

    void locateRow_data();
    void locateRow();
    void locateDialogFindsAndKeepsSettings();
    void locateRefusesClosedRows();

    void searchRow_data();
    void searchRow();
    void searchDialogMovesAsYouType();
    void searchDialogCancelRestoresRow();
    void searchRefusesClosedRows();

    // Last: what the tests above left behind.
    void picturesStayOutOfTheProgramFolder();

private:
    TDbRowsPtr fetch(const QString& sql);
    static void save(QWidget& widget, const QString& name);

    QTemporaryDir m_dir;
    TDbConnection m_con;
    QDateTime m_started;
};

void tst_gridParts::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // File times have whole seconds on some file systems.
    m_started = QDateTime::currentDateTime().addSecs(-1);
    QVERIFY(m_dir.isValid());
    const QString copy = writableCopy(m_dir, "Chinook.sqlite");
    QVERIFY(!copy.isEmpty());
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

// Pictures to look at by eye, in the tests' output folder: the program's folder holds
// the program, its help and its favourites, nothing a test leaves.
void tst_gridParts::save(QWidget& widget, const QString& name)
{
    QDir().mkpath(QStringLiteral(QUILLORY_TEST_OUTPUT_DIR));
    widget.grab().save(QStringLiteral(QUILLORY_TEST_OUTPUT_DIR "/") + name + ".png");
}

void tst_gridParts::picturesStayOutOfTheProgramFolder()
{
    const QFileInfoList pictures =
        QDir(QStringLiteral(QUILLORY_BIN_DIR)).entryInfoList({QStringLiteral("*.png")}, QDir::Files);
    for (const QFileInfo& picture : pictures)
        QVERIFY2(picture.lastModified() < m_started, qPrintable(picture.filePath()));
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
    TDbRecordView inspector;
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
    QCOMPARE(inspector.horizontalHeader()->sectionSize(0), TDbRecordView::CaptionWidth);
    QCOMPARE(inspector.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);

    // Set on rows that are already open: built at once.
    TDbRecordView late;
    late.SetDataSource(&source);
    QCOMPARE(late.LineCount(), 5);
}

void tst_gridParts::inspectorFollowsCurrentRow()
{
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select TrackId, Name, Composer from Track order by TrackId"));
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbRecordView inspector;
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

void tst_gridParts::inspectorEnterMovesToTheNextLine_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("Return on the first line") << int(Qt::Key_Return) << 0 << 1;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 1 << 2;
    QTest::newRow("the last line keeps it") << int(Qt::Key_Return) << 2 << 2;
}

void tst_gridParts::inspectorEnterMovesToTheNextLine()
{
    QFETCH(int, key);
    QFETCH(int, from);
    QFETCH(int, to);
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select TrackId, Name, Composer from Track order by TrackId"));
    TDbDataSource source;
    source.SetDataSet(&cursor);
    // In a window with a default button, as in the query window (Save).
    QDialog window;
    auto* inspector = new TDbRecordView(&window);
    inspector->SetDataSource(&source);
    auto* save = new QPushButton(QStringLiteral("Save"), &window);
    save->setDefault(true);
    QSignalSpy saved(save, &QPushButton::clicked);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(inspector);
    layout->addWidget(save);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    inspector->setFocus();
    inspector->setCurrentCell(from, 1);
    QTest::keyClick(inspector, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QCOMPARE(inspector->currentRow(), to);
    QCOMPARE(saved.count(), 0);
}

// The window empties the list when the rows close; without that, old lines stay bound
// to their field names and show nothing for fields the new rows lack.
void tst_gridParts::inspectorRebuildsOnlyAfterClear()
{
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbRecordView inspector;
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

    // Emptied while the rows are open: built again for them at once.
    inspector.ClearRows();
    QCOMPARE(inspector.LineCount(), 2);
    QCOMPARE(inspector.LineField(1), QStringLiteral("GenreId"));
    QCOMPARE(inspector.LineValue(0), QStringLiteral("Rock"));

    // Two fields of one name (a join) each show their own value.
    cursor.SetRows(nullptr);
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
    TDbRecordView inspector;
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

// ---- locate ----

void tst_gridParts::locateRow_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("match");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("expected");
    const int exact = int(TLocateMatch::Exact);
    const int beginning = int(TLocateMatch::PartialAtBeginning);
    const int anywhere = int(TLocateMatch::PartialAnywhere);
    // Artist by ArtistId: row 2 "Aerosmith", row 160 "Aerosmith & Sierra Leone's Refugee Allstars".
    QTest::newRow("exact, case ignored") << 1 << "aerosmith" << exact << false << 0 << 2;
    QTest::newRow("exact, case kept: none") << 1 << "aerosmith" << exact << true << 0 << -1;
    QTest::newRow("exact is whole value") << 1 << "Aerosmith" << exact << false << 3 << -1;
    QTest::newRow("beginning") << 1 << "aero" << beginning << false << 0 << 2;
    QTest::newRow("beginning, from after first") << 1 << "aero" << beginning << false << 3 << 160;
    QTest::newRow("beginning is not anywhere") << 1 << "smith" << beginning << false << 0 << -1;
    QTest::newRow("anywhere") << 1 << "SMITH" << anywhere << false << 0 << 2;
    QTest::newRow("anywhere, case kept") << 1 << "SMITH" << anywhere << true << 0 << -1;
    QTest::newRow("anywhere, from the found row") << 1 << "smith" << anywhere << false << 2 << 2;
    QTest::newRow("integer field as text") << 0 << "10" << exact << false << 0 << 9;
    QTest::newRow("integer field, beginning") << 0 << "10" << beginning << false << 10 << 99;
    QTest::newRow("past the end") << 1 << "a" << beginning << false << 275 << -1;
    QTest::newRow("unknown field") << -1 << "a" << beginning << false << 0 << -1;
    QTest::newRow("field out of range") << 7 << "a" << beginning << false << 0 << -1;
}

void tst_gridParts::locateRow()
{
    QFETCH(int, column);
    QFETCH(QString, value);
    QFETCH(int, match);
    QFETCH(bool, caseSensitive);
    QFETCH(int, from);
    QFETCH(int, expected);
    static const TDbRowsPtr rows = fetch("select ArtistId, Name from Artist order by ArtistId");
    QCOMPARE(LocateRow(*rows, column, value, TLocateMatch(match), caseSensitive, from), qsizetype(expected));
}

void tst_gridParts::locateDialogFindsAndKeepsSettings()
{
    ScriptedDialogs script;
    TDbRowCursor cursor;
    cursor.SetRows(
        fetch("select Name, ArtistId, cast(x'00ff' as blob) as Picture from Artist order by ArtistId"));
    QCOMPARE(cursor.Field(2).type, TDbFieldType::Blob);
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbLocateDialog locate;
    locate.SetDataSource(&source);
    locate.SetSearchField("Name");

    auto seen = onModal([&](QDialog* d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("Locate Field Value"));
        auto* fields = child<QComboBox>(d, "cbxField");
        auto* value = child<QLineEdit>(d, "edValue");
        auto* next = child<QPushButton>(d, "btnNext");
        auto* first = child<QPushButton>(d, "btnFirst");
        QVERIFY(fields && value && next && first);
        QCOMPARE(fields->count(), 2); // sorted, bytes left out
        QCOMPARE(fields->itemText(0), QStringLiteral("ArtistId"));
        QCOMPARE(fields->itemText(1), QStringLiteral("Name"));
        QCOMPARE(fields->currentData().toString(), QStringLiteral("Name"));
        QVERIFY(child<QRadioButton>(d, "rbBeginning")->isChecked());
        QCOMPARE(child<QRadioButton>(d, "rbExact")->text(), QStringLiteral("&Exact Match"));
        QCOMPARE(child<QRadioButton>(d, "rbBeginning")->text(),
                 QStringLiteral("&Partial Match at Beginning"));
        QCOMPARE(child<QRadioButton>(d, "rbAnywhere")->text(), QStringLiteral("Partial Match &Anywhere"));
        QCOMPARE(child<QCheckBox>(d, "chkCase")->text(), QStringLiteral("&Case-sensitive"));
        QVERIFY(!child<QCheckBox>(d, "chkCase")->isChecked());
        QCOMPARE(first->text(), QStringLiteral("Fi&rst"));
        QCOMPARE(next->text(), QStringLiteral("&Next"));
        QVERIFY(next->isDefault());

        QTest::keyClicks(value, "aero");
        QTest::keyClick(value, Qt::Key_Return); // the default button: Next from the current row
        QCOMPARE(cursor.RecNo(), 2);
        next->click();
        QCOMPARE(cursor.RecNo(), 160);
        next->click();
        QCOMPARE(cursor.RecNo(), 160);
        QCOMPARE(script.texts(), QStringList{"No more matches found"});
        first->click();
        QCOMPARE(cursor.RecNo(), 2);
        value->setText("nobody of that name");
        first->click();
        QCOMPARE(cursor.RecNo(), 2);
        QCOMPARE(script.last().text, QStringLiteral("No matches found"));

        value->setText("smith");
        child<QRadioButton>(d, "rbAnywhere")->setChecked(true);
        child<QCheckBox>(d, "chkCase")->setChecked(true);
        fields->setCurrentIndex(1);
        first->click();
        QCOMPARE(cursor.RecNo(), 2);
        save(*d, "locateDialog");
        d->reject();
    });
    QVERIFY(locate.Execute(nullptr));
    QVERIFY(*seen);
    QCOMPARE(locate.SearchField(), QStringLiteral("Name"));
    QCOMPARE(locate.SearchValue(), QStringLiteral("smith"));
    QCOMPARE(locate.Match(), TLocateMatch::PartialAnywhere);
    QVERIFY(locate.CaseSensitive());

    // The next use opens with the last settings; a field chosen by name.
    locate.SetSearchField("artistid");
    seen = onModal([&](QDialog* d) {
        QCOMPARE(child<QComboBox>(d, "cbxField")->currentText(), QStringLiteral("ArtistId"));
        QCOMPARE(child<QLineEdit>(d, "edValue")->text(), QStringLiteral("smith"));
        QVERIFY(child<QRadioButton>(d, "rbAnywhere")->isChecked());
        QVERIFY(child<QCheckBox>(d, "chkCase")->isChecked());
        d->reject();
    });
    QVERIFY(!locate.Execute(nullptr)); // nothing found this time
    QVERIFY(*seen);
}

void tst_gridParts::locateRefusesClosedRows()
{
    ScriptedDialogs script;
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbLocateDialog locate;
    QVERIFY(!locate.Execute(nullptr)); // no source at all
    locate.SetDataSource(&source);
    QVERIFY(!locate.Execute(nullptr));
    QVERIFY(!locate.FindNext());
    QCOMPARE(script.shown().size(), 3);
    for (const dialogs::Request& r : script.shown()) {
        QCOMPARE(r.kind, dialogs::Kind::Error);
        QCOMPARE(r.text, QStringLiteral("DataSource does not reference an active DataSet."));
    }
    QVERIFY(!QApplication::activeModalWidget());
}

// ---- search ----

void tst_gridParts::searchRow_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("first letter") << 1 << "A" << 0;
    QTest::newRow("case as typed comes first") << 1 << "Ac" << 1; // "Accept" before "AC/DC"
    QTest::newRow("then any case") << 1 << "ac" << 0;
    QTest::newRow("longer prefix") << 1 << "Aerosmith " << 160;
    QTest::newRow("no match") << 1 << "Zzzz" << -1;
    QTest::newRow("nothing typed") << 1 << "" << -1;
    QTest::newRow("other column") << 0 << "25" << 24;
}

void tst_gridParts::searchRow()
{
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(int, expected);
    static const TDbRowsPtr rows = fetch("select ArtistId, Name from Artist order by ArtistId");
    QCOMPARE(SearchRow(*rows, column, text), qsizetype(expected));
}

void tst_gridParts::searchDialogMovesAsYouType()
{
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select Name, ArtistId from Artist order by ArtistId"));
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbSearchDialog search;
    search.SetDataSource(&source);

    auto seen = onModal([&](QDialog* d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("Search"));
        auto* edit = child<QLineEdit>(d, "edSearch");
        auto* grid = child<TDbGrid>(d, "grdSearch");
        QVERIFY(edit && grid);
        QCOMPARE(d->findChild<QLabel*>()->text(), QStringLiteral("&Search Characters"));
        QCOMPARE(d->findChild<QLabel*>()->buddy(), edit);
        QVERIFY(grid->height() <= TDbSearchDialog::MaxGridHeight);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(d->focusWidget(), edit);

        QTest::keyClicks(edit, "Aer");
        QCOMPARE(cursor.RecNo(), 2);
        QTest::keyClicks(edit, "osmith &");
        QCOMPARE(cursor.RecNo(), 160);
        QTRY_COMPARE(grid->currentIndex().row(), 160);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, "x"); // no row: stays
        QCOMPARE(cursor.RecNo(), 160);
        save(*d, "searchDialog");

        // Searching follows the grid's current column.
        edit->clear();
        grid->setCurrentIndex(grid->model()->index(0, 1));
        QTest::keyClicks(edit, "42");
        QCOMPARE(cursor.RecNo(), 41);
        QTest::keyClick(edit, Qt::Key_Return); // OK
    });
    QVERIFY(search.Execute(nullptr));
    QVERIFY(*seen);
    QCOMPARE(cursor.RecNo(), 41);
    QCOMPARE(search.SearchColumn(), 1);
}

void tst_gridParts::searchDialogCancelRestoresRow()
{
    TDbRowCursor cursor;
    cursor.SetRows(fetch("select Name from Artist order by ArtistId"));
    cursor.SetRecNo(5);
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbSearchDialog search;
    search.SetDataSource(&source);
    auto seen = onModal([&](QDialog* d) {
        QTest::keyClicks(child<QLineEdit>(d, "edSearch"), "Aud");
        QCOMPARE(cursor.RecNo(), 7);
        d->reject();
    });
    QVERIFY(!search.Execute(nullptr));
    QVERIFY(*seen);
    QCOMPARE(cursor.RecNo(), 5);
}

void tst_gridParts::searchRefusesClosedRows()
{
    ScriptedDialogs script;
    TDbRowCursor cursor;
    TDbDataSource source;
    source.SetDataSet(&cursor);
    TDbSearchDialog search;
    search.SetDataSource(&source);
    QVERIFY(!search.Execute(nullptr));
    QCOMPARE(script.shown().size(), 1);
    QCOMPARE(script.last().kind, dialogs::Kind::Error);
    QCOMPARE(script.last().text, QStringLiteral("Search Table is not active."));
}

QTEST_MAIN(tst_gridParts)
#include "tst_gridParts.moc"
