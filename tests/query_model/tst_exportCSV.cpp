#include "uExportCSV.h"

#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"
#include "uFailingDevice.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <memory>

// The CSV writer over rows fetched from real SQLite files: the exact bytes of each kind of
// value, the cleaning of text, the column list and its errors, failing writes, the cursor
// after the walk, and Chinook rows read back by Python's csv module.
class tst_exportCSV : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void exampleRowBytes();
    void valueForms_data();
    void valueForms();
    void decimalSeparatorFollowsLocale();
    void singlesExportTheirShortestDigits_data();
    void singlesExportTheirShortestDigits();
    void cleanText_data();
    void cleanText();
    void commaRuleByColumnName_data();
    void commaRuleByColumnName();
    void nullEmptyAndQuotesOnly();
    void headerTitles();
    void everyColumnByPosition();
    void fieldList_data();
    void fieldList();
    void missingFieldsWriteNothing();
    void emptyOrClosedRowsWriteNothing();
    void existingFileIsEmptied();
    void fileThatCannotBeCreated();
    void failingWritesAreReported_data();
    void failingWritesAreReported();
    void failureHalfwayKeepsWhatWasWritten_data();
    void failureHalfwayKeepsWhatWasWritten();
    void cursorEndsOnLastRow();
    void longValuesPassTheBufferWhole();
    void chinookReadBackByPython();

private:
    // A new SQLite file in the test's folder, filled by the statements.
    QString makeDb(const QStringList& statements);
    // Runs sql on the file; the query keeps its rows until the next fetch.
    TDbQuery& fetch(const QString& file, const QString& sql);
    static QByteArray exportBytes(TDbRowCursor& rows, const QString& fieldList = QString());
    // The data lines of an export (the header dropped), each without its CR LF.
    static QList<QByteArray> dataLines(const QByteArray& csv);
    // The file read by Python's csv module; skips the test when python3 is missing.
    QList<QStringList> readByPython(const QString& file, bool& skipped);

    QTemporaryDir m_dir;
    int m_files = 0;
    std::unique_ptr<TDbConnection> m_connection;
    std::unique_ptr<TDbQuery> m_query;
};

void tst_exportCSV::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString tst_exportCSV::makeDb(const QStringList& statements)
{
    const QString file = m_dir.filePath(QStringLiteral("db%1.sqlite").arg(++m_files));
    for (const QString& s : statements)
        if (!execSqlite(file, s.toUtf8()))
            qFatal("%s: cannot be run", qPrintable(s));
    return file;
}

TDbQuery& tst_exportCSV::fetch(const QString& file, const QString& sql)
{
    m_query.reset();
    m_connection = std::make_unique<TDbConnection>();
    m_connection->SetConnectionString(QStringLiteral("Provider=SQLite;Data Source=") + file);
    m_connection->Open();
    m_query = std::make_unique<TDbQuery>();
    m_query->SetConnection(m_connection.get());
    m_query->SetSQLText(sql);
    m_query->Open();
    return *m_query;
}

QByteArray tst_exportCSV::exportBytes(TDbRowCursor& rows, const QString& fieldList)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TCSVStream csv(&buffer);
    csv.FieldList = fieldList;
    csv.ExportDataSet(rows);
    return buffer.data();
}

QList<QByteArray> tst_exportCSV::dataLines(const QByteArray& csv)
{
    if (!csv.endsWith("\r\n"))
        return {"(no CR LF at the end)"};
    QList<QByteArray> lines = csv.chopped(2).split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    lines.removeFirst();
    return lines;
}

QList<QStringList> tst_exportCSV::readByPython(const QString& file, bool& skipped)
{
    skipped = QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty();
    if (skipped)
        return {};
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                 "    json.dump(list(csv.reader(f, strict=True)), sys.stdout)\n"),
                  file});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("python3: %s", python.readAllStandardError().constData());
        return {{QStringLiteral("(python3 failed)")}};
    }
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

#define SKIP_WITHOUT_PYTHON(skipped)                                                                         \
    if (skipped)                                                                                             \
    QSKIP("python3 is not installed: the read-back by Python's csv module cannot run")

