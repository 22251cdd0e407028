#include "UEncrypt.h"
#include "dbTestServer.h"
#include "formSQLServerConnect.h"
#include "modalDialogs.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbFake.h"
#include "uDialogScript.h"
#include "uParameters.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

// The SQL Server dialog over the data-access layer's stand-in for SQL Server (none runs
// here), and once over the real FreeTDS driver against a port where nothing listens.
class tst_formSQLServerConnect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstUseHasWindowsAuthenticationAndEmptyBoxes();
    void authenticationEnablesUserAndPassword();
    void settingsRoundTrip_data();
    void settingsRoundTrip();
    void connectionStrings_data();
    void connectionStrings();
    void wrongConnectionParameters();
    void wrongConnectionParametersFromFreeTds();
    void okWithoutDatabaseSaysNoDatabaseSelected();
    void databaseListFromSpDatabases();
    void databaseListReusesTheOpenConnection();
    void unknownDatabaseFailsUntilTheBoxIsCleared();
    void databaseListQueryFails();
    void cancelSavesNothingAndKeepsTheConnection();

private:
    static void setSettings(const QString& server, const QString& db, const QString& user,
                            const QString& password, bool nt)
    {
        WriteParameter("ServerName", server);
        WriteParameter("DBname", db);
        WriteParameter("UserName", user);
        WriteParameter("Vicinity", EncryptPassword(password));
        WriteParameter("isNTAccount", nt ? "-1" : "0");
    }
};

void tst_formSQLServerConnect::init()
{
    InitParameters(nullptr);
}

void tst_formSQLServerConnect::firstUseHasWindowsAuthenticationAndEmptyBoxes()
{
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    bool checked = false;
    onModal<TfrmSQLServerConnect>([&checked](TfrmSQLServerConnect* d) {
        QVERIFY(d->SecurityItem(0)->isChecked());
        QVERIFY(d->NTAccount());
        for (QWidget* w :
             std::initializer_list<QWidget*>{d->txtUserName, d->txtPassword, d->lblUserName, d->lblPWD})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(d->edServersList->text(), QString());
        QCOMPARE(d->cboDatabaseList->currentText(), QString());
        QCOMPARE(d->txtUserName->text(), QString());
        QCOMPARE(d->txtPassword->text(), QString());
        // No server enumeration here: the name is typed.
        QVERIFY(d->edServersList->isVisible());
        QVERIFY(!d->cboServersList->isVisible());
        QCOMPARE(d->txtPassword->echoMode(), QLineEdit::Password);
        checked = true;
        d->btnCancel->click();
    });
    QVERIFY(!dialog.RunDialog());
    QVERIFY(checked);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("SQL Connect Dialog"));
}

void tst_formSQLServerConnect::authenticationEnablesUserAndPassword()
{
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SecurityItem(1)->click();
    QVERIFY(!dialog.NTAccount());
    for (QWidget* w : std::initializer_list<QWidget*>{dialog.txtUserName, dialog.txtPassword,
                                                      dialog.lblUserName, dialog.lblPWD})
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    dialog.SetNTAccount(true);
    QVERIFY(dialog.SecurityItem(0)->isChecked());
    QVERIFY(!dialog.txtUserName->isEnabled());
}

void tst_formSQLServerConnect::settingsRoundTrip_data()
{
    QTest::addColumn<bool>("nt");
    QTest::newRow("SQL Server login") << false;
    // The password is saved, scrambled, whatever the authentication.
    QTest::newRow("Windows authentication") << true;
}

void tst_formSQLServerConnect::settingsRoundTrip()
{
    QFETCH(bool, nt);
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    setSettings("dbhost\\SQLEXPRESS", "Northwind", "sa", "s3cret;x", !nt);

    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    onModal<TfrmSQLServerConnect>([nt](TfrmSQLServerConnect* d) {
        // Loaded into the controls ...
        QCOMPARE(d->edServersList->text(), QStringLiteral("dbhost\\SQLEXPRESS"));
        QCOMPARE(d->cboDatabaseList->currentText(), QStringLiteral("Northwind"));
        QCOMPARE(d->txtUserName->text(), QStringLiteral("sa"));
        QCOMPARE(d->txtPassword->text(), QStringLiteral("s3cret;x"));
        QCOMPARE(d->SecurityItem(1)->isChecked(), nt); // stored the other way round
        // ... changed by the user ...
        d->SecurityItem(nt ? 0 : 1)->click();
        d->edServersList->setText("other");
        d->cboDatabaseList->setEditText("Pubs");
        d->txtUserName->setText("reader");
        d->txtPassword->setText("pa ss");
        d->btnOk->click();
    });
    QVERIFY(dialog.RunDialog());
    QVERIFY(connection.Connected());

    // ... and saved under the keys, the password scrambled.
    QCOMPARE(ReadParameter("ServerName"), QStringLiteral("other"));
    QCOMPARE(ReadParameter("DBname"), QStringLiteral("Pubs"));
    QCOMPARE(ReadParameter("UserName"), QStringLiteral("reader"));
    QCOMPARE(ReadParameter("Vicinity"), EncryptPassword("pa ss"));
    QCOMPARE(ReadParameter("isNTAccount"), nt ? QStringLiteral("-1") : QStringLiteral("0"));

    // The next showing starts from them.
    TfrmSQLServerConnect again(nullptr);
    again.SetConnection(&connection);
    onModal<TfrmSQLServerConnect>([](TfrmSQLServerConnect* d) { d->btnCancel->click(); });
    again.RunDialog();
    QCOMPARE(again.ServerName(), QStringLiteral("other"));
    QCOMPARE(again.DatabaseName(), QStringLiteral("Pubs"));
    QCOMPARE(again.UserName(), QStringLiteral("reader"));
    QCOMPARE(again.Password(), QStringLiteral("pa ss"));
    QCOMPARE(again.NTAccount(), nt);
}

