#include "AdoConEd.h"
#include "formDataLink.h"
#include "helpRequests.h"
#include "modalDialogs.h"
#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbFake.h"
#include "uDialogScript.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

// The connection-string editor: its results, the data link folder with real ".udl" files,
// and the "Data Link Properties" dialog behind Build.
class tst_AdoConEd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void opensOnTheConnectionStringWithItsEnabling();
    void radioButtonsSwapTheEnabling();
    void dataLinkFilesOfTheFolder();
    void editorResults_data();
    void editorResults();
    void runConnectionEditorStoresAChangedString_data();
    void runConnectionEditorStoresAChangedString();
    void dataLinkFileFromTheFolderOpens();
    void browseTakesTheChosenFile();
    void buildEditsThroughDataLinkProperties_data();
    void buildEditsThroughDataLinkProperties();
    void dataLinkPropertiesRoundTrip_data();
    void dataLinkPropertiesRoundTrip();
    void dataLinkPropertiesEdits_data();
    void dataLinkPropertiesEdits();
    void dataLinkHelpOpensTheConnectionsTopic_data();
    void dataLinkHelpOpensTheConnectionsTopic();
    void dataLinkTestButton_data();
    void dataLinkTestButton();

private:
    QTemporaryDir m_home;
    QString m_links;
};

void tst_AdoConEd::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    m_links = m_home.filePath("Quillory/Data Links");
    QVERIFY(QDir().mkpath(m_links));
    QVERIFY(QFile::copy(QUILLORY_TESTDATA "/udl/sqloledb_password.udl", m_links + "/Sales.udl"));
    QVERIFY(QFile::copy(QUILLORY_TESTDATA "/udl/sqlncli_quoted_empty.udl", m_links + "/archive.udl"));
    QVERIFY(QDir().mkpath(m_links + "/folder.udl"));
    writeFile(m_links + "/readme.txt", "not a data link");
}

void tst_AdoConEd::opensOnTheConnectionStringWithItsEnabling()
{
    TConnEditForm form(nullptr);
    bool seen = false;
    onModal<TConnEditForm>([&seen](TConnEditForm* f) {
        QVERIFY(f->UseConnectionString->isChecked());
        QVERIFY(!f->UseDataLinkFile->isChecked());
        QCOMPARE(f->ConnectionString->text(), QStringLiteral("Provider=SQLite"));
        QVERIFY(f->ConnectionString->isEnabled());
        QVERIFY(f->Build->isEnabled());
        QVERIFY(!f->DataLinkFile->isEnabled());
        QVERIFY(!f->Browse->isEnabled());
        QCOMPARE(f->SourceofConnection->title(), QStringLiteral(" Source of Connection "));
        QVERIFY(f->OkButton->isDefault());
        seen = true;
        f->CancelButton->click();
    });
    QCOMPARE(form.ShowEditor("Provider=SQLite"), QStringLiteral("Provider=SQLite"));
    QVERIFY(seen);
}

void tst_AdoConEd::radioButtonsSwapTheEnabling()
{
    TConnEditForm form(nullptr);
    form.UseDataLinkFile->click();
    QVERIFY(form.DataLinkFile->isEnabled());
    QVERIFY(form.Browse->isEnabled());
    QVERIFY(!form.ConnectionString->isEnabled());
    QVERIFY(!form.Build->isEnabled());
    // A disabled input shows the button face, an enabled one the window colour.
    const QPalette p = form.ConnectionString->palette();
    QCOMPARE(p.color(QPalette::Disabled, QPalette::Base), p.color(QPalette::Active, QPalette::Button));
    form.UseConnectionString->click();
    QVERIFY(!form.DataLinkFile->isEnabled());
    QVERIFY(form.ConnectionString->isEnabled());
    QVERIFY(form.Build->isEnabled());
}

void tst_AdoConEd::dataLinkFilesOfTheFolder()
{
    QCOMPARE(DataLinkFolder(), m_links);
    QCOMPARE(DataLinkFileNames(), QStringList({"archive.udl", "Sales.udl"}));
    TConnEditForm form(nullptr);
    QCOMPARE(form.DataLinkFile->count(), 2);
    QCOMPARE(form.DataLinkFile->itemText(0), QStringLiteral("archive.udl"));
    QCOMPARE(form.DataLinkFile->itemText(1), QStringLiteral("Sales.udl"));
    QCOMPARE(form.DataLinkFile->currentText(), QString());
}

void tst_AdoConEd::editorResults_data()
{
    QTest::addColumn<QString>("source"); // "string", "file" or "cancel"
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");
    QTest::newRow("typed connection string") << "string"
                                             << "Provider=SQLite;Data Source=/tmp/x.db"
                                             << "Provider=SQLite;Data Source=/tmp/x.db";
    QTest::newRow("cancel keeps the given text") << "cancel"
                                                 << "Provider=SQLite;Data Source=/tmp/other.db"
                                                 << "Provider=PostgreSQL";
    QTest::newRow("data link file of the folder") << "file"
                                                  << "Sales.udl"
                                                  << "FILE NAME=" + m_links + "/Sales.udl";
    QTest::newRow("data link file with a folder") << "file"
                                                  << "/srv/links/x.udl"
                                                  << "FILE NAME=/srv/links/x.udl";
    QTest::newRow("no data link file named") << "file" << QString() << QString();
}