void tst_exportCSV::exampleRowBytes()
{
    const QString file = makeDb({
        "CREATE TABLE t (Qty INTEGER, Remark VARCHAR(20), Stamp DATETIME, Notes VARCHAR(100), "
        "AddressText VARCHAR(100))",
        "INSERT INTO t VALUES (7, NULL, '2004-03-02 14:30:00', 'He said \"hi\"' || char(10) || 'bye', "
        "'1, High St')",
    });
    TDbQuery& q = fetch(file, "SELECT * FROM t");
    QCOMPARE(q.FieldType(2), TDbFieldType::DateTime);

    const QString out = m_dir.filePath("example.csv");
    {
        TCSVStream csv(out);
        csv.ExportDataSet(q);
    }
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    // Every comma of a "...Text" column becomes "; ", so "1, High St" keeps its own blank too.
    QCOMPARE(f.readAll(), QByteArray("\"Qty\",\"Remark\",\"Stamp\",\"Notes\",\"AddressText\"\r\n"
                                     "\"7\",,2004-03-02,\"He said hi<BR>bye\",\"1;  High St\"\r\n"));
    QCOMPARE(q.Cursor().RecNo(), 0);
    QVERIFY(q.Eof());
}

void tst_exportCSV::valueForms_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("literal");
    QTest::addColumn<QByteArray>("cell");

    QTest::newRow("negative integer") << "INTEGER"
                                      << "-9223372036854775807" << QByteArray("\"-9223372036854775807\"");
    QTest::newRow("float, 15 digits") << "REAL"
                                      << "0.1 + 0.2" << QByteArray("\"0.3\"");
    QTest::newRow("float, third") << "REAL"
                                  << "1.0 / 3" << QByteArray("\"0.333333333333333\"");
    QTest::newRow("float, integral") << "DOUBLE"
                                     << "5.0" << QByteArray("\"5\"");
    QTest::newRow("float, large") << "REAL"
                                  << "1e20" << QByteArray("\"1e+20\"");
    QTest::newRow("float, small") << "REAL"
                                  << "-0.00001234" << QByteArray("\"-1.234e-05\"");
    QTest::newRow("bcd without trailing zeros") << "NUMERIC(10,4)"
                                                << "'12.3400'" << QByteArray("\"12.34\"");
    QTest::newRow("currency") << "MONEY"
                              << "1234.5" << QByteArray("\"1234.5\"");
    QTest::newRow("boolean true") << "BOOLEAN"
                                  << "1" << QByteArray("\"True\"");
    QTest::newRow("boolean false") << "BOOLEAN"
                                   << "0" << QByteArray("\"False\"");
    QTest::newRow("date") << "DATE"
                          << "'2004-03-02'" << QByteArray("2004-03-02");
    QTest::newRow("date, early year") << "DATE"
                                      << "'0099-01-05'" << QByteArray("0099-01-05");
    QTest::newRow("date holding a time of day") << "DATE"
                                                << "'2004-03-02 23:59:59'" << QByteArray("2004-03-02");
    QTest::newRow("date-time at midnight") << "DATETIME"
                                           << "'1999-12-31 00:00:00'" << QByteArray("1999-12-31");
    QTest::newRow("timestamp with T and zone") << "TIMESTAMP"
                                               << "'2010-07-08T09:10:11Z'" << QByteArray("2010-07-08");
    QTest::newRow("time only, long time format") << "TIME"
                                                 << "'14:30:05'" << QByteArray("\"14:30:05\"");
    QTest::newRow("wide string as UTF-8") << "NVARCHAR(20)"
                                          << "'Grüße 北京'"
                                          << QByteArray("\"Gr\xc3\xbc\xc3\x9f"
                                                        "e \xe5\x8c\x97\xe4\xba\xac\"");
    QTest::newRow("memo with a tab") << "TEXT"
                                     << "'a' || char(9) || 'b'" << QByteArray("\"ab\"");
    QTest::newRow("fixed string as stored") << "CHAR(6)"
                                            << "'ab  '" << QByteArray("\"ab  \"");
    QTest::newRow("blob, raw bytes cleaned") << "BLOB"
                                             << "x'41FF7C2200420A43'"
                                             << QByteArray("\"A\xff"
                                                           "B<BR>C\"");
    // A date column keeps its kind; what is no date in it is shown, and written, empty.
    QTest::newRow("text that is no date in a date column") << "DATE"
                                                           << "'soon, maybe'" << QByteArray();
}

