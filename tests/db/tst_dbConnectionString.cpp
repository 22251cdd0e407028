#include "testSupport.h"
#include "uDbConnectionString.h"
#include "uDbError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Reading values out of connection strings and data link files.
class tst_dbConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void providerKey_data();
    void providerKey();
    void realDataLinkFiles_data();
    void realDataLinkFiles();
    void badDataLinkFiles();
    void badLineSpoilsOnlyItself_data();
    void badLineSpoilsOnlyItself();
    void onlyRegularFilesAreRead_data();
    void onlyRegularFilesAreRead();
};

namespace {
QByteArray utf16le(const QString& text)
{
    QByteArray b("\xFF\xFE");
    for (QChar c : text)
        b += char(c.unicode() & 0xFF), b += char(c.unicode() >> 8);
    return b;
}
} // namespace

void tst_dbConnectionString::values_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    const QString access =
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\My Files\\db.mdb;Persist Security Info=False";
    QTest::newRow("path with blanks") << access << "data source"
                                      << "C:\\My Files\\db.mdb";
    QTest::newRow("key case") << access << "PROVIDER"
                              << "Microsoft.Jet.OLEDB.4.0";
    QTest::newRow("missing") << access << "User ID"
                             << "";
    QTest::newRow("blanks around") << " Password = s3cret ; User ID=sa"
                                   << "password"
                                   << "s3cret";
    QTest::newRow("empty value") << "Password=;User ID=sa"
                                 << "Password"
                                 << "";
    QTest::newRow("double quoted ;") << "Password=\"a;b\";User ID=sa"
                                     << "Password"
                                     << "a;b";
    QTest::newRow("doubled quote") << "Password='it''s';User ID=sa"
                                   << "Password"
                                   << "it's";
    QTest::newRow("later wins") << "User ID=a;User ID=b"
                                << "User ID"
                                << "b";
    QTest::newRow("value with =") << "Extended Properties=DSN=x;UID=y"
                                  << "Extended Properties"
                                  << "DSN=x";
    QTest::newRow("quoted extended") << "Extended Properties=\"DSN=x;UID=y\""
                                     << "Extended Properties"
                                     << "DSN=x;UID=y";
    QTest::newRow("udl empty quotes") << "Initial File Name=\"\";Server SPN=\"\""
                                      << "Server SPN"
                                      << "";
}

void tst_dbConnectionString::values()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    TDbConnectionString cs(text);
    QCOMPARE(cs.Value(key), value);
    QCOMPARE(cs.Text(), text); // never rewritten
}

void tst_dbConnectionString::providerKey_data()
{
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("key");
    QTest::newRow("jet 4") << "Microsoft.Jet.OLEDB.4.0"
                           << "microsoft.jet.oledb";
    QTest::newRow("jet 3.51") << "Microsoft.Jet.OLEDB.3.51"
                              << "microsoft.jet.oledb";
    QTest::newRow("sqloledb.1") << "SQLOLEDB.1"
                                << "sqloledb";
    QTest::newRow("sqlncli10.1") << "SQLNCLI10.1"
                                 << "sqlncli10";
    QTest::newRow("no suffix") << "PostgreSQL"
                               << "postgresql";
    QTest::newRow("blanks") << " MSDASQL.1 "
                            << "msdasql";
}

void tst_dbConnectionString::providerKey()
{
    QFETCH(QString, provider);
    QFETCH(QString, key);
    QCOMPARE(TDbConnectionString::ProviderKey(provider), key);
}

void tst_dbConnectionString::realDataLinkFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::newRow("sqloledb")
        << "sqloledb_password.udl"
        << "Provider=SQLOLEDB.1;Password=assy123;Persist Security Info=True;User ID=ramu;"
           "Initial Catalog=Test;Data Source=Ramesh";
    QTest::newRow("sqlncli")
        << "sqlncli_quoted_empty.udl"
        << "Provider=SQLNCLI10.1;Persist Security Info=False;User ID=sa;Initial Catalog=Ads;"
           "Data Source=10.123.45.180;Initial File Name=\"\";Server SPN=\"\"";
}

void tst_dbConnectionString::realDataLinkFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    QCOMPARE(ReadDataLinkFile(QStringLiteral(QUILLORY_TESTDATA "/udl/") + file), text);
}

void tst_dbConnectionString::badDataLinkFiles()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("none.udl");
    QVERIFY_THROWS_EXCEPTION(EDbError, ReadDataLinkFile(missing));
    const QString empty = dir.filePath("empty.udl");
    QVERIFY(writeFile(empty, QByteArray("\xFF\xFE", 2) + QByteArray("[\0o\0l\0e\0d\0b\0]\0\r\0\n\0", 18)));
    const QString message = errorMessage<EDbError>([&] { ReadDataLinkFile(empty); });
    QVERIFY2(message.contains(empty), qPrintable(message));
}

void tst_dbConnectionString::badLineSpoilsOnlyItself_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QString good = "Provider=SQLite;Data Source=/tmp/a.db";
    QTest::newRow("lone high surrogate in the comment")
        << utf16le(QString("[oledb]\r\n; Everything after this line is an OLE DB initstring ") + QChar(0xD800) + "\r\n" + good + "\r\n");
    QTest::newRow("lone high surrogate right before the line break")
        << utf16le(QString("[oledb]\r\n; comment") + QChar(0xDBFF) + "\r\n" + good + "\r\n");
    QTest::newRow("lone low surrogate at the start of the comment")
        << utf16le(QString("[oledb]\r\n") + QChar(0xDC00) + "; comment\r\n" + good);
    QTest::newRow("invalid UTF-8 in the comment")
        << QByteArray("[oledb]\n; \xC3\x28 \xFF comment\n") + good.toUtf8() + "\n";
}

void tst_dbConnectionString::badLineSpoilsOnlyItself()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("x.udl");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QCOMPARE(ReadDataLinkFile(path), QString("Provider=SQLite;Data Source=/tmp/a.db"));
}

// Anything but a regular file of a data link's size is refused at once: a device that
// never ends, a FIFO that never delivers (it would block the caller for good), a folder.
void tst_dbConnectionString::onlyRegularFilesAreRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("endless device") << "/dev/zero"
                                    << "not a regular file";
    QTest::newRow("FIFO without a writer") << "fifo"
                                           << "not a regular file";
    QTest::newRow("folder") << "folder"
                            << "not a regular file";
    QTest::newRow("too large") << "large"
                               << "too large";
}

void tst_dbConnectionString::onlyRegularFilesAreRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = kind;
    if (kind == "fifo") {
        path = dir.filePath("pipe.udl");
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "folder") {
        path = dir.path();
    } else if (kind == "large") {
        path = dir.filePath("large.udl");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(utf16le("[oledb]\r\nProvider=SQLite;Data Source=/tmp/a.db\r\n"));
        f.write(QByteArray(1 << 20, ' '));
    }
    const QString message = errorMessage<EDbError>([&] { ReadDataLinkFile(path); });
    QVERIFY2(message.contains(path) && message.contains(reason), qPrintable(message));
}

QTEST_GUILESS_MAIN(tst_dbConnectionString)
#include "tst_dbConnectionString.moc"
