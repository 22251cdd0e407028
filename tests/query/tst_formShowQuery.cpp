#include "formShowQuery.h"

#include "datModQuillory.h"
#include "frameQuery.h"
#include "helpRequests.h"
#include "testSupport.h"
#include "modalDialogs.h"
#include "uDbConnection.h"
#include "uDbConnectionString.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbLocateDialog.h"
#include "uDbNavigator.h"
#include "uDbQuery.h"
#include "uDbRecordView.h"
#include "uDbRows.h"
#include "uDialogScript.h"
#include "uParameters.h"
#include "uProgressRun.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QToolButton>

#include <QUrl>

#include <memory>

#include <QDirIterator>

// The query window over a real SQLite database and a real favourites store in a
// temporary folder: new and saved queries, Save with its questions, the page change that
// fetches, the failures of opening a saved query, and the export.
class tst_formShowQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void newQueryShowsFrameAloneAndSavesAfterFetch();
    void savingAgainUnderSameNameOverwrites_data();
    void savingAgainUnderSameNameOverwrites();
    void saveStopsOnCancelledNameOrNo();
    void closingWithUnsavedSqlAsks_data();
    void closingWithUnsavedSqlAsks();
    void unchangedWindowClosesAtOnce();
    void diagramIsSavedWithTheQueryAndOpenedWithIt();
    void saveRefusedByStoreIsReportedNotConfirmed();
    void savedQueryOpensOnDataPage();
    void dataPageSaysWhatTheRowsCouldNotHold();
    void savedQueryFailures_data();
    void savedQueryFailures();
    void savedDataLinkQueryReadsItsFileAndStringOnce();
    void movedDatabaseIsMendedBySavingAgain();
    void leavingDesignFetchesAndRefusesFailingSql();
    void keyInMemoDisablesSaveAndClosesRows();
    void dataPageToolsFollowTheCopy();
    void locateStartsOnFirstColumnThenKeepsChoice();
    void panelDoubleClickRunsSearch();
    void exportWritesFileAndOffersToViewIt();
    void exportOfClosedRowsReportsErrorAndAsksNothing();
    void longFetchShowsProgressAndCancelLeavesNoRows();
    void closingTheWindowDuringAFetchCancelsIt();
    void longExportShowsProgressAndCancelRemovesTheFile();
    void factoryOpensQueryForShell();
    void helpButtonAndF1OpenTheWindowsTopic_data();
    void helpButtonAndF1OpenTheWindowsTopic();

private:
    QString database() const { return m_dir.filePath("chinook.sqlite"); }
    QString sqlite() const { return "Provider=SQLite;Data Source=" + database(); }
    // A saved query in the test folder; returns its id.
    int saveQuery(const QString& name, const QString& sql, const QString& connection = {});
    std::unique_ptr<TfrmShowQuery> openWindow(int queryId);
    // Connects the window's frame to the test database and fetches the lines there.
    void connectAndFetch(TfrmShowQuery& w, const QStringList& sql) const;
    int queriesNamed(const QString& name) const;
    static int gridRows(const TfrmShowQuery& w) { return w.gridData->model()->rowCount(); }

    QTemporaryDir m_dir;
    QString m_storeFolder;
    int m_folderId = 0;
};

void tst_formShowQuery::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    QVERIFY(m_dir.isValid());
    QCOMPARE(writableCopy(m_dir, "chinook.sqlite"), database());
}

void tst_formShowQuery::init()
{
    InitParameters(nullptr);
    static int run = 0;
    m_storeFolder = m_dir.filePath(QStringLiteral("store%1").arg(++run));
    QVERIFY(QDir().mkpath(m_storeFolder));
    dmQuillory = new TdmQuillory(m_storeFolder);
    QVERIFY(dmQuillory->startupErrors().isEmpty());
    dmQuillory->AddFolder(QStringLiteral("Music"));
    m_folderId = dmQuillory->folders().first().ID;
}

void tst_formShowQuery::cleanup()
{
    delete dmQuillory;
    dmQuillory = nullptr;
}

int tst_formShowQuery::saveQuery(const QString& name, const QString& sql, const QString& connection)
{
    dmQuillory->AddQuery(m_folderId, name, sql, connection.isEmpty() ? sqlite() : connection);
    return dmQuillory->currentQuery()->ID;
}

std::unique_ptr<TfrmShowQuery> tst_formShowQuery::openWindow(int queryId)
{
    auto w = std::make_unique<TfrmShowQuery>();
    w->ParentId = queryId == 0 ? m_folderId : 0;
    w->LoadQuery(queryId);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("query window not shown");
    return w;
}

void tst_formShowQuery::connectAndFetch(TfrmShowQuery& w, const QStringList& sql) const
{
    w.QueryFrame->conADO->SetConnectionString(sqlite());
    w.QueryFrame->OpenConnection();
    w.QueryFrame->SetQueryLines(sql);
    w.QueryFrame->btnfetchClick();
}