void tst_exportCSV::valueForms()
{
    QFETCH(QString, declared);
    QFETCH(QString, literal);
    QFETCH(QByteArray, cell);
    const QString file =
        makeDb({"CREATE TABLE t (v " + declared + ")", "INSERT INTO t VALUES (" + literal + ")"});
    TDbQuery& q = fetch(file, "SELECT v FROM t");
    QCOMPARE(exportBytes(q.Cursor()), "\"v\"\r\n" + cell + "\r\n");
}

void tst_exportCSV::singlesExportTheirShortestDigits_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("cell");

    QTest::newRow("0.15") << 0.15f << QByteArray("\"0.15\"");
    QTest::newRow("0.01") << 0.01f << QByteArray("\"0.01\"");
    QTest::newRow("beyond 2^24") << 16777217.0f << QByteArray("\"16777216\"");
    QTest::newRow("small") << 1e-7f << QByteArray("\"1e-07\"");
}

void tst_exportCSV::singlesExportTheirShortestDigits()
{
    QFETCH(float, value);
    QFETCH(QByteArray, cell);
    // An Access Single column, as its backend delivers it.
    TDbRowsBuilder b({TDbField{"Discount", "Discount", TDbFieldType::Single, "Single", 0}});
    b.AppendFloat(value);
    TDbRowCursor rows;
    rows.SetRows(b.Finish());
    QCOMPARE(exportBytes(rows), "\"Discount\"\r\n" + cell + "\r\n");
}

void tst_exportCSV::decimalSeparatorFollowsLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString file = makeDb({"CREATE TABLE t (f REAL, n NUMERIC(8,3), i INTEGER)",
                                 "INSERT INTO t VALUES (1234567.5, '2.500', 1234567)"});
    TDbQuery& q = fetch(file, "SELECT * FROM t");
    // No thousands separators; the system's decimal separator, as the grid shows the values.
    QCOMPARE(dataLines(exportBytes(q.Cursor())), QList<QByteArray>{"\"1234567,5\",\"2,5\",\"1234567\""});
    QCOMPARE(q.AsString(0), QStringLiteral("1234567,5"));
}

void tst_exportCSV::cleanText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cleaned");

    QTest::newRow("line feed becomes the tag") << "a\nb\n"
                                               << "a<BR>b<BR>";
    QTest::newRow("CR LF becomes one tag") << "one\r\ntwo"
                                           << "one<BR>two";
    QTest::newRow("existing <BR>: line feeds dropped") << "a<BR>b\nc"
                                                       << "a<BR>bc";
    QTest::newRow("existing <P>: line feeds dropped") << "<P>a\nb"
                                                      << "<P>ab";
    QTest::newRow("markers are case-sensitive") << "<br>a\nb"
                                                << "<br>a<BR>b";
    QTest::newRow("quotes and bars dropped") << "say \"x|y\""
                                             << "say xy";
    QTest::newRow("only quotes") << "\"\"\""
                                 << "";
    QTest::newRow("dropped controls") << QString::fromLatin1("a\0b\tc\vd\fe\rf\x0eg", 14) << "abcdefg";
    QTest::newRow("other controls kept")
        << QString::fromLatin1("\x01\x08\x0f\x1f") << QString::fromLatin1("\x01\x08\x0f\x1f");
    QTest::newRow("commas kept") << "a, b"
                                 << "a, b";
    QTest::newRow("non-ASCII kept") << "Ünïcödé ✓ 𝄞"
                                    << "Ünïcödé ✓ 𝄞";
}