void tst_AdoConEd::editorResults()
{
    QFETCH(QString, source);
    QFETCH(QString, text);
    QFETCH(QString, result);
    TConnEditForm form(nullptr);
    onModal<TConnEditForm>([source, text](TConnEditForm* f) {
        if (source == "file") {
            f->UseDataLinkFile->click();
            f->DataLinkFile->setEditText(text);
        } else {
            f->ConnectionString->setText(text);
        }
        (source == "cancel" ? f->CancelButton : f->OkButton)->click();
    });
    QCOMPARE(form.ShowEditor("Provider=PostgreSQL"), result);
}

void tst_AdoConEd::runConnectionEditorStoresAChangedString_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("changed");
    QTest::newRow("changed") << "Provider=SQLite;Data Source=/tmp/y.db" << true;
    QTest::newRow("the same text") << "Provider=SQLite" << false;
}

void tst_AdoConEd::runConnectionEditorStoresAChangedString()
{
    QFETCH(QString, typed);
    QFETCH(bool, changed);
    QObject frame;
    frame.setObjectName("framQuery");
    TDbConnection connection(&frame);
    connection.setObjectName("conADO");
    connection.SetConnectionString("Provider=SQLite");
    QString caption;
    onModal<TConnEditForm>([typed, &caption](TConnEditForm* f) {
        caption = f->windowTitle();
        f->ConnectionString->setText(typed);
        f->OkButton->click();
    });
    QCOMPARE(RunConnectionEditor(&connection), changed);
    // A plain caption, not the names of the objects behind it.
    QCOMPARE(caption, QStringLiteral("Connection string"));
    QCOMPARE(connection.ConnectionString(), typed);
}

void tst_AdoConEd::dataLinkFileFromTheFolderOpens()
{
    // A real data link file, picked by its bare name, reaches the provider it names.
    TDbFakeProvider sqlServer("SQLOLEDB.1");
    TDbConnection connection;
    onModal<TConnEditForm>([](TConnEditForm* f) {
        f->UseDataLinkFile->click();
        f->DataLinkFile->setCurrentIndex(f->DataLinkFile->findText("Sales.udl"));
        f->OkButton->click();
    });
    QVERIFY(RunConnectionEditor(&connection));
    QCOMPARE(connection.ConnectionString(), "FILE NAME=" + m_links + "/Sales.udl");
    connection.Open();
    QCOMPARE(sqlServer.Opens().size(), 1);
    QCOMPARE(sqlServer.Opens().first().items.Value("User ID"), QStringLiteral("ramu"));
    QCOMPARE(sqlServer.Opens().first().items.Value("Initial Catalog"), QStringLiteral("Test"));
}

void tst_AdoConEd::browseTakesTheChosenFile()
{
    TConnEditForm form(nullptr);
    form.UseDataLinkFile->click();
    ScriptedDialogs script;
    script.cancel().file("/srv/links/chosen.udl");
    form.Browse->click();
    QCOMPARE(script.last().kind, dialogs::Kind::OpenFile);
    QCOMPARE(script.last().value, m_links); // a bare name lives in the data link folder
    QVERIFY(script.last().filter.contains("*.udl"));
    QCOMPARE(form.DataLinkFile->currentText(), QString()); // cancelled: unchanged
    form.Browse->click();
    QCOMPARE(form.DataLinkFile->currentText(), QStringLiteral("/srv/links/chosen.udl"));
    script.cancel();
    form.Browse->click();
    QCOMPARE(script.last().value, QStringLiteral("/srv/links")); // the folder of the current file
}

void tst_AdoConEd::buildEditsThroughDataLinkProperties_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("result");
    const QString start = "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Initial Catalog=Ads;"
                          "Data Source=10.1.2.3;Server SPN=\"\"";
    QTest::newRow("OK")
        << true
        << "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Initial Catalog=Ads;Data Source=dbhost;"
           "Server SPN=;Password=\"p;w\"";
    QTest::newRow("Cancel") << false << start;
}

void tst_AdoConEd::buildEditsThroughDataLinkProperties()
{
    QFETCH(bool, ok);
    QFETCH(QString, result);
    const QString start = "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Initial Catalog=Ads;"
                          "Data Source=10.1.2.3;Server SPN=\"\"";
    TConnEditForm form(nullptr);
    form.ConnectionString->setText(start);
    QString provider;
    QString user;
    onModal<TfrmDataLink>([ok, &provider, &user](TfrmDataLink* d) {
        provider = d->cboProvider->currentText();
        user = d->edUserName->text();
        d->edDataSource->setText("dbhost");
        d->edPassword->setText("p;w");
        (ok ? d->btnOk : d->btnCancel)->click();
    });
    form.Build->click();
    QCOMPARE(provider, QStringLiteral("SQLOLEDB.1"));
    QCOMPARE(user, QStringLiteral("sa"));
    QCOMPARE(form.ConnectionString->text(), result);
}

