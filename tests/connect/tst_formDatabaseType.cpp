#include "AdoConEd.h"
#include "formDatabaseType.h"
#include "formODBCConnect.h"
#include "formSQLServerConnect.h"
#include "modalDialogs.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbFake.h"
#include "uDbQuery.h"
#include "uDialogScript.h"
#include "uParameters.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QApplication>
#include <QFontMetrics>
#include <QTest>

// The database type dialog with every choice answered the way a user would: file
// dialog and message boxes through the dialog seam, the other dialogs by their buttons.
class tst_formDatabaseType : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startsWithNoItemSelected();
    void accessFileConnects_data();
    void accessFileConnects();
    void accessCancelledThenSameItemAsksAgain();
    void accessChoiceRunsJoins();
    void accessFailureTriesJet351AndShowsTheError();
    void sqliteFileConnects_data();
    void sqliteFileConnects();
    void odbcDataSourceConnects();
    void odbcFailureSaysFailedToOpen();
    void odbcWithoutSelectionDoesNothing();
    void sqlServerChoice_data();
    void sqlServerChoice();
    void otherChoice_data();
    void otherChoice();

private:
    OdbcSandbox m_odbc;
    QTemporaryDir m_dir;
};

void tst_formDatabaseType::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_odbc.setUp("[ChinookLite]\nDriver=SQLite3\nDatabase=" QUILLORY_TESTDATA
                         "/sqlite/Chinook_Sqlite.sqlite\n\n"
                         "[Broken]\nDriver=NoSuchDriver\n\n"));
}

void tst_formDatabaseType::init()
{
    InitParameters(nullptr);
}

void tst_formDatabaseType::startsWithNoItemSelected()
{
    TfrmDatabaseType dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Database Type"));
    QVERIFY(dialog.windowFlags().testFlag(Qt::Tool));
    auto* group = dialog.findChild<QGroupBox*>("grpDatabaseType");
    QVERIFY(group);
    QVERIFY(group->font().bold());
    QCOMPARE(group->font().pixelSize(), 16);
    const QStringList expected = {"Microsoft Access", "Microsoft SQL Server", "ODBC Datasource",
                                  "Other (ADO)", "SQLite Database"};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(dialog.ItemButton(i)->text(), expected[i]);
        QVERIFY(!dialog.ItemButton(i)->isChecked());
    }
    QCOMPARE(dialog.ItemIndex(), -1);
    // The caption fits beside the title bar's buttons.
    QVERIFY(dialog.width() >= QFontMetrics(QApplication::font()).horizontalAdvance(dialog.windowTitle()) + 100);
}

void tst_formDatabaseType::accessFileConnects_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("storedFolder");
    QTest::addColumn<QString>("chosenFilter");
    QTest::addColumn<QString>("dataSourceItem"); // as it stands in the connection string
    QTest::addColumn<int>("engine");

    const QString sqlite = writableCopy(m_dir, "chinook.sqlite");
    QDir(m_dir.path()).mkpath("a;b");
    const QString semicolon = writableCopy(m_dir, "a;b/chinook copy.mdb");

    QTest::newRow("Access file, first time: starts in the current folder")
        << nwindFile() << QString() << "MS Access (*.MD*)" << nwindFile() << int(TDbEngine::Access);
    QTest::newRow("SQLite file through All Files, folder remembered")
        << sqlite << "/some/where/"
        << "All Files (*.*)" << sqlite << int(TDbEngine::SQLite);
    QTest::newRow("path holding a semicolon is quoted, not cut")
        << semicolon << QString() << "MS Access (*.MD*)"
        << "\"" + semicolon + "\"" << int(TDbEngine::SQLite);
}