// CleanText, and the writer's own cleaning of a value's bytes, which must agree with it.
void tst_exportCSV::cleanText()
{
    QFETCH(QString, text);
    QFETCH(QString, cleaned);
    QCOMPARE(TCSVStream::CleanText(text), cleaned);

    const QList<TDbField> fields{{"v", "v", TDbFieldType::String, "VARCHAR", 0}};
    TDbRowsBuilder b(fields);
    b.AppendText(text);
    TDbRowCursor cursor;
    cursor.SetRows(b.Finish());
    QCOMPARE(dataLines(exportBytes(cursor)), QList<QByteArray>{'"' + cleaned.toUtf8() + '"'});
}

void tst_exportCSV::commaRuleByColumnName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("Text") << "Text" << QByteArray("\"a;  b; ; c\"");
    QTest::newRow("MyText") << "MyText" << QByteArray("\"a;  b; ; c\"");
    QTest::newRow("AddressText") << "AddressText" << QByteArray("\"a;  b; ; c\"");
    QTest::newRow("MyTEXT") << "MyTEXT" << QByteArray("\"a, b,,c\"");
    QTest::newRow("Texts") << "Texts" << QByteArray("\"a, b,,c\"");
    QTest::newRow("ext") << "ext" << QByteArray("\"a, b,,c\"");
}

void tst_exportCSV::commaRuleByColumnName()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, cell);
    const QString file = makeDb({"CREATE TABLE t (v VARCHAR(20))", "INSERT INTO t VALUES ('a, b,,c')"});
    TDbQuery& q = fetch(file, "SELECT v AS \"" + name + "\" FROM t");
    QCOMPARE(dataLines(exportBytes(q.Cursor())), QList<QByteArray>{cell});
}

void tst_exportCSV::nullEmptyAndQuotesOnly()
{
    const QString file =
        makeDb({"CREATE TABLE t (a VARCHAR(5), b INTEGER, c DATE)", "INSERT INTO t VALUES (NULL, NULL, NULL)",
                "INSERT INTO t VALUES ('', 0, NULL)", "INSERT INTO t VALUES ('\"\"', NULL, NULL)"});
    TDbQuery& q = fetch(file, "SELECT * FROM t");
    QCOMPARE(dataLines(exportBytes(q.Cursor())), (QList<QByteArray>{",,", "\"\",\"0\",", "\"\",,"}));

    const QString single = makeDb({"CREATE TABLE t (a VARCHAR(5))", "INSERT INTO t VALUES (NULL)"});
    QCOMPARE(exportBytes(fetch(single, "SELECT a FROM t").Cursor()), QByteArray("\"a\"\r\n\r\n"));
}

// Titles are the column names as the engine reports them. A quote inside one is doubled,
// so that CSV readers get the title back whole instead of splitting the header line.
void tst_exportCSV::headerTitles()
{
    const QString file = makeDb({"CREATE TABLE t (x INTEGER)", "INSERT INTO t VALUES (1)"});
    TDbQuery& q =
        fetch(file, "SELECT x AS \"say \"\"hi\"\", then go\", x AS \"Größe | €\", x AS \"a b\" FROM t");
    const QByteArray csv = exportBytes(q.Cursor());
    QCOMPARE(csv.left(csv.indexOf("\r\n")), QByteArray("\"say \"\"hi\"\", then go\",\"Gr\xc3\xb6\xc3\x9f"
                                                       "e | \xe2\x82\xac\",\"a b\""));

    const QString out = m_dir.filePath("titles.csv");
    QFile f(out);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(csv);
    f.close();
    bool skipped = false;
    const QList<QStringList> read = readByPython(out, skipped);
    SKIP_WITHOUT_PYTHON(skipped);
    QCOMPARE(read.value(0), (QStringList{"say \"hi\", then go", "Größe | €", "a b"}));
    QCOMPARE(read.value(1), (QStringList{"1", "1", "1"}));
}

