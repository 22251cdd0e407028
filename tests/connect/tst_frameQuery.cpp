#include "frameQuery.h"

#include "UEncrypt.h"
#include "formDatabaseType.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbQuery.h"
#include "uDbRowsModel.h"
#include "uDialogScript.h"
#include "uParameters.h"
#include "uTildeText.h"
#include "utils.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>

#include "dbTestServer.h"
#include <QTimer>

#include <functional>
#include <memory>

// The query definition frame on a real SQLite database: connecting through the type
// dialog, Reconnect from the stored parameters, fetching into the grid, closing on any
// key, the failure paths with their texts, and the parameters it leaves behind.
class tst_frameQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstRunWithoutParameters();
    void arrangementFollowsResizeAndSplitter();
    void connectThroughTypeDialog();
    void connectStoresPasswordScrambled();
    void connectFailureShownByGeneralErrorDisplay_data();
    void connectFailureShownByGeneralErrorDisplay();
    void cancelledTypeDialogLeavesDisconnected();
    void connectedShowsWhatItReaches_data();
    void connectedShowsWhatItReaches();
    void fetchShowsRowsAndStoresQuery();
    void fetchConnectsWhenDisconnected();
    void fetchSaysWhatTheRowsCouldNotHold();
    void fetchErrorsKeepStoredQuery_data();
    void fetchErrorsKeepStoredQuery();
    void anyKeyInMemoClosesQuery_data();
    void anyKeyInMemoClosesQuery();
    void editWithoutKeyClosesQuery();
    void reconnectRestoresMemoLineForLine();
    void reconnectWithoutStoredQueryEmptiesMemo();
    void reconnectFailureMessage();
    void destroyedWhileConnected();

private:
    QString database() const { return m_dir.filePath("chinook.sqlite"); }
    QString jet() const
    {
        return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + database() + ";Persist Security Info=False";
    }
    // A frame as the query window shows it: sized, so that its resize handler has run.
    static std::unique_ptr<TframQuery> shownFrame();
    // Runs action on the database type dialog once the frame shows it modally.
    static void onTypeDialog(std::function<void(TfrmDatabaseType*)> action);
    static int gridRows(TframQuery& frame) { return frame.grid1->model()->rowCount(); }

    QTemporaryDir m_dir;
};

void tst_frameQuery::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    QVERIFY(m_dir.isValid());
    QCOMPARE(writableCopy(m_dir, "chinook.sqlite"), database());
}

void tst_frameQuery::init()
{
    // Every test is a fresh run: an empty parameter set, in memory only.
    InitParameters(nullptr);
}

std::unique_ptr<TframQuery> tst_frameQuery::shownFrame()
{
    auto frame = std::make_unique<TframQuery>(nullptr);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get()))
        qFatal("frame not shown");
    return frame;
}

void tst_frameQuery::onTypeDialog(std::function<void(TfrmDatabaseType*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<TfrmDatabaseType*>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("the database type dialog is not showing");
        action(dialog);
    });
}

