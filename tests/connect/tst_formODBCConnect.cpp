#include "formODBCConnect.h"
#include "modalDialogs.h"
#include "testSupport.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>

// The ODBC data source list: the legacy section of ODBC.INI in the unixODBC system folder
// (a real Windows-style file from the test data) and the DSNs unixODBC itself reports.
class tst_formODBCConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sectionEntryNames_data();
    void sectionEntryNames();
    void systemFolderFollowsOdbcsysini();
    void listsSectionAndDriverManagerNamesSortedIgnoringCase();
    void selectionAndButtons();
    void doubleClickOnlySelects();
    void emptyListSaysWhichFilesWereRead();

private:
    OdbcSandbox m_odbc;
    QTemporaryDir m_dir;
};

void tst_formODBCConnect::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (qEnvironmentVariableIsSet("QUILLORY_ODBC_NOTHING_DECLARED"))
        return; // the files are the parent run's empty ones
    // The system odbc.ini of unixODBC holds a DSN; the user file two more, one of them
    // also named in the legacy section with other letter case.
    QVERIFY(m_odbc.setUp("[ChinookLite]\nDriver=SQLite3\nDatabase=" QUILLORY_TESTDATA
                         "/sqlite/Chinook_Sqlite.sqlite\n\n"
                         "[mysql]\nDriver=SQLite3\nDatabase=/nowhere.db\n\n",
                         "[aardvark]\nDriver=SQLite3\nDatabase=/nowhere.db\n\n"));
    QVERIFY(QFile::copy(QUILLORY_TESTDATA "/odbc/apache2triad_odbc.ini", m_odbc.filePath("ODBC.INI")));
}

void tst_formODBCConnect::sectionEntryNames_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("names");
    const QByteArray fixture = [] {
        QFile f(QUILLORY_TESTDATA "/odbc/apache2triad_odbc.ini");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QTest::newRow("Windows ODBC.INI") << fixture << QStringList{"MySQL", "PostgreSQL"};
    QTest::newRow("file order, CR LF, comments, blanks")
        << QByteArray("[Other]\r\nNot=1\r\n[odbc 32 BIT data sources]\r\n; old one\r\n Zeta = x \r\n\r\n"
                      "alpha=y\r\nNoValue\r\n[Next]\r\nbeta=z\r\n")
        << QStringList{"Zeta", "alpha", "NoValue"};
    QTest::newRow("no such section") << QByteArray("[ODBC Data Sources]\nA=B\n") << QStringList();
    QTest::newRow("empty file") << QByteArray() << QStringList();
}

void tst_formODBCConnect::sectionEntryNames()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, names);
    const QString path = m_dir.filePath("case.ini");
    writeFile(path, content);
    QCOMPARE(odbcsources::SectionEntryNames(path, odbcsources::kSection), names);
    QCOMPARE(odbcsources::SectionEntryNames(m_dir.filePath("missing.ini"), odbcsources::kSection),
             QStringList());
}

void tst_formODBCConnect::systemFolderFollowsOdbcsysini()
{
    QCOMPARE(odbcsources::SystemFolder(), m_odbc.path());
    QCOMPARE(odbcsources::IniFile(m_odbc.path()), m_odbc.filePath("ODBC.INI"));
    QCOMPARE(odbcsources::IniFile(m_dir.path()), QString());

    // Without the variable, the driver manager is asked for its folder.
    const QByteArray saved = qgetenv("ODBCSYSINI");
    qunsetenv("ODBCSYSINI");
    const QString folder = odbcsources::SystemFolder();
    qputenv("ODBCSYSINI", saved);
    QVERIFY2(!folder.isEmpty() && QFileInfo(folder).isDir(), qPrintable(folder));
}

void tst_formODBCConnect::listsSectionAndDriverManagerNamesSortedIgnoringCase()
{
    TfrmODBCConnect dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Existing ODBC Data Sources"));
    QStringList listed;
    for (int i = 0; i < dialog.lbxODBCSources->count(); ++i)
        listed << dialog.lbxODBCSources->item(i)->text();
    // "mysql" of the user file is the section's "MySQL": listed once.
    QCOMPARE(listed, QStringList({"aardvark", "ChinookLite", "MySQL", "PostgreSQL"}));
    QCOMPARE(dialog.lbxODBCSources->selectedItems().size(), 0);
    QCOMPARE(dialog.GetSelectedSource(), QString());
}

void tst_formODBCConnect::selectionAndButtons()
{
    {
        TfrmODBCConnect dialog(nullptr);
        onModal<TfrmODBCConnect>([](TfrmODBCConnect* d) { d->btnConnect->click(); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.GetSelectedSource(), QString());
    }
    {
        TfrmODBCConnect dialog(nullptr);
        onModal<TfrmODBCConnect>([](TfrmODBCConnect* d) {
            d->lbxODBCSources->item(2)->setSelected(true);
            d->btnConnect->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.GetSelectedSource(), QStringLiteral("MySQL"));
    }
    {
        TfrmODBCConnect dialog(nullptr);
        onModal<TfrmODBCConnect>([](TfrmODBCConnect* d) {
            d->lbxODBCSources->item(1)->setSelected(true);
            d->btnCancel->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }
}

void tst_formODBCConnect::doubleClickOnlySelects()
{
    TfrmODBCConnect dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QListWidget* list = dialog.lbxODBCSources;
    const QRect item = list->visualItemRect(list->item(1));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.GetSelectedSource(), QStringLiteral("ChinookLite"));
}

// unixODBC takes its file names once per process: a machine where no data source is
// declared anywhere is a run of this test program of its own.
void tst_formODBCConnect::emptyListSaysWhichFilesWereRead()
{
    if (qEnvironmentVariableIsSet("QUILLORY_ODBC_NOTHING_DECLARED")) {
        TfrmODBCConnect dialog(nullptr);
        QCOMPARE(dialog.lbxODBCSources->count(), 0);
        QVERIFY(!dialog.lblNoSources->isHidden());
        const QString hint = dialog.lblNoSources->text();
        const QString folder = qEnvironmentVariable("ODBCSYSINI");
        QVERIFY2(hint.contains(folder + "/odbc.ini"), qPrintable(hint));
        QVERIFY2(hint.contains(qEnvironmentVariable("ODBCINI")), qPrintable(hint));
        return;
    }
    {
        TfrmODBCConnect withSources(nullptr);
        QVERIFY(withSources.lbxODBCSources->count() > 0);
        QVERIFY(withSources.lblNoSources->isHidden());
    }
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILLORY_ODBC_NOTHING_DECLARED", "1");
    env.insert("ODBCSYSINI", empty.path());
    env.insert("ODBCINI", empty.filePath("user-odbc.ini"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"emptyListSaysWhichFilesWereRead"});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY2(child.exitCode() == 0, child.readAll().constData());
}

QTEST_MAIN(tst_formODBCConnect)
#include "tst_formODBCConnect.moc"