// Without a column list every column is written by its position, so that a column whose
// name holds "=" and columns sharing a name (a join) each write their own values.
void tst_exportCSV::everyColumnByPosition()
{
    const QString file =
        makeDb({"CREATE TABLE a (id INTEGER, v VARCHAR(5))", "CREATE TABLE b (id INTEGER, v VARCHAR(5))",
                "INSERT INTO a VALUES (1, 'left')", "INSERT INTO b VALUES (2, 'right')"});
    TDbQuery& q = fetch(file, "SELECT a.id, b.id, a.v, b.v, a.id = b.id FROM a, b");
    const QByteArray csv = exportBytes(q.Cursor());
    QCOMPARE(csv, QByteArray("\"id\",\"id\",\"v\",\"v\",\"a.id = b.id\"\r\n"
                             "\"1\",\"2\",\"left\",\"right\",\"0\"\r\n"));
}

void tst_exportCSV::fieldList_data()
{
    QTest::addColumn<QString>("fieldList");
    QTest::addColumn<QByteArray>("csv");

    QTest::newRow("subset in list order")
        << "Total,Name" << QByteArray("\"Total\",\"Name\"\r\n\"9.5\",\"Ann\"\r\n");
    QTest::newRow("titles after =") << "name=Customer,TOTAL=Sum"
                                    << QByteArray("\"Customer\",\"Sum\"\r\n\"Ann\",\"9.5\"\r\n");
    QTest::newRow("blanks separate, quotes enclose")
        << "  Name  \"Total=Grand total, all\" "
        << QByteArray("\"Name\",\"Grand total, all\"\r\n\"Ann\",\"9.5\"\r\n");
    QTest::newRow("first title of a field wins")
        << "Name=First,name=Second" << QByteArray("\"First\",\"First\"\r\n\"Ann\",\"Ann\"\r\n");
    QTest::newRow("comma rule follows the field name, not the title")
        << "NoteText=Plain,Note=PlainText" << QByteArray("\"Plain\",\"PlainText\"\r\n\"x; y\",\"x,y\"\r\n");
}

void tst_exportCSV::fieldList()
{
    QFETCH(QString, fieldList);
    QFETCH(QByteArray, csv);
    const QString file =
        makeDb({"CREATE TABLE t (Name VARCHAR(10), Total REAL, NoteText VARCHAR(10), Note VARCHAR(10))",
                "INSERT INTO t VALUES ('Ann', 9.5, 'x,y', 'x,y')"});
    QCOMPARE(exportBytes(fetch(file, "SELECT * FROM t").Cursor(), fieldList), csv);
}

void tst_exportCSV::missingFieldsWriteNothing()
{
    const QString file = makeDb({"CREATE TABLE t (Name VARCHAR(10))", "INSERT INTO t VALUES ('Ann')"});
    TDbQuery& q = fetch(file, "SELECT * FROM t");
    q.Cursor().SetRecNo(0);
    const QString out = m_dir.filePath("missing.csv");
    expectError<EExportError>(
        [&] {
            TCSVStream csv(out);
            csv.FieldList = "Price,Name=Who,\"Qty=How many\",";
            csv.ExportDataSet(q);
        },
        QStringLiteral("Missing Fields \r\nPrice is not a valid fieldname\r\n"
                       "Qty is not a valid fieldname\r\n is not a valid fieldname\r\n"));
    QCOMPARE(QFileInfo(out).size(), 0);
}

void tst_exportCSV::emptyOrClosedRowsWriteNothing()
{
    const QString file = makeDb({"CREATE TABLE t (Name VARCHAR(10))"});
    TDbQuery& q = fetch(file, "SELECT * FROM t");
    const QString out = m_dir.filePath("empty.csv");
    for (bool closed : {false, true}) {
        if (closed)
            q.Close();
        expectError<EExportError>(
            [&] {
                TCSVStream csv(out);
                csv.ExportDataSet(q);
            },
            "Can not export an empty dataset");
        QVERIFY(QFileInfo::exists(out));
        QCOMPARE(QFileInfo(out).size(), 0);
    }
}

void tst_exportCSV::existingFileIsEmptied()
{
    const QString out = m_dir.filePath("old.csv");
    QFile old(out);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    const QString file = makeDb({"CREATE TABLE t (a INTEGER)", "INSERT INTO t VALUES (1)"});
    {
        TCSVStream csv(out);
        csv.ExportDataSet(fetch(file, "SELECT a FROM t"));
    }
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("\"a\"\r\n\"1\"\r\n"));
}