void tst_frameQuery::firstRunWithoutParameters()
{
    auto frame = shownFrame();
    QVERIFY(!frame->btnReconnect->isVisible());
    QCOMPARE(frame->memQuery->toPlainText(), QStringLiteral("select * from blah"));
    QCOMPARE(frame->QueryLines(), QStringList{"select * from blah"});
    QCOMPARE(frame->initialQueryText(), QStringLiteral("\"select * from blah\""));
    QCOMPARE(frame->lblConnected->text(), QString());
    QVERIFY(!frame->btnfetch->isEnabled());
    QVERIFY(!frame->btnQBuilder->isEnabled());
    QVERIFY(frame->btnConnect->isEnabled());
    QCOMPARE(gridRows(*frame), 0);
    QVERIFY(!frame->conADO->Connected());
    QCOMPARE(frame->conADO->ConnectionString(), QString());
    QCOMPARE(frame->qryADO->Connection(), frame->conADO);
    QCOMPARE(frame->dscADO->DataSet(), &frame->qryADO->Cursor());
    QCOMPARE(frame->grid1->DataSource(), frame->dscADO);

    // Components are found by their names, with the texts the user sees.
    const QList<std::pair<const char*, QString>> texts{
        {"pnlConnectionCaption", " 1. Connection to Database"},
        {"btnConnect", "C&onnect..."},
        {"btnReconnect", "&Reconnect"},
        {"Label1", "2. Write SELECT statement or use Query Builder"},
        {"btnQBuilder", "&Builder..."},
        {"Label2", "3. Fetch data from database"},
        {"btnfetch", "&Fetch"},
    };
    for (const auto& [name, text] : texts) {
        QWidget* w = frame->findChild<QWidget*>(QLatin1String(name));
        QVERIFY2(w, name);
        const QString shown = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text()
                                                       : qobject_cast<QPushButton*>(w)->text();
        QCOMPARE(shown, text);
    }
    QCOMPARE(frame->btnConnect->toolTip(),
             QStringLiteral("This will help you set up a database connection."));
    QCOMPARE(frame->btnReconnect->toolTip(),
             QStringLiteral("This will reconnect ot the last successful connection"));
    for (const char* name : {"pnlConnection", "pnlQuery", "memQuery", "grid1", "Splitter1", "lblConnected"})
        QVERIFY2(frame->findChild<QWidget*>(QLatin1String(name)), name);
    for (const char* name : {"conADO", "qryADO", "dscADO"})
        QVERIFY2(frame->findChild<QObject*>(QLatin1String(name)), name);
}

// Top to bottom: connection panel, statement panel, splitter, fetch row and grid. A taller
// frame gives the grid the room; the splitter gives it to the statement panel.
void tst_frameQuery::arrangementFollowsResizeAndSplitter()
{
    auto frame = shownFrame();
    QCOMPARE(frame->size(), QSize(625, 376));
    auto bottom = [&](QWidget* w) { return w->mapTo(frame.get(), QPoint(0, w->height())).y(); };
    auto top = [&](QWidget* w) { return w->mapTo(frame.get(), QPoint(0, 0)).y(); };
    auto right = [&](QWidget* w) { return w->mapTo(frame.get(), QPoint(w->width(), 0)).x(); };
    QCOMPARE(frame->pnlConnection->height(), 41);
    QCOMPARE(frame->pnlQuery->height(), 104);
    QCOMPARE(top(frame->pnlQuery), 41);
    QVERIFY(top(frame->memQuery) > bottom(frame->Label1) - 4);
    QVERIFY(top(frame->Label2) >= bottom(frame->pnlQuery) + 3);
    QVERIFY(top(frame->grid1) > bottom(frame->btnfetch) - 1);
    QVERIFY(frame->grid1->height() > 150);
    QVERIFY(bottom(frame->grid1) <= 376);

    const int memoHeight = frame->memQuery->height();
    const int gridHeight = frame->grid1->height();
    frame->resize(900, 600);
    QCOMPARE(frame->memQuery->height(), memoHeight);
    QCOMPARE(frame->grid1->height(), gridHeight + 224);
    QCOMPARE(right(frame->btnfetch), right(frame->btnQBuilder));
    QVERIFY(right(frame->btnfetch) > 870);
    QVERIFY(right(frame->grid1) > 870);

    frame->Splitter1->setSizes({204, frame->Splitter1->height() - 204 - 3});
    QCOMPARE(frame->pnlQuery->height(), 204);
    QCOMPARE(frame->memQuery->height(), memoHeight + 100);
    QCOMPARE(frame->grid1->height(), gridHeight + 124);
}