int tst_formShowQuery::queriesNamed(const QString& name) const
{
    int n = 0;
    for (const QueryRecord& r : dmQuillory->queries())
        n += r.Name() == name ? 1 : 0;
    return n;
}

void tst_formShowQuery::newQueryShowsFrameAloneAndSavesAfterFetch()
{
    auto w = openWindow(0);
    QCOMPARE(w->windowTitle(), QStringLiteral("New Query"));
    QVERIFY(!w->pagQuery->isVisible());
    QVERIFY(w->QueryFrame->isVisible());
    QCOMPARE(w->QueryFrame->parentWidget(), w.get());
    QVERIFY(w->QueryFrame->geometry().bottom() < w->pnlBottom->geometry().top());
    QVERIFY(!w->btnsave->isEnabled());

    connectAndFetch(*w, {"select GenreId, Name", "from Genre"});
    QVERIFY(w->btnsave->isEnabled());
    QVERIFY(!w->cdsData->Active()); // a new query never opens the copy

    ScriptedDialogs script;
    script.input(QStringLiteral("Genres"));
    w->btnsaveClick();
    QCOMPARE(script.shown().size(), 2);
    QCOMPARE(script.shown().at(0).kind, dialogs::Kind::Input);
    QCOMPARE(script.shown().at(0).caption, QStringLiteral("Query Name"));
    QCOMPARE(script.shown().at(0).text, QStringLiteral("save as"));
    QCOMPARE(script.shown().at(0).value, QString());
    QCOMPARE(script.last().text, QStringLiteral("Query saved as Genres"));
    QCOMPARE(w->btnClose, QApplication::focusWidget());

    QCOMPARE(queriesNamed("Genres"), 1);
    const QueryRecord& saved = dmQuillory->queries().first();
    QCOMPARE(saved.parentID, m_folderId);
    QCOMPARE(saved.QueryString(), QStringLiteral("select GenreId, Name\nfrom Genre\n"));
    QCOMPARE(dmQuillory->GetConnectString(saved.ID), sqlite());
    // Save leaves the window unnamed.
    QCOMPARE(w->windowTitle(), QStringLiteral("New Query"));
    QCOMPARE(w->queryId(), 0);
}

void tst_formShowQuery::closingWithUnsavedSqlAsks_data()
{
    QTest::addColumn<bool>("saved");  // a saved query, else a new one
    QTest::addColumn<QString>("how"); // button, box or escape
    QTest::addColumn<QString>("answer");
    for (const bool saved : {true, false})
        for (const char* how : {"button", "box", "escape"})
            for (const char* answer : {"yes", "no", "cancel"})
                QTest::addRow("%s, %s, %s", saved ? "saved" : "new", how, answer) << saved << how << answer;
}

// Work is not lost on close: SQL that ran and differs from what is saved is offered for
// saving, by every way the window closes; Cancel keeps the window, No drops the change.
void tst_formShowQuery::closingWithUnsavedSqlAsks()
{
    QFETCH(bool, saved);
    QFETCH(QString, how);
    QFETCH(QString, answer);
    const int id = saved ? saveQuery("Genres", "select * from Genre\n") : 0;
    auto w = openWindow(id);
    if (saved) {
        w->QueryFrame->SetQueryLines({"select * from Genre where GenreId < 5"});
        w->QueryFrame->btnfetchClick();
    } else {
        connectAndFetch(*w, {"select * from Genre where GenreId < 5"});
    }
    const QByteArray before = readFile(m_storeFolder + "/queries.xml");

    ScriptedDialogs script;
    if (answer == "yes")
        saved ? script.yes().yes() /* Save's own "Ok to overwrite" */ : script.yes().input("Short genres");
    else
        answer == "no" ? script.no() : script.cancel();
    if (how == "button")
        QTest::mouseClick(w->btnClose, Qt::LeftButton);
    else if (how == "box")
        w->close();
    else
        QTest::keyClick(w.get(), Qt::Key_Escape);

    QCOMPARE(script.shown().first().kind, dialogs::Kind::QuestionWithCancel);
    QCOMPARE(script.shown().first().text,
             saved ? QStringLiteral("Save changes to query 'Genres'?") : QStringLiteral("Save changes to query 'New Query'?"));
    QCOMPARE(script.pending(), 0);
    QCOMPARE(w->isVisible(), answer == "cancel");
    if (answer == "yes") {
        QCOMPARE(script.last().text, saved ? QStringLiteral("Query saved as Genres") : QStringLiteral("Query saved as Short genres"));
        const QByteArray after = readFile(m_storeFolder + "/queries.xml");
        QVERIFY(after.contains("select * from Genre where GenreId &lt; 5") || after.contains("GenreId < 5"));
        QCOMPARE(dmQuillory->queries().size(), 1);
    } else {
        QCOMPARE(readFile(m_storeFolder + "/queries.xml"), before);
        QCOMPARE(dmQuillory->queries().size(), saved ? 1 : 0);
    }
}