void tst_exportCSV::fileThatCannotBeCreated()
{
    const QString out = m_dir.filePath("no such folder/x.csv");
    const QString message = errorMessage<EExportError>([&] { TCSVStream csv(out); });
    QVERIFY2(message.startsWith("Cannot create file \"" + out + "\". "), qPrintable(message));
    QVERIFY(message.size() > out.size() + 24); // the system's reason follows
}

void tst_exportCSV::failingWritesAreReported_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("ownFile");
    QTest::newRow("small result, own file") << 1 << true;
    QTest::newRow("large result, own file") << 50000 << true;
    QTest::newRow("small result, caller's buffered file") << 1 << false;
    QTest::newRow("large result, caller's buffered file") << 50000 << false;
}

// A full disk: /dev/full takes no byte. The export raises instead of leaving a short file
// that looks complete.
void tst_exportCSV::failingWritesAreReported()
{
    QFETCH(int, rows);
    QFETCH(bool, ownFile);
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("/dev/full is not available");
    const QString file =
        makeDb({"CREATE TABLE t (i INTEGER, s VARCHAR(40))",
                QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                        "INSERT INTO t SELECT i, 'value number ' || i FROM n")
                    .arg(rows)});
    TDbQuery& q = fetch(file, "SELECT * FROM t");
    QFile device("/dev/full");
    if (!ownFile)
        QVERIFY(device.open(QIODevice::WriteOnly));
    const QString message = errorMessage<EExportError>([&] {
        std::unique_ptr<TCSVStream> csv = ownFile ? std::make_unique<TCSVStream>(QStringLiteral("/dev/full"))
                                                  : std::make_unique<TCSVStream>(&device);
        csv->ExportDataSet(q);
    });
    QVERIFY2(message.startsWith("Stream write error"), qPrintable(message));
    QVERIFY2(message.contains("No space left on device"), qPrintable(message));
}

void tst_exportCSV::failureHalfwayKeepsWhatWasWritten_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::newRow("first byte of the header") << qint64(1);
    QTest::newRow("inside the first row") << qint64(40);
    QTest::newRow("one byte short of the writer's buffer") << qint64((1 << 18) - 1);
    QTest::newRow("just past the writer's buffer") << qint64((1 << 18) + 1);
    QTest::newRow("one byte short of the whole file") << qint64(-1);
}

// The disk fills up partway through: the export raises, and what reached the device is
// the start of the right text, each byte once (a buffer is never written twice).
void tst_exportCSV::failureHalfwayKeepsWhatWasWritten()
{
    QFETCH(qint64, limit);
    const QString file =
        makeDb({"CREATE TABLE t (i INTEGER, s VARCHAR(40))",
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
                "INSERT INTO t SELECT i, 'value number ' || i FROM n"});
    TDbQuery& q = fetch(file, "SELECT * FROM t");
    const QByteArray whole = exportBytes(q.Cursor());
    QVERIFY(whole.size() > (1 << 18) + 1);
    if (limit < 0)
        limit = whole.size() - 1;

    FailingDevice device(limit);
    expectError<EExportError>(
        [&] {
            TCSVStream csv(&device);
            csv.ExportDataSet(q);
        },
        "Stream write error. No space left on device");
    QCOMPARE(device.written().size(), limit);
    QVERIFY(device.written() == whole.left(limit));
}

// The walk starts at the first row whatever the current row was, and leaves the cursor
// on the last row; views following the cursor are told.
void tst_exportCSV::cursorEndsOnLastRow()
{
    const QString file = makeDb({"CREATE TABLE t (a INTEGER)", "INSERT INTO t VALUES (1), (2), (3), (4)"});
    TDbQuery& q = fetch(file, "SELECT a FROM t");
    q.Cursor().SetRecNo(2);
    QSignalSpy moved(&q.Cursor(), &TDbRowCursor::CurrentChanged);
    QCOMPARE(dataLines(exportBytes(q.Cursor())), (QList<QByteArray>{"\"1\"", "\"2\"", "\"3\"", "\"4\""}));
    QCOMPARE(q.Cursor().RecNo(), 3);
    QVERIFY(q.Eof());
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.last().at(0).value<qsizetype>(), qsizetype(3));
}