void tst_frameQuery::connectThroughTypeDialog()
{
    auto frame = shownFrame();
    ScriptedDialogs script;
    script.file(database());
    onTypeDialog(
        [](TfrmDatabaseType* dialog) { dialog->ItemButton(TfrmDatabaseType::MicrosoftAccess)->click(); });
    QTest::mouseClick(frame->btnConnect, Qt::LeftButton);

    QVERIFY(frame->conADO->Connected());
    QCOMPARE(frame->conADO->ConnectionString(), jet());
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("CONNECTED OK"));
    QVERIFY(frame->btnfetch->isEnabled());
    QVERIFY(frame->btnQBuilder->isEnabled());
    QVERIFY(frame->hasConnected());
    QCOMPARE(frame->lastConnectionString(), jet());
    QCOMPARE(ReadParameter("Connection"), jet());
    QCOMPARE(script.pending(), 0);
    QVERIFY(!frame->findChild<TfrmDatabaseType*>()); // destroyed after use

    // Reconnect stays as it was until the next resize, which hides it for good.
    frame->resize(626, 376);
    QVERIFY(!frame->btnReconnect->isVisible());
}

void tst_frameQuery::connectStoresPasswordScrambled()
{
    auto frame = shownFrame();
    ScriptedDialogs script;
    const QString clear = "Provider=SQLite;Data Source=" + database() + ";User ID=me;Password=s3cret";
    onTypeDialog([clear](TfrmDatabaseType* dialog) {
        dialog->Connection->SetConnectionString(clear);
        dialog->Connection->Open();
        dialog->accept();
    });
    frame->btnConnectClick();
    QVERIFY(frame->conADO->Connected());
    QCOMPARE(frame->lastConnectionString(), clear);
    const QString stored = ReadParameter("Connection");
    QVERIFY(!stored.contains("s3cret"));
    QCOMPARE(stored, EncryptConnectionString(clear));
    QCOMPARE(DecryptConnectionString(stored), clear);
}

// The type dialog closes with OK but leaves the connection closed: the frame opens it
// itself, and an error of the prompted attempt reaches the general error display.
void tst_frameQuery::connectFailureShownByGeneralErrorDisplay_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<bool>("prompted"); // the login prompt shows, and is cancelled
    QTest::addColumn<QString>("message");
    const QString missing = m_dir.filePath("missing.sqlite");
    // A file is no matter of a password: no prompt, and the error names the file.
    QTest::newRow("missing file") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + missing << false
                                  << "Could not find file '" + missing + "'.";
    QTest::newRow("text file as SQLite")
        << "Provider=SQLite;Data Source=" QUILLORY_SOURCE_DIR "/README.md" << false
        << QUILLORY_SOURCE_DIR "/README.md: file is not a database.";
    // A server that refuses: cancelling the prompt still tells what went wrong, and where.
    const QString port = QString::number(closedLoopbackPort());
    QTest::newRow("login cancelled on a refusing server")
        << "Provider=PostgreSQL;Data Source=127.0.0.1:" + port +
               ";Initial Catalog=shop;User ID=ann;Password=pw"
        << true << "Login cancelled.\nserver 127.0.0.1:" + port + ", database shop: ";
}

void tst_frameQuery::connectFailureShownByGeneralErrorDisplay()
{
    QFETCH(QString, connection);
    QFETCH(bool, prompted);
    QFETCH(QString, message);
    auto frame = shownFrame();
    ScriptedDialogs script;
    if (prompted)
        script.cancel();
    onTypeDialog([connection](TfrmDatabaseType* dialog) {
        dialog->Connection->SetConnectionString(connection);
        dialog->accept();
    });
    frame->btnConnectClick();

    QCOMPARE(script.pending(), 0);
    QCOMPARE(script.shown().size(), prompted ? 2 : 1);
    if (prompted)
        QCOMPARE(script.shown().at(0).kind, dialogs::Kind::Login);
    QCOMPARE(script.last().kind, dialogs::Kind::Error);
    QVERIFY2(script.last().text.startsWith(message), qPrintable(script.last().text));
    QVERIFY2(prompted || script.last().text == message, qPrintable(script.last().text));
    QVERIFY(!script.last().text.contains("pw;") && !script.last().text.contains("=pw"));
    QCOMPARE(script.last().caption, QStringLiteral("Quillory"));
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("FAILED TO CONNECT"));
    QVERIFY(!frame->btnfetch->isEnabled());
    QVERIFY(!frame->btnQBuilder->isEnabled());
    QVERIFY(!frame->hasConnected());
    QCOMPARE(ReadParameter("Connection"), QString());
}