void tst_formDatabaseType::accessFileConnects()
{
    QFETCH(QString, file);
    QFETCH(QString, storedFolder);
    QFETCH(QString, chosenFilter);
    QFETCH(QString, dataSourceItem);
    QFETCH(int, engine);
    if (!storedFolder.isEmpty())
        WriteParameter("AccessDirectory", storedFolder);

    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script;
    script.file(file, chosenFilter);
    dialog.ItemButton(TfrmDatabaseType::MicrosoftAccess)->click();

    QCOMPARE(script.shown().size(), 1);
    const dialogs::Request asked = script.last();
    QCOMPARE(asked.kind, dialogs::Kind::OpenFile);
    QCOMPARE(asked.caption, QStringLiteral("Select MS Access Database"));
    QCOMPARE(asked.filter, QStringLiteral("MS Access (*.MD*);;All Files (*.*)"));
    QCOMPARE(asked.user, QStringLiteral("MS Access (*.MD*)")); // the filter selected at first
    QCOMPARE(asked.value, storedFolder.isEmpty() ? QStringLiteral(".") : storedFolder);

    QVERIFY(connection.Connected());
    QCOMPARE(int(connection.Engine()), engine);
    QCOMPARE(connection.ConnectionString(), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dataSourceItem +
                                                ";Persist Security Info=False");
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(ReadParameter("AccessDirectory"), QFileInfo(file).absolutePath() + "/");
}

void tst_formDatabaseType::accessCancelledThenSameItemAsksAgain()
{
    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script;
    script.cancel();
    dialog.ItemButton(TfrmDatabaseType::MicrosoftAccess)->click();
    QCOMPARE(script.shown().size(), 1);
    QCOMPARE(dialog.ItemIndex(), int(TfrmDatabaseType::MicrosoftAccess));
    QVERIFY(!connection.Connected());
    QCOMPARE(connection.ConnectionString(), QString());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    // The same item again asks again: the dialog has no other way on than its close box.
    script.cancel().cancel();
    dialog.ItemButton(TfrmDatabaseType::MicrosoftAccess)->click();
    QTest::mouseClick(dialog.ItemButton(TfrmDatabaseType::MicrosoftAccess), Qt::LeftButton);
    QCOMPARE(script.shown().size(), 3);
    QCOMPARE(script.last().kind, dialogs::Kind::OpenFile);

    // Another item in between, then Access once more: asked again, and it connects.
    onModal<TfrmODBCConnect>([](TfrmODBCConnect* odbc) { odbc->btnCancel->click(); });
    dialog.ItemButton(TfrmDatabaseType::OdbcDatasource)->click();
    QCOMPARE(script.shown().size(), 3);
    script.file(nwindFile());
    dialog.ItemButton(TfrmDatabaseType::MicrosoftAccess)->click();
    QCOMPARE(script.shown().size(), 4);
    QVERIFY(connection.Connected());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

// The Access choice opens the file with the Access backend, so statements across tables
// run: the designer's outer join with grouping, and [Order Details] by bracketed name.
void tst_formDatabaseType::accessChoiceRunsJoins()
{
    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script;
    script.file(nwindFile());
    dialog.ItemButton(TfrmDatabaseType::MicrosoftAccess)->click();
    QVERIFY(connection.Connected());
    QCOMPARE(connection.Engine(), TDbEngine::Access);

    TDbQuery query;
    query.SetConnection(&connection);
    query.SetSQL({"SELECT C.CompanyName, Count(O.OrderID) AS Orders", "FROM ",
                  "Customers AS C LEFT OUTER JOIN Orders AS O ON C.CustomerID=O.CustomerID",
                  "GROUP BY C.CompanyName", "ORDER BY Orders desc"});
    query.Open();
    QCOMPARE(query.RecordCount(), 91);
    QCOMPARE(query.AsString(0), QStringLiteral("Save-a-lot Markets"));
    QCOMPARE(query.AsInteger(1), 31);

    query.SetSQL({"SELECT P.ProductName, Sum(D.Quantity) AS Sold", "FROM Products AS P, [Order Details] AS D",
                  "WHERE P.ProductID=D.ProductID", "GROUP BY P.ProductName", "ORDER BY Sold desc"});
    query.Open();
    QCOMPARE(query.RecordCount(), 77);
    QCOMPARE(query.AsString(0), QStringLiteral("Camembert Pierrot"));
    QCOMPARE(query.AsInteger(1), 1577);
}

void tst_formDatabaseType::accessFailureTriesJet351AndShowsTheError()
{
    const QString bad = m_dir.filePath("notes.mdb");
    writeFile(bad, "These are notes, not a database.\n");
    WriteParameter("AccessDirectory", "/kept/");

    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script;
    // Both strings are tried; a file is never a matter of a login prompt.
    script.file(bad);
    dialog.ItemButton(TfrmDatabaseType::MicrosoftAccess)->click();

    QCOMPARE(script.pending(), 0);
    const QList<dialogs::Request> shown = script.shown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].kind, dialogs::Kind::Error);
    QCOMPARE(shown[1].caption, QCoreApplication::applicationName());
    QVERIFY2(shown[1].text.contains(bad), qPrintable(shown[1].text)); // the file, and why
    QVERIFY(!connection.Connected());
    QCOMPARE(connection.ConnectionString(),
             "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + bad + ";Persist Security Info=False");
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.ItemIndex(), int(TfrmDatabaseType::MicrosoftAccess));
    QCOMPARE(ReadParameter("AccessDirectory"), QStringLiteral("/kept/"));
}