void tst_formShowQuery::unchangedWindowClosesAtOnce()
{
    ScriptedDialogs script; // any question would fail the test
    auto w = openWindow(saveQuery("Genres", "select * from Genre\n"));
    QTest::mouseClick(w->btnClose, Qt::LeftButton);
    QVERIFY(!w->isVisible());
    // A new query with nothing fetched, or after its SQL was saved.
    auto fresh = openWindow(0);
    fresh->close();
    QVERIFY(!fresh->isVisible());
    auto savedNew = openWindow(0);
    connectAndFetch(*savedNew, {"select * from Genre"});
    script.input("All genres");
    savedNew->btnsaveClick();
    QTest::keyClick(savedNew.get(), Qt::Key_Escape);
    QVERIFY(!savedNew->isVisible());
    QCOMPARE(script.pending(), 0);
}

void tst_formShowQuery::savingAgainUnderSameNameOverwrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("short") << QStringLiteral("Genres");
    // Longer than the listed width of the name column: stored whole, so found again.
    QTest::newRow("longer than 40") << QStringLiteral("All the genres of the store, sorted by their name");
}

void tst_formShowQuery::savingAgainUnderSameNameOverwrites()
{
    QFETCH(QString, name);
    auto w = openWindow(0);
    connectAndFetch(*w, {"select * from Genre"});
    ScriptedDialogs script;
    script.input(name);
    w->btnsaveClick();
    QCOMPARE(queriesNamed(name), 1);
    const int id = dmQuillory->currentQuery()->ID;

    w->QueryFrame->SetQueryLines({"select * from Genre where GenreId < 5"});
    w->QueryFrame->btnfetchClick();
    script.clear();
    script.input(name).yes();
    w->btnsaveClick();
    QCOMPARE(script.shown().at(1).kind, dialogs::Kind::Question);
    QCOMPARE(script.shown().at(1).text, "Ok to overwrite " + name);
    QCOMPARE(script.shown().at(1).caption, name + " already used");
    QCOMPARE(script.last().text, "Query saved as " + name);
    QCOMPARE(queriesNamed(name), 1);
    QCOMPARE(dmQuillory->queries().size(), 1);
    QCOMPARE(dmQuillory->GetQueryString(id), QStringLiteral("select * from Genre where GenreId < 5\n"));
    QCOMPARE(dmQuillory->GetQueryName(id), name);
}

void tst_formShowQuery::diagramIsSavedWithTheQueryAndOpenedWithIt()
{
    const QString diagram = QStringLiteral(R"({"version":1,"tables":[{"name":"Genre","alias":"G"}]})");
    auto w = openWindow(0);
    connectAndFetch(*w, {"select * from Genre"});
    w->QueryFrame->SetDiagramDesign(diagram); // as the designer's Apply leaves it
    ScriptedDialogs script;
    script.input("Drawn");
    w->btnsaveClick();
    w->QueryFrame->SetQueryLines({"select * from Track"});
    w->QueryFrame->btnfetchClick();
    w->QueryFrame->SetDiagramDesign(QString());
    script.input("Typed");
    w->btnsaveClick();
    QCOMPARE(dmQuillory->queries().size(), 2);
    const QueryRecord drawn = dmQuillory->queries().at(0);
    QCOMPARE(drawn.DiagramDesign(), diagram);
    QVERIFY(dmQuillory->queries().at(1).DiagramDesignNull());

    auto again = openWindow(drawn.ID);
    QCOMPARE(again->QueryFrame->diagramDesign(), diagram);
    QCOMPARE(openWindow(dmQuillory->queries().at(1).ID)->QueryFrame->diagramDesign(), QString());
}

void tst_formShowQuery::saveStopsOnCancelledNameOrNo()
{
    const int id = saveQuery("Genres", "select * from Genre\n");
    auto w = openWindow(0);
    connectAndFetch(*w, {"select * from Track"});

    ScriptedDialogs script;
    script.cancel();
    w->btnsaveClick();
    script.input(QString());
    w->btnsaveClick();
    script.input("Genres").no();
    w->btnsaveClick();
    QCOMPARE(script.shown().size(), 4); // two names asked, one name asked and one question
    QCOMPARE(script.pending(), 0);
    QCOMPARE(dmQuillory->queries().size(), 1);
    QCOMPARE(dmQuillory->GetQueryString(id), QStringLiteral("select * from Genre\n"));
}