void tst_frameQuery::connectedShowsWhatItReaches_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("tip");
    QTest::newRow("SQLite file") << "Provider=SQLite;Data Source=" + database() << "chinook.sqlite"
                                 << database();
    QTest::newRow("file through the Access provider") << jet() << "chinook.sqlite" << database();
    QTest::newRow("ODBC string with a password") << "Driver=SQLite3;Database=" + database() + ";PWD=secret"
                                                 << "chinook.sqlite" << database() + " (ODBC driver SQLite3)";
}

void tst_frameQuery::connectedShowsWhatItReaches()
{
    QFETCH(QString, connection);
    QFETCH(QString, shown);
    QFETCH(QString, tip);
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(connection);
    frame->OpenConnection();
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("CONNECTED OK"));
    QCOMPARE(frame->lblDataSource->text(), shown);
    QCOMPARE(frame->lblDataSource->toolTip(), tip);
    QCOMPARE(frame->window()->toolTip(), tip);
    QVERIFY(!tip.contains("secret"));
    frame->conADO->Close();
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("Not Connected"));
    QCOMPARE(frame->lblDataSource->text(), QString());
    QCOMPARE(frame->window()->toolTip(), QString());
}

void tst_frameQuery::cancelledTypeDialogLeavesDisconnected()
{
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(jet());
    frame->OpenConnection();
    frame->SetQueryLines({"select * from Genre"});
    frame->btnfetchClick();
    QCOMPARE(gridRows(*frame), 25);
    ScriptedDialogs script;
    onTypeDialog([](TfrmDatabaseType* dialog) { dialog->reject(); });
    frame->btnConnectClick();

    QVERIFY(!frame->conADO->Connected());
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("Not Connected"));
    QVERIFY(!frame->btnfetch->isEnabled());
    QVERIFY(!frame->btnQBuilder->isEnabled());
    QCOMPARE(gridRows(*frame), 0);
    QVERIFY(!frame->hasConnected());
    QCOMPARE(ReadParameter("Connection"), QString());
    QVERIFY(script.shown().isEmpty());
}

void tst_frameQuery::fetchShowsRowsAndStoresQuery()
{
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(jet());
    frame->OpenConnection();
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("CONNECTED OK"));
    const QStringList lines{"select ArtistId, Name as \"Artist name\"", "", "  from Artist  -- a~b",
                            "\twhere ArtistId <= 10"};
    frame->SetQueryLines(lines);

    // What the screen shows while the rows are fetched.
    Qt::CursorShape during = Qt::ArrowCursor;
    QTimer::singleShot(0, [&] {
        if (QCursor* c = QApplication::overrideCursor())
            during = c->shape();
    });
    QTest::mouseClick(frame->btnfetch, Qt::LeftButton);

    QCOMPARE(during, Qt::WaitCursor);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(CursorStackCount(), 0);
    QVERIFY(frame->qryADO->Active());
    QCOMPARE(frame->qryADO->SQL(), lines);
    QCOMPARE(gridRows(*frame), 10);
    QCOMPARE(frame->grid1->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Artist name"));
    QCOMPARE(frame->grid1->model()->index(0, 1).data().toString(), QStringLiteral("AC/DC"));
    QCOMPARE(frame->lastQueryText(), TildeText(lines));
    QCOMPARE(ReadParameter("Query"), TildeText(lines));
    QCOMPARE(ReadTildeText(ReadParameter("Query")), lines);
    // Fetch stores the statement only; the connection is Connect...'s to store.
    QCOMPARE(ReadParameter("Connection"), QString());
}

void tst_frameQuery::fetchConnectsWhenDisconnected()
{
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(jet());
    frame->SetQueryLines({"select count(*) from Track"});
    frame->btnfetchClick();
    QVERIFY(frame->conADO->Connected());
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("CONNECTED OK"));
    QCOMPARE(frame->grid1->model()->index(0, 0).data().toString(), QStringLiteral("3503"));
}