void tst_formSQLServerConnect::connectionStrings_data()
{
    QTest::addColumn<bool>("nt");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Windows authentication") << true << "pw"
                                            << "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist "
                                               "Security Info=False;Initial Catalog=Northwind;"
                                               "Data Source=dbhost,1433";
    QTest::newRow("SQL Server login")
        << false << "pw"
        << "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
           "Initial Catalog=Northwind;Data Source=dbhost,1433";
    // Unquoted, the part after ";" would be read as a further item.
    QTest::newRow("password holding a semicolon")
        << false << "a;b=c"
        << "Provider=SQLOLEDB.1;Password=\"a;b=c\";Persist Security "
           "Info=True;User ID=sa;Initial Catalog=Northwind;Data "
           "Source=dbhost,1433";
}

void tst_formSQLServerConnect::connectionStrings()
{
    QFETCH(bool, nt);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetNTAccount(nt);
    dialog.SetServerName("dbhost,1433");
    dialog.SetDatabaseName("Northwind");
    dialog.SetUserName("sa");
    dialog.SetPassword(password);
    ScriptedDialogs script;
    dialog.btnTest->click();

    QCOMPARE(dialog.ConnectionString(), expected);
    QCOMPARE(connection.ConnectionString(), expected);
    QVERIFY(connection.Connected());
    QVERIFY(!connection.LoginPrompt());
    QCOMPARE(script.texts(), QStringList{"Test successfully completed!"});
    QCOMPARE(script.last().kind, dialogs::Kind::Information);
    QCOMPARE(sqlServer.Opens().size(), 1);
    QCOMPARE(sqlServer.Opens().first().items.Value("Password"), nt ? QString() : password);
}

void tst_formSQLServerConnect::wrongConnectionParameters()
{
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    sqlServer.SetConnectError("Login failed for user 'sa'.");
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetServerName("dbhost");
    dialog.SetDatabaseName("Northwind");
    ScriptedDialogs script;
    dialog.btnTest->click();
    dialog.btnOk->click();
    QCOMPARE(script.texts(), QStringList({"Wrong connection parameters\nLogin failed for user 'sa'.",
                                          "Wrong connection parameters\nLogin failed for user 'sa'."}));
    QVERIFY(!connection.Connected());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(ReadParameter("ServerName"), QString()); // nothing saved
}

void tst_formSQLServerConnect::wrongConnectionParametersFromFreeTds()
{
    const int port = closedLoopbackPort();
    QVERIFY(port > 0);

    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetNTAccount(false);
    dialog.SetServerName(QStringLiteral("127.0.0.1,%1").arg(port));
    dialog.SetDatabaseName("master");
    dialog.SetUserName("sa");
    dialog.SetPassword("x");
    ScriptedDialogs script;
    dialog.btnTest->click();
    QCOMPARE(script.shown().size(), 1);
    QVERIFY2(
        script.last().text.startsWith("Wrong connection parameters\n[FreeTDS][SQL Server]Unable to connect"),
        qPrintable(script.last().text));
    QVERIFY(!connection.Connected());
}