void tst_formShowQuery::saveRefusedByStoreIsReportedNotConfirmed()
{
    // A store whose query file could not be read refuses changes.
    delete dmQuillory;
    const QString folder = m_dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    QFile broken(QDir(folder).filePath(QStringLiteral("queries.xml")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("<DATAPACKET Version=\"2.0\"><METADATA>");
    broken.close();
    dmQuillory = new TdmQuillory(folder);
    QVERIFY(dmQuillory->isLocked(TdmQuillory::Table::cdsQuery));

    auto w = openWindow(0);
    connectAndFetch(*w, {"select * from Genre"});
    ScriptedDialogs script;
    script.input(QStringLiteral("Genres"));
    w->btnsaveClick();
    QCOMPARE(script.shown().size(), 2);
    QCOMPARE(script.last().kind, dialogs::Kind::Error);
    QVERIFY(script.last().text.startsWith("Changes to "));
    QVERIFY(dmQuillory->queries().isEmpty());
}

// A saved query on an Access file with a value the reader could not decode: the Data
// page says so above the rows; a query without such values shows no such line.
void tst_formShowQuery::dataPageSaysWhatTheRowsCouldNotHold()
{
    const QString file = m_dir.filePath("broken dates.mdb");
    QVERIFY(writeAccessFileWithUnreadableDate(file));
    const QString access = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file;
    ScriptedDialogs script;
    auto w = openWindow(saveQuery("Dates", "SELECT IDCol, DateCol FROM DateTest", access));
    QVERIFY(script.shown().isEmpty());
    QCOMPARE(gridRows(*w), 6);
    QVERIFY(w->lblWarning->isVisible());
    QCOMPARE(w->lblWarning->text(),
             QStringLiteral("Some values could not be read from the Access file and are shown empty: DateTest.DateCol (1)."));

    auto plain = openWindow(saveQuery("Ids", "SELECT IDCol FROM DateTest", access));
    QCOMPARE(gridRows(*plain), 6);
    QVERIFY(plain->lblWarning->isHidden());
}

void tst_formShowQuery::savedQueryOpensOnDataPage()
{
    const int id = saveQuery("Rock tracks", "select TrackId, Name\r\nfrom Track\r\nwhere GenreId = 1");
    ScriptedDialogs script;
    auto w = openWindow(id);
    QVERIFY(script.shown().isEmpty());
    QCOMPARE(w->windowTitle(), QStringLiteral("Rock tracks"));
    QCOMPARE(w->queryId(), id);
    QCOMPARE(w->ParentId, m_folderId);
    QCOMPARE(w->pagQuery->currentIndex(), 1);
    QCOMPARE(w->pagQuery->count(), 3);
    QCOMPARE(w->pagQuery->tabText(0), QStringLiteral("Design"));
    QCOMPARE(w->pagQuery->tabText(1), QStringLiteral("Data"));
    QCOMPARE(w->pagQuery->tabText(2), QStringLiteral("Diary"));
    QCOMPARE(w->QueryFrame->parentWidget(), w->TabDesign);
    QVERIFY(w->btnsave->isEnabled());
    QCOMPARE(w->QueryFrame->QueryLines(),
             QStringList({"select TrackId, Name", "from Track", "where GenreId = 1"}));
    QCOMPARE(gridRows(*w), 1297);
    // The copy is a second view over the query's rows, not a copy of them.
    QCOMPARE(w->cdsData->Rows().get(), w->QueryFrame->qryADO->Rows().get());

    // Its name exists in its folder: Save asks at once and stores the SQL last fetched.
    script.yes();
    w->btnsaveClick();
    QCOMPARE(script.shown().first().text, QStringLiteral("Ok to overwrite Rock tracks"));
    QCOMPARE(dmQuillory->queries().size(), 1);
    QCOMPARE(dmQuillory->GetQueryString(id),
             QStringLiteral("select TrackId, Name\nfrom Track\nwhere GenreId = 1\n"));

    // Leaving Data for Design never fetches; back on Data the same rows show.
    w->pagQuery->setCurrentIndex(0);
    QCOMPARE(w->pagQuery->currentIndex(), 0);
    w->pagQuery->setCurrentIndex(1);
    QCOMPARE(gridRows(*w), 1297);

    if (const QByteArray shot = qgetenv("QUILLORY_SHOT"); !shot.isEmpty())
        w->grab().save(QString::fromLocal8Bit(shot));
}

void tst_formShowQuery::savedQueryFailures_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("connected");

    // The lead texts, a line break, the cause; the query keeps its name and SQL.
    QTest::newRow("unreachable database")
        << "Provider=SQLite;Data Source=/nonexistent/folder/gone.sqlite"
        << "select * from Genre"
        << "Failed to connect to database\nunable to open database file: /nonexistent/folder/gone.sqlite"
        << "Broken" << false;
    // The file is named and no password asked for: no login mends a file that is not there.
    QTest::newRow("unreadable data link file")
        << "File Name=/nonexistent/folder/gone.udl"
        << "select * from Genre"
        << "Failed to connect to database\nCannot open the data link file \"/nonexistent/folder/gone.udl\": "
           "No such file or directory"
        << "Broken" << false;
    QTest::newRow("failing SQL")
        << QString() << "select *\r\nfrom NoSuchTable"
        << "Failed to open query select *\nfrom NoSuchTable\nno such table: NoSuchTable"
        << "Broken" << true;
}

void tst_formShowQuery::savedQueryFailures()
{
    QFETCH(QString, connection);
    QFETCH(QString, sql);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    QFETCH(bool, connected);
    const int otherFolder = m_folderId + 100;
    const int id = saveQuery("Broken", sql, connection);
    ScriptedDialogs script; // no login prompt for a file
    auto w = std::make_unique<TfrmShowQuery>();
    w->ParentId = otherFolder;
    w->LoadQuery(id);
    QCOMPARE(script.pending(), 0);
    QCOMPARE(script.last().text, message);
    QCOMPARE(w->windowTitle(), caption);
    QCOMPARE(w->queryId(), 0);
    QCOMPARE(w->ParentId, m_folderId);
    QCOMPARE(w->QueryFrame->QueryLines(), sql.split("\r\n"));
    QCOMPARE(w->pagQuery->currentIndex(), 0);
    QVERIFY(!w->btnsave->isEnabled());
    QVERIFY(!w->cdsData->Active());
    QCOMPARE(w->QueryFrame->conADO->Connected(), connected);
}

// Opening a saved query on a data link file takes its string, a connection string in
// the file, a provider and a description for the window: the file is read once and each
// string parsed once for all of them.
void tst_formShowQuery::savedDataLinkQueryReadsItsFileAndStringOnce()
{
    const QString udl = m_dir.filePath("chinook.udl");
    QVERIFY(writeDataLinkFile(udl, sqlite()));
    const QString connection = "File Name=" + udl;
    const int id = saveQuery("Genres", "select * from Genre", connection);

    QStringList reads, parses;
    const TDbConnectionStringWatch previous = WatchConnectionStrings(
        {[&](const QString& text) { parses << text; }, [&](const QString& path) { reads << path; }});
    ScriptedDialogs script;
    auto w = openWindow(id);
    WatchConnectionStrings(previous);

    QVERIFY(script.shown().isEmpty());
    QCOMPARE(w->cdsData->RecordCount(), 25);
    QCOMPARE(w->QueryFrame->lblDataSource->text(), QStringLiteral("chinook.sqlite"));
    QCOMPARE(reads, QStringList({udl}));
    QCOMPARE(parses, QStringList({connection, sqlite()}));
}

void tst_formShowQuery::movedDatabaseIsMendedBySavingAgain()
{
    const QString moved = "Provider=SQLite;Data Source=" + m_dir.filePath("moved-away.sqlite");
    const int id = saveQuery("Rock", "select Name from Genre where GenreId = 1", moved);
    ScriptedDialogs script;
    auto w = openWindow(id);
    QCOMPARE(script.shown().size(), 1);
    QVERIFY2(script.last().text.contains(m_dir.filePath("moved-away.sqlite")),
             qPrintable(script.last().text));
    QCOMPARE(w->windowTitle(), QStringLiteral("Rock"));
    QCOMPARE(w->QueryFrame->QueryLines(), QStringList{"select Name from Genre where GenreId = 1"});
    script.clear();

    // The user connects to where the database is now, fetches the saved SQL, saves.
    w->QueryFrame->conADO->SetConnectionString(sqlite());
    w->QueryFrame->OpenConnection();
    w->QueryFrame->btnfetchClick();
    QVERIFY(w->btnsave->isEnabled());
    script.yes();
    w->btnsaveClick();
    QCOMPARE(script.shown().first().text, QStringLiteral("Ok to overwrite Rock"));
    QCOMPARE(queriesNamed("Rock"), 1);
    QCOMPARE(dmQuillory->GetConnectString(id), sqlite());
    w.reset();

    script.clear();
    auto again = openWindow(id);
    QCOMPARE(script.shown().size(), 0);
    QCOMPARE(again->queryId(), id);
    QCOMPARE(gridRows(*again), 1);
}

void tst_formShowQuery::leavingDesignFetchesAndRefusesFailingSql()
{
    const int id = saveQuery("Broken", "select * from NoSuchTable");
    ScriptedDialogs script;
    auto w = openWindow(id);
    QCOMPARE(script.shown().size(), 1);
    script.clear();

    // The memo's SQL fails: the frame shows its error, Design stays. A click on the tab
    // is refused before the Data page ever shows; a change by keyboard is undone.
    QSignalSpy pageChanges(w->pagQuery, &QTabWidget::currentChanged);
    QTabBar* tabs = w->pagQuery->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(w->pagQuery->currentIndex(), 0);
    QCOMPARE(pageChanges.count(), 0);
    QCOMPARE(script.shown().size(), 1);
    QVERIFY(script.last().text.contains("NoSuchTable"));
    w->pagQuery->setCurrentIndex(1);
    QCOMPARE(w->pagQuery->currentIndex(), 0);
    QCOMPARE(script.shown().size(), 2);
    QVERIFY(!w->cdsData->Active());

    // Mended SQL: leaving Design fetches it and shows its rows.
    w->QueryFrame->SetQueryLines({"select * from Genre"});
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(w->pagQuery->currentIndex(), 1);
    QVERIFY(w->btnsave->isEnabled());
    QVERIFY(w->cdsData->Active());
    QCOMPARE(gridRows(*w), 25);
    QCOMPARE(script.shown().size(), 2);
}

void tst_formShowQuery::keyInMemoDisablesSaveAndClosesRows()
{
    const int id = saveQuery("Genres", "select * from Genre");
    auto w = openWindow(id);
    QVERIFY(w->btnsave->isEnabled());
    w->pagQuery->setCurrentIndex(0);
    QTest::keyClick(w->QueryFrame->memQuery, Qt::Key_Space);
    QVERIFY(!w->QueryFrame->qryADO->Active());
    QVERIFY(!w->btnsave->isEnabled());
    QVERIFY(!w->cdsData->Active());
    QCOMPARE(gridRows(*w), 0);

    w->QueryFrame->btnfetchClick();
    QVERIFY(w->btnsave->isEnabled());
    w->pagQuery->setCurrentIndex(1);
    QVERIFY(w->cdsData->Active());
    QCOMPARE(gridRows(*w), 25);
}

void tst_formShowQuery::dataPageToolsFollowTheCopy()
{
    const int id = saveQuery("Genres", "select GenreId, Name as \"Genre name\" from Genre");
    auto w = openWindow(id);
    QCOMPARE(w->inspector->LineCount(), 2);
    QCOMPARE(w->inspector->LineCaption(1), QStringLiteral("Genre name"));
    QCOMPARE(w->inspector->LineValue(1), QStringLiteral("Rock"));

    // The navigator moves the window's cursor, not the frame's.
    w->navData->BtnClick(TDbNavigator::NextPage);
    QCOMPARE(w->cdsData->RecNo(), 10);
    QCOMPARE(w->QueryFrame->qryADO->Cursor().RecNo(), 0);
    QTRY_COMPARE(w->gridData->currentIndex().row(), 10);
    QTRY_COMPARE(w->inspector->LineValue(0), QStringLiteral("11"));
    w->navData->BtnClick(TDbNavigator::Last);
    QVERIFY(!w->navData->ButtonAt(TDbNavigator::Next)->isEnabled());

    // Show/hide detail twice restores inspector and splitter.
    QVERIFY(w->inspector->isVisible());
    QVERIFY(w->Splitter1->handle(1)->isVisible());
    w->btnShowdetail->click();
    QVERIFY(!w->inspector->isVisible());
    QVERIFY(!w->Splitter1->handle(1)->isVisible());
    w->btnShowdetail->click();
    QVERIFY(w->inspector->isVisible());
    QVERIFY(w->Splitter1->handle(1)->isVisible());

    // Closed rows drop the inspector's lines; other rows get lines for their own fields.
    w->pagQuery->setCurrentIndex(0);
    w->QueryFrame->SetQueryLines({"select ArtistId, Name, 1 as One from Artist"});
    QTest::keyClick(w->QueryFrame->memQuery, Qt::Key_End);
    QVERIFY(!w->cdsData->Active());
    QCOMPARE(w->inspector->LineCount(), 0);
    QVERIFY(!w->navData->ButtonAt(TDbNavigator::First)->isEnabled());
    w->pagQuery->setCurrentIndex(1);
    QCOMPARE(w->pagQuery->currentIndex(), 1);
    QCOMPARE(w->inspector->LineCount(), 3);
    QCOMPARE(w->inspector->LineField(2), QStringLiteral("One"));
    QCOMPARE(gridRows(*w), 275);
}

void tst_formShowQuery::locateStartsOnFirstColumnThenKeepsChoice()
{
    const int id = saveQuery("Genres", "select GenreId, Name from Genre");
    auto w = openWindow(id);
    QVERIFY(w->dlgLocate->SearchField().isEmpty());
    QString title;
    onModal([&title](QDialog* dialog) { title = dialog->windowTitle(); });
    w->btnLocate->click();
    QCOMPARE(title, QStringLiteral("Locate Field Value"));
    QCOMPARE(w->dlgLocate->SearchField(), QStringLiteral("GenreId"));

    w->dlgLocate->SetSearchField(QStringLiteral("Name"));
    onModal([](QDialog*) {});
    w->btnLocate->click();
    QCOMPARE(w->dlgLocate->SearchField(), QStringLiteral("Name"));
}

void tst_formShowQuery::panelDoubleClickRunsSearch()
{
    const int id = saveQuery("Genres", "select GenreId, Name from Genre");
    auto w = openWindow(id);
    QString title;
    onModal([&title](QDialog* dialog) { title = dialog->windowTitle(); });
    QTest::mouseDClick(w->Panel1, Qt::LeftButton, {}, QPoint(w->Panel1->width() / 2, 2));
    QCOMPARE(title, QStringLiteral("Search"));
    QVERIFY(w->Panel1->toolTip().contains("Ctrl+F"));
    // Ctrl+F opens it too, from the grid.
    title.clear();
    onModal([&title](QDialog* dialog) { title = dialog->windowTitle(); });
    QApplication::setActiveWindow(w.get()); // shortcuts go to the active window only
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->gridData->setFocus();
    QTest::keyClick(w->gridData, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(title, QStringLiteral("Search"));
}

void tst_formShowQuery::exportWritesFileAndOffersToViewIt()
{
    const int id = saveQuery("Genres", "select GenreId, Name from Genre where GenreId <= 2");
    auto w = openWindow(id);
    const QString typed = m_dir.filePath("genres");
    const QString file = typed + ".csv";
    ScriptedDialogs script;
    script.file(typed).no();
    w->btnExportClick();
    QCOMPARE(script.shown().at(0).kind, dialogs::Kind::SaveFile);
    QCOMPARE(script.shown().at(0).filter, QStringLiteral("Comma Separated Values (*.csv);;All files (*.*)"));
    QCOMPARE(script.last().text, "Do you wish to view \r\nthe file " + file + " now?");
    QCOMPARE(script.last().caption, QStringLiteral("View File"));
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray written("\"GenreId\",\"Name\"\r\n\"1\",\"Rock\"\r\n\"2\",\"Jazz\"\r\n");
    QCOMPARE(csv.readAll(), written);
    csv.close();

    // The dialog offers the last file again; Cancel stops.
    script.clear();
    script.cancel();
    w->btnExportClick();
    QCOMPARE(script.shown().size(), 1);
    QCOMPARE(script.last().value, file);

    // The name typed again without its extension: the file it means exists, so the
    // window asks before emptying it; No keeps it.
    script.clear();
    script.file(typed).no();
    w->btnExportClick();
    QCOMPARE(script.shown().size(), 2);
    QCOMPARE(script.last().text, file + " already exists.\nDo you want to replace it?");
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), written);
}