// Values the Access reader could not decode are empty in the rows; the line above the rows
// says which, for as long as those rows are shown.
void tst_frameQuery::fetchSaysWhatTheRowsCouldNotHold()
{
    const QString file = m_dir.filePath("broken dates.mdb");
    QVERIFY(writeAccessFileWithUnreadableDate(file));
    auto frame = shownFrame();
    frame->conADO->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file);
    QVERIFY(frame->lblWarning->isHidden());

    frame->SetQueryLines({"SELECT IDCol, DateCol FROM DateTest ORDER BY IDCol"});
    frame->btnfetchClick();
    QCOMPARE(gridRows(*frame), 6);
    QVERIFY(frame->lblWarning->isVisible());
    QCOMPARE(frame->lblWarning->text(),
             QStringLiteral("Some values could not be read from the Access file and are shown empty: DateTest.DateCol (1)."));

    frame->SetQueryLines({"SELECT IDCol FROM DateTest"});
    frame->btnfetchClick();
    QCOMPARE(gridRows(*frame), 6);
    QVERIFY(frame->lblWarning->isHidden());
}

void tst_frameQuery::fetchErrorsKeepStoredQuery_data()
{
    QTest::addColumn<bool>("connectFirst");
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("message");
    const QString missing = m_dir.filePath("missing.sqlite");
    QTest::newRow("the initial statement") << true << jet() << "no such table: blah";
    QTest::newRow("open fails inside fetch")
        << false << "Provider=SQLite;Data Source=" + missing << "unable to open database file: " + missing;
}

void tst_frameQuery::fetchErrorsKeepStoredQuery()
{
    QFETCH(bool, connectFirst);
    QFETCH(QString, connection);
    QFETCH(QString, message);
    WriteParameter("Query", "\"select 1\"");
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(connection);
    ScriptedDialogs script;
    if (connectFirst)
        frame->OpenConnection();
    else
        script.login("me", "pw");
    frame->btnfetchClick();

    QCOMPARE(script.last().kind, dialogs::Kind::Information);
    QCOMPARE(script.last().text, message);
    QCOMPARE(script.last().caption, QStringLiteral("Quillory"));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(CursorStackCount(), 0);
    QVERIFY(!frame->qryADO->Active());
    QCOMPARE(gridRows(*frame), 0);
    QCOMPARE(ReadParameter("Query"), QStringLiteral("\"select 1\""));
    QCOMPARE(frame->lastQueryText(), QStringLiteral("\"select 1\""));
    QCOMPARE(frame->lblConnected->text(),
             connectFirst ? QStringLiteral("CONNECTED OK") : QStringLiteral("FAILED TO CONNECT"));
}

void tst_frameQuery::anyKeyInMemoClosesQuery_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("letter") << int(Qt::Key_X) << int(Qt::NoModifier);
    QTest::newRow("arrow") << int(Qt::Key_Left) << int(Qt::NoModifier);
    QTest::newRow("shift alone") << int(Qt::Key_Shift) << int(Qt::ShiftModifier);
    QTest::newRow("copy") << int(Qt::Key_C) << int(Qt::ControlModifier);
    QTest::newRow("escape") << int(Qt::Key_Escape) << int(Qt::NoModifier);
}

void tst_frameQuery::anyKeyInMemoClosesQuery()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(jet());
    frame->SetQueryLines({"select * from Genre"});
    frame->btnfetchClick();
    QCOMPARE(gridRows(*frame), 25);
    frame->memQuery->setFocus();
    QTest::keyPress(frame->memQuery, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(!frame->qryADO->Active());
    QCOMPARE(gridRows(*frame), 0);
    QVERIFY(frame->conADO->Connected());
    QVERIFY(frame->btnfetch->isEnabled());
}

// A paste from the context menu or a drop changes the SQL without a key.
void tst_frameQuery::editWithoutKeyClosesQuery()
{
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(jet());
    frame->SetQueryLines({"select * from Genre"});
    frame->btnfetchClick();
    QCOMPARE(gridRows(*frame), 25);
    frame->memQuery->moveCursor(QTextCursor::End);
    frame->memQuery->insertPlainText(" where GenreId < 3");
    QVERIFY(!frame->qryADO->Active());
    QCOMPARE(gridRows(*frame), 0);
    // Setting the lines from the program (Reconnect, the query window) leaves the rows alone.
    frame->btnfetchClick();
    frame->SetQueryLines({"select 1"});
    QVERIFY(frame->qryADO->Active());
}