void tst_AdoConEd::dataLinkPropertiesRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("composed");
    QTest::newRow("usual items in the usual order")
        << "Provider=PostgreSQL;Data Source=localhost:5432;Initial Catalog=chinook;User ID=u;Password=p"
        << "Provider=PostgreSQL;Data Source=localhost:5432;Initial Catalog=chinook;User ID=u;Password=p";
    QTest::newRow("driver string keeps its own keys and order")
        << "Driver=SQLite3;Database=/tmp/a.db;UID=me;PWD=x;Timeout=5"
        << "Driver=SQLite3;Database=/tmp/a.db;UID=me;PWD=x;Timeout=5";
    QTest::newRow("values that need quotes")
        << "Provider=SQLite;Data Source=\"/tmp/a;b.db\";Password=' padded '"
        << "Provider=SQLite;Data Source=\"/tmp/a;b.db\";Password=\" padded \"";
    QTest::newRow("empty") << QString() << QString();
}

void tst_AdoConEd::dataLinkPropertiesRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QString, composed);
    const TDataLinkProperties p = TDataLinkProperties::FromConnectionString(text);
    QCOMPARE(p.ToConnectionString(), composed);
    // What is composed reads back as the same values.
    const TDataLinkProperties again = TDataLinkProperties::FromConnectionString(composed);
    QCOMPARE(again.dataSource, p.dataSource);
    QCOMPARE(again.password, p.password);
    QCOMPARE(again.items, p.items);
}

void tst_AdoConEd::dataLinkPropertiesEdits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields"); // provider, data source, database, user, password
    QTest::addColumn<QString>("composed");
    QTest::newRow("new string") << QString() << QStringList{"SQLite", "/x.db", "", "", ""}
                                << "Provider=SQLite;Data Source=/x.db";
    QTest::newRow("driver string: values under its keys, emptied ones removed")
        << "Driver=SQLite3;Database=/tmp/a.db;UID=me;PWD=x;Timeout=5"
        << QStringList{"", "", "/tmp/b.db", "you", ""}
        << "Driver=SQLite3;Database=/tmp/b.db;UID=you;Timeout=5";
    QTest::newRow("duplicates: the last one is kept")
        << "Data Source=a;User=u;Data Source=b" << QStringList{"", "c", "", "u", ""}
        << "User=u;Data Source=c";
    QTest::newRow("missing ones are added after the rest")
        << "Provider=PostgreSQL;Port=5433" << QStringList{"PostgreSQL", "localhost", "chinook", "u", "p"}
        << "Provider=PostgreSQL;Port=5433;Data Source=localhost;Initial Catalog=chinook;User ID=u;Password=p";
}

void tst_AdoConEd::dataLinkPropertiesEdits()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QFETCH(QString, composed);
    TDataLinkProperties p = TDataLinkProperties::FromConnectionString(text);
    p.provider = fields[0];
    p.dataSource = fields[1];
    p.database = fields[2];
    p.userName = fields[3];
    p.password = fields[4];
    QCOMPARE(p.ToConnectionString(), composed);
}

void tst_AdoConEd::dataLinkHelpOpensTheConnectionsTopic_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Help button") << false;
    QTest::newRow("F1 in the password box") << true;
}

void tst_AdoConEd::dataLinkHelpOpensTheConnectionsTopic()
{
    QFETCH(bool, byKey);
    HelpRequests help;
    TfrmDataLink dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (byKey) {
        dialog.edPassword->setFocus();
        QTest::keyClick(dialog.edPassword, Qt::Key_F1);
    } else {
        dialog.btnHelp->click();
    }
    QCOMPARE(help.urls, QList<QUrl>{QUrl(QStringLiteral("quillory-help:context/31"))});
    QVERIFY(dialog.isVisible()); // help leaves the dialog open
}

void tst_AdoConEd::dataLinkTestButton_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("works") << "Provider=SQLite;Data Source=" + chinookFile() << "Test connection succeeded.";
    QTest::newRow("fails") << "Provider=Nope.1"
                           << "Test connection failed:\nProvider cannot be found: Nope.1";
}

void tst_AdoConEd::dataLinkTestButton()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    TfrmDataLink dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Data Link Properties"));
    dialog.SetConnectionString(text);
    QCOMPARE(dialog.ConnectionString(), text);
    ScriptedDialogs script;
    dialog.btnTest->click();
    QCOMPARE(script.texts(), QStringList{message});
}

QTEST_MAIN(tst_AdoConEd)
#include "tst_AdoConEd.moc"