void tst_formShowQuery::exportOfClosedRowsReportsErrorAndAsksNothing()
{
    const int id = saveQuery("Genres", "select * from Genre where 0");
    auto w = openWindow(id);
    const QString file = m_dir.filePath("empty.csv");
    ScriptedDialogs script;
    script.file(file);
    w->btnExportClick();
    QCOMPARE(script.shown().size(), 2);
    QCOMPARE(script.last().kind, dialogs::Kind::Error);
    QCOMPARE(script.last().text, QStringLiteral("Can not export an empty dataset."));
    QVERIFY(QFile::exists(file));
    QCOMPARE(QFileInfo(file).size(), 0);
}

namespace {

const QString kEndless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) ";

QDialog* progressWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmProgress" && w->isVisible())
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

int threadCount()
{
    int n = 0;
    for (QDirIterator it("/proc/self/task", QDir::Dirs | QDir::NoDotAndDotDot); it.hasNext(); it.next())
        ++n;
    return n;
}

// Watches for the progress window; once it shows some progress, act() is called with it.
class ProgressWatch : public QObject
{
public:
    explicit ProgressWatch(std::function<void(QDialog*)> act) : m_act(std::move(act))
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QDialog* p = progressWindow();
            if (!p)
                return;
            const QString text = p->findChild<QLabel*>("lblProgress")->text();
            if (text.isEmpty() || text.startsWith(u'0'))
                return;
            seen = text;
            m_timer.stop();
            m_act(p);
        });
        m_timer.start();
    }
    QString seen;