void tst_formSQLServerConnect::okWithoutDatabaseSaysNoDatabaseSelected()
{
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetServerName("dbhost");
    ScriptedDialogs script;
    dialog.btnOk->click();
    QCOMPARE(script.texts(), QStringList{"No database selected"});
    QVERIFY(sqlServer.Opens().isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void tst_formSQLServerConnect::databaseListFromSpDatabases()
{
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    sqlServer.SetResult("exec sp_databases",
                        TDbRowsBuilder::FromStrings({"DATABASE_NAME", "DATABASE_SIZE", "REMARKS"},
                                                    {{"master", "5120", ""}, {"Northwind", "8192", ""}}));
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetServerName("dbhost");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ScriptedDialogs script;

    // F5 from whichever control has the focus, then the drop-down itself.
    QTest::keyClick(dialog.edServersList, Qt::Key_F5);
    QCOMPARE(dialog.cboDatabaseList->count(), 2);
    QCOMPARE(dialog.cboDatabaseList->itemText(0), QStringLiteral("master"));
    QCOMPARE(dialog.cboDatabaseList->itemText(1), QStringLiteral("Northwind"));
    QCOMPARE(sqlServer.Statements(), QStringList{"exec sp_databases"});
    dialog.cboDatabaseList->clear();
    QTest::keyClick(dialog.cboDatabaseList->lineEdit(), Qt::Key_F9);
    QCOMPARE(dialog.cboDatabaseList->count(), 2);
    dialog.cboDatabaseList->clear();
    dialog.cboDatabaseList->showPopup();
    dialog.cboDatabaseList->hidePopup();
    QCOMPARE(dialog.cboDatabaseList->count(), 2);
    QCOMPARE(sqlServer.Statements().size(), 3);
    QCOMPARE(script.shown().size(), 0);

    // Picked from the list, it is the database of the next string.
    dialog.cboDatabaseList->setCurrentIndex(1);
    QCOMPARE(dialog.DatabaseName(), QStringLiteral("Northwind"));
    dialog.btnOk->click();
    QVERIFY(dialog.ConnectionString().contains(";Initial Catalog=Northwind;"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void tst_formSQLServerConnect::databaseListReusesTheOpenConnection()
{
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    sqlServer.SetResult("exec sp_databases", TDbRowsBuilder::FromStrings({"DATABASE_NAME"}, {{"master"}}));
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetServerName("first");
    ScriptedDialogs script;
    dialog.btnTest->click();
    QCOMPARE(sqlServer.Opens().size(), 1);

    dialog.edServersList->setText("second");
    dialog.txtPassword->setText("changed");
    dialog.cboDatabaseListDropDown();
    QCOMPARE(sqlServer.Opens().size(), 1);
    QVERIFY(connection.ConnectionString().endsWith("Data Source=first"));
    QCOMPARE(dialog.cboDatabaseList->count(), 1);
}

void tst_formSQLServerConnect::unknownDatabaseFailsUntilTheBoxIsCleared()
{
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    sqlServer.SetConnectCheck([](const TDbConnectParams& p) {
        const QString db = p.items.Value("Initial Catalog");
        return db.isEmpty() || db == "master"
                   ? QString()
                   : QStringLiteral("Cannot open database \"%1\" requested by the login.").arg(db);
    });
    sqlServer.SetResult("exec sp_databases", TDbRowsBuilder::FromStrings({"DATABASE_NAME"}, {{"master"}}));
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetServerName("dbhost");
    dialog.SetDatabaseName("nope");
    ScriptedDialogs script;
    dialog.cboDatabaseListDropDown();
    QCOMPARE(
        script.texts(),
        QStringList{"Wrong connection parameters\nCannot open database \"nope\" requested by the login."});
    QCOMPARE(dialog.cboDatabaseList->count(), 0);

    dialog.cboDatabaseList->setEditText(QString());
    dialog.cboDatabaseListDropDown();
    QCOMPARE(script.shown().size(), 1);
    QCOMPARE(dialog.cboDatabaseList->count(), 1);
    QVERIFY(connection.ConnectionString().contains(";Initial Catalog=;"));
}

void tst_formSQLServerConnect::databaseListQueryFails()
{
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    sqlServer.SetError("exec sp_databases", "Could not find stored procedure 'sp_databases'.");
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    dialog.SetServerName("dbhost");
    ScriptedDialogs script;
    dialog.cboDatabaseListDropDown();
    QCOMPARE(script.texts(),
             QStringList{"Couldn't get database list\nCould not find stored procedure 'sp_databases'."});
    QVERIFY(connection.Connected());
    QVERIFY(!QGuiApplication::overrideCursor()); // the wait cursor is gone
}

void tst_formSQLServerConnect::cancelSavesNothingAndKeepsTheConnection()
{
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    TDbConnection connection;
    TfrmSQLServerConnect dialog(nullptr);
    dialog.SetConnection(&connection);
    ScriptedDialogs script;
    onModal<TfrmSQLServerConnect>([](TfrmSQLServerConnect* d) {
        d->edServersList->setText("dbhost");
        d->btnTest->click();
        d->btnCancel->click();
    });
    QVERIFY(!dialog.RunDialog());
    QVERIFY(connection.Connected());
    QCOMPARE(ReadParameter("ServerName"), QString());
    QCOMPARE(ReadParameter("isNTAccount", "unset"), QStringLiteral("unset"));
}

QTEST_MAIN(tst_formSQLServerConnect)
#include "tst_formSQLServerConnect.moc"