// One run fetches a statement of several tricky lines; the next run's Reconnect brings
// the connection and the statement back, line for line.
void tst_frameQuery::reconnectRestoresMemoLineForLine()
{
    const QStringList lines{"select ArtistId,",
                            "       Name as \"Artist ~ name\"",
                            "",
                            "\tfrom Artist",
                            "where Name = 'AC/DC'",
                            ""};
    {
        auto first = shownFrame();
        ScriptedDialogs script;
        script.file(database());
        onTypeDialog(
            [](TfrmDatabaseType* dialog) { dialog->ItemButton(TfrmDatabaseType::MicrosoftAccess)->click(); });
        first->btnConnectClick();
        first->SetQueryLines(lines);
        QCOMPARE(first->QueryLines(), lines);
        first->btnfetchClick();
        QCOMPARE(gridRows(*first), 1);
    }

    auto frame = shownFrame();
    QVERIFY(frame->btnReconnect->isVisible());
    QCOMPARE(frame->lastConnectionString(), jet());
    QCOMPARE(frame->QueryLines(), QStringList{"select * from blah"});
    QTest::mouseClick(frame->btnReconnect, Qt::LeftButton);
    QVERIFY(frame->conADO->Connected());
    QCOMPARE(frame->conADO->ConnectionString(), jet());
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("CONNECTED OK"));
    QCOMPARE(frame->QueryLines(), lines);
    QVERIFY(!frame->hasConnected());
    frame->resize(700, 400);
    QVERIFY(frame->btnReconnect->isVisible());

    // The restored statement runs as it was fetched.
    frame->btnfetchClick();
    QCOMPARE(gridRows(*frame), 1);
    QCOMPARE(frame->grid1->model()->headerData(1, Qt::Horizontal).toString(),
             QStringLiteral("Artist ~ name"));
}

void tst_frameQuery::reconnectWithoutStoredQueryEmptiesMemo()
{
    WriteParameter("Connection", EncryptConnectionString(jet()));
    auto frame = shownFrame();
    frame->btnReconnectClick();
    QVERIFY(frame->conADO->Connected());
    QCOMPARE(frame->memQuery->toPlainText(), QString());
    QCOMPARE(frame->QueryLines(), QStringList{});
}

void tst_frameQuery::reconnectFailureMessage()
{
    const QString missing = "Provider=SQLite;Data Source=" + m_dir.filePath("gone.sqlite") + ";Password=pw";
    WriteParameter("Connection", EncryptConnectionString(missing));
    WriteParameter("Query", "\"select 1\"");
    auto frame = shownFrame();
    frame->SetQueryLines({"select 2"});
    ScriptedDialogs script;
    script.login("me", "pw");
    frame->btnReconnectClick();

    QCOMPARE(script.last().kind, dialogs::Kind::Information);
    QCOMPARE(script.last().text, "unable to open database file: " + m_dir.filePath("gone.sqlite") +
                                     "\n while trying to connection with \n" + missing);
    QCOMPARE(frame->QueryLines(), QStringList{"select 2"});
    QCOMPARE(frame->lblConnected->text(), QStringLiteral("FAILED TO CONNECT"));
    QVERIFY(!frame->btnfetch->isEnabled());
    QVERIFY(!frame->hasConnected());
    QCOMPARE(ReadParameter("Connection"), EncryptConnectionString(missing));
}

void tst_frameQuery::destroyedWhileConnected()
{
    auto frame = shownFrame();
    frame->conADO->SetConnectionString(jet());
    frame->SetQueryLines({"select * from Album"});
    frame->btnfetchClick();
    QVERIFY(frame->qryADO->Active());
    frame.reset();
    QTest::qWait(0); // nothing left behind runs on a dead frame
}

QTEST_MAIN(tst_frameQuery)
#include "tst_frameQuery.moc"