void tst_formDatabaseType::sqliteFileConnects_data()
{
    QTest::addColumn<QString>("storedFolder");
    QTest::newRow("first time: starts in the current folder") << QString();
    QTest::newRow("folder remembered") << "/some/where/";
}

void tst_formDatabaseType::sqliteFileConnects()
{
    QFETCH(QString, storedFolder);
    if (!storedFolder.isEmpty())
        WriteParameter("SQLiteDirectory", storedFolder);
    const QString file = writableCopy(m_dir, "music.db");
    QVERIFY(!file.isEmpty());

    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script;
    script.file(file);
    dialog.ItemButton(TfrmDatabaseType::SQLiteDatabase)->click();

    QCOMPARE(script.shown().size(), 1);
    const dialogs::Request asked = script.last();
    QCOMPARE(asked.kind, dialogs::Kind::OpenFile);
    QCOMPARE(asked.caption, QStringLiteral("Select SQLite Database"));
    QCOMPARE(asked.filter,
             QStringLiteral("SQLite Database (*.sqlite *.sqlite3 *.db *.db3);;All Files (*.*)"));
    QCOMPARE(asked.value, storedFolder.isEmpty() ? QStringLiteral(".") : storedFolder);
    QVERIFY(connection.Connected());
    QCOMPARE(connection.Engine(), TDbEngine::SQLite);
    QCOMPARE(connection.ConnectionString(), "Provider=SQLite;Data Source=" + file);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(ReadParameter("SQLiteDirectory"), m_dir.path() + "/");
    QCOMPARE(ReadParameter("AccessDirectory"), QString()); // each kind keeps its own folder
}