private:
    std::function<void(QDialog*)> m_act;
    QTimer m_timer;
};

void clickCancel(QDialog* progress)
{
    QTest::mouseClick(progress->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
}

} // namespace

void tst_formShowQuery::longFetchShowsProgressAndCancelLeavesNoRows()
{
    const int id = saveQuery("Endless", kEndless + "SELECT x, 'row ' || x FROM c");
    const int delay = progressrun::setShowDelay(100);
    const auto restore = qScopeGuard([delay] { progressrun::setShowDelay(delay); });
    ScriptedDialogs script;
    const int threads = threadCount();
    ProgressWatch watch(clickCancel);
    // The window is not shown while a saved query opens: its progress window stands alone.
    auto w = openWindow(id);
    QVERIFY2(QRegularExpression("^[1-9][\\d,]* rows fetched$").match(watch.seen).hasMatch(), qPrintable(watch.seen));
    QCOMPARE(script.texts(), QStringList{"Fetch cancelled"});
    QVERIFY(!progressWindow());
    QCOMPARE(threadCount(), threads);
    // As after a failed fetch: the query by name and SQL, no rows, the connection kept.
    QCOMPARE(w->windowTitle(), QStringLiteral("Endless"));
    QVERIFY(!w->QueryFrame->qryADO->Active());
    QVERIFY(!w->cdsData->Active());
    QVERIFY(w->QueryFrame->conADO->Connected());
    QVERIFY(w->isEnabled() && w->QueryFrame->isEnabled());
    w->QueryFrame->SetQueryLines({"select count(*) from Genre"});
    w->QueryFrame->btnfetchClick();
    QCOMPARE(w->QueryFrame->qryADO->AsInteger(0), 25);
}