// Values longer than the writer's buffer, with line feeds and commas throughout, are
// written whole and cleaned the same as short ones.
void tst_exportCSV::longValuesPassTheBufferWhole()
{
    QString big;
    for (int i = 0; i < 120000; ++i)
        big += QStringLiteral("line %1, \"é\"\n").arg(i);
    const QList<TDbField> fields{{"LongText", "LongText", TDbFieldType::Memo, "TEXT", 0},
                                 {"n", "n", TDbFieldType::Integer, "INTEGER", 0}};
    TDbRowsBuilder b(fields);
    b.AppendText(big);
    b.AppendInteger(1);
    b.AppendText(QStringLiteral("short"));
    b.AppendInteger(2);
    TDbRowCursor cursor;
    cursor.SetRows(b.Finish());
    QString expected = big;
    expected.replace(",", "; ");
    expected = TCSVStream::CleanText(expected);
    QVERIFY(expected.size() > 2000000);
    QCOMPARE(dataLines(exportBytes(cursor)),
             (QList<QByteArray>{'"' + expected.toUtf8() + "\",\"1\"", "\"short\",\"2\""}));
}

// Chinook rows through the whole road: fetched by the data-access layer, written, and read
// back by Python's csv module to the values in the database (dates without their time,
// text cleaned), with every line split into exactly its columns.
void tst_exportCSV::chinookReadBackByPython()
{
    const QString db = writableCopy(m_dir, "Chinook.sqlite");
    QVERIFY(!db.isEmpty());
    const QString sql =
        "SELECT il.InvoiceLineId, t.Name, t.Composer, t.Milliseconds, il.UnitPrice, i.InvoiceDate, "
        "c.Company, c.Address AS AddressText, c.Fax, c.Email "
        "FROM InvoiceLine il JOIN Track t ON t.TrackId = il.TrackId "
        "JOIN Invoice i ON i.InvoiceId = il.InvoiceId "
        "JOIN Customer c ON c.CustomerId = i.CustomerId ORDER BY il.InvoiceLineId";
    TDbQuery& q = fetch(db, sql);
    QCOMPARE(q.FieldType(5), TDbFieldType::DateTime);
    const QString out = m_dir.filePath("chinook.csv");
    {
        TCSVStream csv(out);
        csv.ExportDataSet(q);
    }

    bool skipped = false;
    const QList<QStringList> read = readByPython(out, skipped);
    SKIP_WITHOUT_PYTHON(skipped);

    // The expected values straight from the engine, not through the rows.
    sqlite3* lite = nullptr;
    QCOMPARE(sqlite3_open_v2(QFile::encodeName(db).constData(), &lite, SQLITE_OPEN_READONLY, nullptr),
             SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    QCOMPARE(sqlite3_prepare_v2(lite, sql.toUtf8().constData(), -1, &st, nullptr), SQLITE_OK);
    const int columns = sqlite3_column_count(st);
    QStringList header;
    for (int c = 0; c < columns; ++c)
        header << QString::fromUtf8(sqlite3_column_name(st, c));
    QList<QStringList> expected{header};
    int withCommas = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < columns; ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_NULL) {
                row << QString();
                continue;
            }
            QString v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
            if (c == 5)
                v = v.left(10);
            if (header[c].endsWith("Text")) {
                withCommas += v.contains(',');
                v.replace(",", "; ");
            }
            row << TCSVStream::CleanText(v);
        }
        expected << row;
    }
    sqlite3_finalize(st);
    sqlite3_close(lite);

    QCOMPARE(read.size(), expected.size());
    QVERIFY(expected.size() > 2000);
    QVERIFY(withCommas > 100); // the addresses do exercise the comma rule
    for (qsizetype r = 0; r < read.size(); ++r)
        QCOMPARE(read[r], expected[r]);
    QCOMPARE(q.Cursor().RecNo(), q.RecordCount() - 1);
}

QTEST_GUILESS_MAIN(tst_exportCSV)
#include "tst_exportCSV.moc"