void tst_formDatabaseType::odbcDataSourceConnects()
{
    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    QStringList listed;
    onModal<TfrmODBCConnect>([&listed](TfrmODBCConnect* odbc) {
        for (int i = 0; i < odbc->lbxODBCSources->count(); ++i)
            listed << odbc->lbxODBCSources->item(i)->text();
        const auto items = odbc->lbxODBCSources->findItems("ChinookLite", Qt::MatchExactly);
        if (!items.isEmpty())
            items.first()->setSelected(true);
        odbc->btnConnect->click();
    });
    dialog.ItemButton(TfrmDatabaseType::OdbcDatasource)->click();

    QCOMPARE(listed, QStringList({"Broken", "ChinookLite"}));
    QVERIFY(connection.Connected());
    QCOMPARE(connection.Engine(), TDbEngine::Odbc);
    QCOMPARE(connection.ConnectionString(),
             QStringLiteral("Provider=MSDASQL.1;Persist Security Info=False;Data Source=ChinookLite"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void tst_formDatabaseType::odbcFailureSaysFailedToOpen()
{
    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script;
    script.login("me", "secret");
    onModal<TfrmODBCConnect>([](TfrmODBCConnect* odbc) {
        const auto items = odbc->lbxODBCSources->findItems("Broken", Qt::MatchExactly);
        if (!items.isEmpty())
            items.first()->setSelected(true);
        odbc->btnConnect->click();
    });
    dialog.ItemButton(TfrmDatabaseType::OdbcDatasource)->click();

    QCOMPARE(script.shown().size(), 2);
    const dialogs::Request message = script.last();
    QCOMPARE(message.kind, dialogs::Kind::Information);
    // The driver manager's own text follows the lead text.
    QVERIFY2(message.text.startsWith(
                 "Failed to open Broken : ODBC data source Broken: [unixODBC][Driver Manager]"),
             qPrintable(message.text));
    QVERIFY(!connection.Connected());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.ItemIndex(), int(TfrmDatabaseType::OdbcDatasource));
}

void tst_formDatabaseType::odbcWithoutSelectionDoesNothing()
{
    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script; // nothing may be asked
    onModal<TfrmODBCConnect>([](TfrmODBCConnect* odbc) { odbc->btnConnect->click(); });
    dialog.ItemButton(TfrmDatabaseType::OdbcDatasource)->click();
    QCOMPARE(script.shown().size(), 0);
    QCOMPARE(connection.ConnectionString(), QString());
    QVERIFY(!connection.Connected());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void tst_formDatabaseType::sqlServerChoice_data()
{
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<bool>("connected");
    QTest::newRow("Ok connects") << QStringList{"btnOk"} << true;
    QTest::newRow("Test then Cancel leaves the connection made")
        << QStringList{"btnTest", "btnCancel"} << true;
    QTest::newRow("Cancel") << QStringList{"btnCancel"} << false;
}

void tst_formDatabaseType::sqlServerChoice()
{
    QFETCH(QStringList, buttons);
    QFETCH(bool, connected);
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    WriteParameter("ServerName", "dbhost");
    WriteParameter("DBname", "Northwind");

    TDbConnection connection;
    connection.SetConnectionString("Provider=SQLite;Data Source=" + chinookFile());
    connection.Open(); // a choice starts from a closed, empty connection
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script; // "Test successfully completed!"
    onModal<TfrmSQLServerConnect>([buttons](TfrmSQLServerConnect* sql) {
        for (const QString& name : buttons)
            sql->findChild<QPushButton*>(name)->click();
    });
    dialog.ItemButton(TfrmDatabaseType::MicrosoftSQLServer)->click();

    QCOMPARE(connection.Connected(), connected);
    QCOMPARE(dialog.result(), int(connected ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(connection.ConnectionString(),
             connected
                 ? QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                                  "Initial Catalog=Northwind;Data Source=dbhost")
                 : QString());
}

void tst_formDatabaseType::otherChoice_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("error");
    QTest::newRow("typed string connects")
        << "Provider=SQLite;Data Source=" + chinookFile() << true << true << QString();
    QTest::newRow("cancelled") << "Provider=SQLite;Data Source=" + chinookFile() << false << false
                               << QString();
    QTest::newRow("empty string") << QString() << true << false << QString();
    QTest::newRow("unknown provider goes to the error display")
        << "Provider=Nope.1;Data Source=x" << true << false << "Nope.1 x: Provider cannot be found: Nope.1.";
}

void tst_formDatabaseType::otherChoice()
{
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    QFETCH(bool, connected);
    QFETCH(QString, error);
    TDbConnection connection;
    TfrmDatabaseType dialog(nullptr);
    dialog.Connection = &connection;
    ScriptedDialogs script;
    if (!error.isEmpty())
        script.login("", "");
    onModal<TConnEditForm>([typed, ok](TConnEditForm* editor) {
        editor->ConnectionString->setText(typed);
        (ok ? editor->OkButton : editor->CancelButton)->click();
    });
    dialog.ItemButton(TfrmDatabaseType::OtherAdo)->click();

    QCOMPARE(connection.Connected(), connected);
    QCOMPARE(dialog.result(), int(connected ? QDialog::Accepted : QDialog::Rejected));
    if (error.isEmpty()) {
        QCOMPARE(script.shown().size(), 0);
    } else {
        QCOMPARE(script.last().kind, dialogs::Kind::Error);
        QCOMPARE(script.last().text, error);
        QCOMPARE(connection.ConnectionString(), typed);
    }
}

QTEST_MAIN(tst_formDatabaseType)
#include "tst_formDatabaseType.moc"