void tst_formShowQuery::closingTheWindowDuringAFetchCancelsIt()
{
    auto w = openWindow(0);
    const int delay = progressrun::setShowDelay(0);
    const auto restore = qScopeGuard([delay] { progressrun::setShowDelay(delay); });
    ScriptedDialogs script;
    const int threads = threadCount();
    bool controlsWaited = false;
    ProgressWatch watch([&](QDialog*) {
        controlsWaited = !w->QueryFrame->isEnabled() && !w->pnlBottom->isEnabled();
        QVERIFY(w->close() == false); // the window waits for the fetch to let go
    });
    connectAndFetch(*w, {kEndless + "SELECT x FROM c"});
    QVERIFY(controlsWaited);
    QTRY_VERIFY(!w->isVisible());
    QCOMPARE(w->result(), int(QDialog::Rejected));
    QVERIFY(script.shown().isEmpty()); // no message for a cancel the user closed into
    QVERIFY(!w->QueryFrame->qryADO->Active());
    QVERIFY(!progressWindow());
    QCOMPARE(threadCount(), threads);
}

void tst_formShowQuery::longExportShowsProgressAndCancelRemovesTheFile()
{
    const int id = saveQuery("Many", kEndless + "SELECT x, 'row number ' || x FROM c LIMIT 3000000");
    auto w = openWindow(id);
    QCOMPARE(gridRows(*w), 3000000);
    const int delay = progressrun::setShowDelay(0);
    const auto restore = qScopeGuard([delay] { progressrun::setShowDelay(delay); });
    const QString file = m_dir.filePath("many.csv");
    ScriptedDialogs script;
    script.file(file);
    ProgressWatch watch(clickCancel);
    w->btnExportClick();
    QVERIFY2(QRegularExpression("^[1-9][\\d,]* of 3,000,000 rows written$").match(watch.seen).hasMatch(),
             qPrintable(watch.seen));
    QCOMPARE(script.texts().last(), "Export cancelled");
    QVERIFY(!QFileInfo::exists(file));

    // Without a cancel the whole file is written and the cursor ends on the last row.
    script.clear();
    script.file(file).no();
    progressrun::setShowDelay(60000);
    w->btnExportClick();
    QCOMPARE(script.last().caption, QStringLiteral("View File"));
    QCOMPARE(w->cdsData->RecNo(), 2999999);
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.size() > 3000000 * 20);
}

void tst_formShowQuery::factoryOpensQueryForShell()
{
    const int id = saveQuery("Genres", "select * from Genre");
    QWidget owner;
    std::unique_ptr<QDialog> window = CreateQueryWindow(&owner, 7, id);
    auto* w = qobject_cast<TfrmShowQuery*>(window.get());
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), &owner);
    QCOMPARE(w->ParentId, m_folderId); // taken from the stored query
    QCOMPARE(w->queryId(), id);

    std::unique_ptr<QDialog> fresh = CreateQueryWindow(&owner, 7, 0);
    QCOMPARE(static_cast<TfrmShowQuery*>(fresh.get())->ParentId, 7);
    QCOMPARE(fresh->windowTitle(), QStringLiteral("New Query"));
}

void tst_formShowQuery::helpButtonAndF1OpenTheWindowsTopic_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("saved");
    QTest::newRow("Help, new query") << false << false;
    QTest::newRow("F1 in the SQL, new query") << true << false;
    QTest::newRow("F1 on the Data page") << true << true;
}

void tst_formShowQuery::helpButtonAndF1OpenTheWindowsTopic()
{
    QFETCH(bool, byKey);
    QFETCH(bool, saved);
    HelpRequests help;
    auto w = openWindow(saved ? saveQuery("Genres", "select * from Genre") : 0);
    if (byKey) {
        QWidget* focus = saved ? static_cast<QWidget*>(w->gridData) : w->QueryFrame->memQuery;
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_F1);
    } else {
        w->btnHelp->click();
    }
    QCOMPARE(help.urls, QList<QUrl>{QUrl(QStringLiteral("quillory-help:context/20"))});
}

QTEST_MAIN(tst_formShowQuery)
#include "tst_formShowQuery.moc"
