#include "testSupport.h"
#include "uDateText.h"
#include "uDbError.h"
#include "uDbRowCursor.h"
#include "uDbRows.h"
#include "uDbRowsBuilder.h"
#include "uDbRowsStorage.h"

#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <random>

// The in-memory rows: typed storage, text forms, conversions that must lose nothing,
// the cursor's walking rules, and sharing without copies.
class tst_dbRows : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void textForms_data();
    void textForms();
    void decimalSeparatorFollowsLocale();
    void singlesShowTheirShortestDigits_data();
    void singlesShowTheirShortestDigits();
    void mismatchedValuesAreKeptAsText();
    void dateKindsKeepTheirKind_data();
    void dateKindsKeepTheirKind();
    void dateColumnWithTimesBecomesDateTime();
    void julianDayTimeAgreesWithDateTime_data();
    void julianDayTimeAgreesWithDateTime();
    void nullsInEveryStorage();
    void valuesAcrossChunkBoundaries();
    void textEndsInNarrowAndWideBlocks();
    void asIntegerRejectsText();
    void cursorWalk();
    void cursorOnEmptyRows();
    void cursorSignals();
    void rowsAreSharedNotCopied();
    void smallResultsStaySmall();
    void finishCompletesLastRow();
};

static TDbField field(const QString& name, TDbFieldType type)
{
    return TDbField{name, QString(), type, QString(), 0};
}

void tst_dbRows::textForms_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("integer") << int(TDbFieldType::Integer) << QVariant(qlonglong(-42)) << "-42";
    QTest::newRow("big integer") << int(TDbFieldType::Integer) << QVariant(qlonglong(9007199254740993LL))
                                 << "9007199254740993";
    QTest::newRow("float 15 digits") << int(TDbFieldType::Float) << QVariant(0.1 + 0.2) << "0.3";
    QTest::newRow("float integral") << int(TDbFieldType::Float) << QVariant(5.0) << "5";
    QTest::newRow("single shortest") << int(TDbFieldType::Single) << QVariant(double(0.15f)) << "0.15";
    QTest::newRow("single tiny") << int(TDbFieldType::Single) << QVariant(double(1.0e-7f)) << "1e-07";
    QTest::newRow("bcd trailing zeros")
        << int(TDbFieldType::BCD) << QVariant(QStringLiteral("12.3400")) << "12.34";
    QTest::newRow("bcd whole") << int(TDbFieldType::BCD) << QVariant(QStringLiteral("7.000")) << "7";
    QTest::newRow("bcd from float") << int(TDbFieldType::BCD) << QVariant(0.99) << "0.99";
    QTest::newRow("currency") << int(TDbFieldType::Currency) << QVariant(QStringLiteral("1234.5"))
                              << "1234.5";
    QTest::newRow("boolean") << int(TDbFieldType::Boolean) << QVariant(true) << "True";
    QTest::newRow("boolean text f") << int(TDbFieldType::Boolean) << QVariant(QStringLiteral("f")) << "False";
    QTest::newRow("date from text") << int(TDbFieldType::Date) << QVariant(QStringLiteral("2004-03-02"))
                                    << "2 Mar 2004";
    QTest::newRow("date-time") << int(TDbFieldType::DateTime)
                               << QVariant(QStringLiteral("2004-03-02 14:30:00")) << "2 Mar 2004 14:30:00";
    QTest::newRow("date-time midnight")
        << int(TDbFieldType::DateTime) << QVariant(QStringLiteral("2004-03-02T00:00:00")) << "2 Mar 2004";
    QTest::newRow("time") << int(TDbFieldType::Time) << QVariant(QStringLiteral("14:30:05")) << "14:30:05";
    QTest::newRow("wide string") << int(TDbFieldType::WideString) << QVariant(QStringLiteral("Bolívar"))
                                 << "Bolívar";
    QTest::newRow("blob bytes") << int(TDbFieldType::Blob) << QVariant(QByteArray("a\0b", 3))
                                << QString::fromLatin1("a\0b", 3);
}

void tst_dbRows::textForms()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    TDbRowsBuilder b({field("v", TDbFieldType(type))});
    b.AppendValue(value);
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->Field(0).type, TDbFieldType(type));
    QCOMPARE(rows->AsString(0, 0), text);
}

void tst_dbRows::decimalSeparatorFollowsLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TDbRowsBuilder b(
        {field("f", TDbFieldType::Float), field("n", TDbFieldType::BCD), field("c", TDbFieldType::Currency)});
    b.AppendFloat(1234.5);
    b.AppendText(QStringLiteral("0.250"));
    b.AppendCurrency(-15000);
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->AsString(0, 0), QStringLiteral("1234,5")); // no thousands separator
    QCOMPARE(rows->AsString(0, 1), QStringLiteral("0,25"));
    QCOMPARE(rows->AsString(0, 2), QStringLiteral("-1,5"));
}

void tst_dbRows::singlesShowTheirShortestDigits_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");

    // As engines hand a single over: the float widened, the driver's 8 digits, a double.
    QTest::newRow("0.15 widened") << QVariant(0.15f) << "0.15";
    QTest::newRow("driver's text 0.15000001") << QVariant(QStringLiteral("0.15000001")) << "0.15";
    QTest::newRow("0.0099999998") << QVariant(QStringLiteral("0.0099999998")) << "0.01";
    QTest::newRow("a double is held as a single") << QVariant(0.1 + 0.2) << "0.3";
    QTest::newRow("integral") << QVariant(5.0f) << "5";
    QTest::newRow("beyond 2^24") << QVariant(16777217.0) << "16777216";
    QTest::newRow("negative small") << QVariant(-1.234e-5f) << "-1.234e-05";
    QTest::newRow("largest") << QVariant(3.4028235e38f) << "3.4028235e+38";
}

void tst_dbRows::singlesShowTheirShortestDigits()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    TDbRowsBuilder b({field("s", TDbFieldType::Single)});
    b.AppendValue(value);
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->Field(0).type, TDbFieldType::Single);
    QCOMPARE(rows->AsString(0, 0), text);
    // The text reads back as the very single that was fetched.
    QCOMPARE(std::strtof(text.toLatin1().constData(), nullptr), float(rows->AsFloat(0, 0)));
}

// SQLite lets any column hold any value: a value that does not read as the column's kind
// turns the column into text, and the values before it keep their text form.
void tst_dbRows::mismatchedValuesAreKeptAsText()
{
    TDbRowsBuilder b({field("i", TDbFieldType::Integer), field("n", TDbFieldType::Float)});
    b.AppendInteger(1);
    b.AppendText(QStringLiteral("0.5"));
    b.AppendText(QStringLiteral("12")); // parses: stays an integer column
    b.AppendNull();
    b.AppendText(QStringLiteral("n/a"));
    b.AppendText(QStringLiteral("unknown"));
    b.AppendFloat(2.5);
    b.AppendFloat(0.25);
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->Field(0).type, TDbFieldType::String);
    QCOMPARE(rows->Field(1).type, TDbFieldType::String);
    QStringList col0, col1;
    for (int r = 0; r < 4; ++r) {
        col0 << rows->AsString(r, 0);
        col1 << (rows->IsNull(r, 1) ? QStringLiteral("<null>") : rows->AsString(r, 1));
    }
    QCOMPARE(col0, QStringList({"1", "12", "n/a", "2.5"}));
    QCOMPARE(col1, QStringList({"0.5", "<null>", "unknown", "0.25"}));
    QVERIFY(rows->IsNull(1, 1));
    QCOMPARE(rows->Warning(), QString());
}

void tst_dbRows::dateKindsKeepTheirKind_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QDateTime>("expected"); // invalid: shown empty, and counted

    const auto date = int(TDbFieldType::Date);
    const auto dateTime = int(TDbFieldType::DateTime);
    const auto time = int(TDbFieldType::Time);
    QTest::newRow("word in a date column") << date << QVariant(QStringLiteral("someday")) << QDateTime();
    QTest::newRow("date without its day") << date << QVariant(QStringLiteral("2004-03")) << QDateTime();
    QTest::newRow("no such day") << dateTime << QVariant(QStringLiteral("2004-02-30 10:00")) << QDateTime();
    QTest::newRow("integer in a date-time column") << dateTime << QVariant(qlonglong(38000)) << QDateTime();
    QTest::newRow("float in a date-time column") << dateTime << QVariant(2.5) << QDateTime();
    QTest::newRow("bytes in a date column") << date << QVariant(QByteArray("\x01\x02")) << QDateTime();
    QTest::newRow("time alone in a date column") << date << QVariant(QTime(9, 30)) << QDateTime();
    QTest::newRow("date in a time column") << time << QVariant(QDate(2004, 3, 2)) << QDateTime();
    QTest::newRow("boolean in a time column") << time << QVariant(true) << QDateTime();
    QTest::newRow("ISO text") << dateTime << QVariant(QStringLiteral(" 2004-03-02T14:30:00Z "))
                              << QDateTime(QDate(2004, 3, 2), QTime(14, 30));
    QTest::newRow("date-time into a time column")
        << time << QVariant(QDateTime(QDate(2004, 3, 2), QTime(14, 30))) << QDateTime(kDayZero, QTime(14, 30));
}

// A value that is no date leaves a date column a date column: the value is shown empty and
// the warning names the column and how many, instead of the column turning into text.
void tst_dbRows::dateKindsKeepTheirKind()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QDateTime, expected);
    TDbRowsBuilder b({field("Due", TDbFieldType(type))});
    b.AppendValue(value);
    b.AppendValue(QDateTime(QDate(2021, 2, 28), QTime(0, 0)));
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->Field(0).type, TDbFieldType(type));
    QCOMPARE(rows->IsNull(0, 0), !expected.isValid());
    QCOMPARE(rows->AsDateTime(0, 0), expected);
    QVERIFY(!rows->IsNull(1, 0));
    QCOMPARE(rows->Warning(), expected.isValid()
                                  ? QString()
                                  : QStringLiteral("Some values of date columns are not dates and are shown empty: Due (1)."));
}

void tst_dbRows::julianDayTimeAgreesWithDateTime_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("isDate");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("date") << int(TDbFieldType::Date) << QVariant(QDate(2004, 4, 19)) << true
                          << QDateTime(QDate(2004, 4, 19), QTime(0, 0));
    QTest::newRow("date and time") << int(TDbFieldType::DateTime)
                                   << QVariant(QDateTime(QDate(2004, 4, 19), QTime(23, 50, 1, 5))) << true
                                   << QDateTime(QDate(2004, 4, 19), QTime(23, 50, 1, 5));
    QTest::newRow("a date before 1899")
        << int(TDbFieldType::DateTime) << QVariant(QDateTime(QDate(1850, 1, 2), QTime(6, 0))) << true
        << QDateTime(QDate(1850, 1, 2), QTime(6, 0));
    QTest::newRow("time alone lies on 30 December 1899") << int(TDbFieldType::Time) << QVariant(QTime(9, 30))
                                                         << true << QDateTime(QDate(1899, 12, 30), QTime(9, 30));
    QTest::newRow("ISO text") << int(TDbFieldType::String) << QVariant(QString("2004-04-20 08:15:00")) << true
                              << QDateTime(QDate(2004, 4, 20), QTime(8, 15));
    QTest::newRow("other text") << int(TDbFieldType::String) << QVariant(QString("Meeting")) << false << QDateTime();
    QTest::newRow("null") << int(TDbFieldType::DateTime) << QVariant() << false << QDateTime();
}

void tst_dbRows::julianDayTimeAgreesWithDateTime()
{
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(bool, isDate);
    QFETCH(QDateTime, expected);
    TDbRowsBuilder b({field("v", TDbFieldType(type))});
    b.AppendValue(value);
    TDbRowsPtr rows = b.Finish();
    qint64 day = -7;
    int msecs = -7;
    QCOMPARE(rows->AsJulianDayTime(0, 0, day, msecs), isDate);
    if (!isDate) {
        QCOMPARE(day, qint64(-7)); // untouched
        return;
    }
    QCOMPARE(QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(msecs)), expected);
    QCOMPARE(rows->AsDateTime(0, 0), expected);
}

void tst_dbRows::dateColumnWithTimesBecomesDateTime()
{
    TDbRowsBuilder b({field("d", TDbFieldType::Date)});
    b.AppendText(QStringLiteral("2020-01-31"));
    b.AppendText(QStringLiteral("2020-02-01 00:00:00")); // midnight: still a date
    b.AppendText(QStringLiteral("2020-02-02 08:15:30.250"));
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->Field(0).type, TDbFieldType::DateTime);
    QCOMPARE(rows->AsDateTime(0, 0), QDateTime(QDate(2020, 1, 31), QTime(0, 0)));
    QCOMPARE(rows->AsDateTime(1, 0), QDateTime(QDate(2020, 2, 1), QTime(0, 0)));
    QCOMPARE(rows->AsDateTime(2, 0), QDateTime(QDate(2020, 2, 2), QTime(8, 15, 30, 250)));
}

void tst_dbRows::nullsInEveryStorage()
{
    const QList<TDbFieldType> kinds = {TDbFieldType::Integer, TDbFieldType::Float, TDbFieldType::String,
                                       TDbFieldType::DateTime, TDbFieldType::Blob};
    QList<TDbField> fields;
    for (TDbFieldType k : kinds)
        fields << field(FieldTypeName(k), k);
    TDbRowsBuilder b(fields);
    for (int r = 0; r < 130; ++r) // more than two words of null flags
        for (int c = 0; c < kinds.size(); ++c)
            (r % 3 == c % 3) ? b.AppendNull()
                             : b.AppendValue(QVariant(kinds[c] == TDbFieldType::DateTime ? QStringLiteral("2004-03-02")
                                                                                         : QStringLiteral("7")));
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->RowCount(), 130);
    for (int r = 0; r < 130; ++r)
        for (int c = 0; c < kinds.size(); ++c) {
            QCOMPARE(rows->IsNull(r, c), r % 3 == c % 3);
            if (rows->IsNull(r, c)) {
                QVERIFY(rows->AsString(r, c).isEmpty());
                QVERIFY(!rows->Value(r, c).isValid());
            }
        }
}

// Storage grows in chunks; values that straddle a chunk end must read back whole.
void tst_dbRows::valuesAcrossChunkBoundaries()
{
    // Enough rows for the numbers and the text ends to fill more than one chunk each, and
    // the first chunk's pages written ahead in steps.
    TDbRowsBuilder b({field("id", TDbFieldType::Integer), field("t", TDbFieldType::Memo),
                      field("n", TDbFieldType::String)});
    const int n = 600000;
    auto text = [](int i) { return QString(i % 23, QChar(u'a' + i % 26)); };
    for (int i = 0; i < n; ++i) {
        b.AppendInteger(i);
        b.AppendText(text(i));
        if (i % 3)
            b.AppendText(QString::number(i));
        else
            b.AppendNull();
    }
    // One value larger than a whole arena chunk.
    b.AppendInteger(n);
    b.AppendText(QString(3 * 1024 * 1024 + 5, QChar(u'é')));
    b.AppendText(QStringLiteral("last"));
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->RowCount(), n + 1);
    for (int i = 0; i < n; ++i) {
        QCOMPARE(rows->AsInteger(i, 0), qint64(i));
        QCOMPARE(rows->AsString(i, 1), text(i));
        QCOMPARE(rows->IsNull(i, 2), i % 3 == 0);
        if (i % 3)
            QCOMPARE(rows->AsString(i, 2), QString::number(i));
    }
    QCOMPARE(rows->AsString(n, 1), QString(3 * 1024 * 1024 + 5, QChar(u'é')));
    QCOMPARE(rows->AsString(n, 2), QStringLiteral("last"));
}

void tst_dbRows::textEndsInNarrowAndWideBlocks()
{
    // Ends are kept 16 bits past their block's start until a block passes 64 KiB: values
    // that reach that limit exactly or pass it, on a block's first row or later, by
    // several GiB at once, and empty values, among short ones.
    std::mt19937 random(7);
    dbrows::TextEnds ends;
    std::vector<quint64> expected;
    quint64 end = 0;
    quint64 blockStart = 0;
    for (int i = 0; i < 5000; ++i) {
        if (i % dbrows::TextEnds::kBlock == 0)
            blockStart = end;
        switch (random() % 12) {
        case 0:
            break; // empty or null
        case 1:
            end = std::max(end, blockStart + 0xFFFF); // the last end a narrow block holds
            break;
        case 2:
            end = std::max(end + 1, blockStart + 0x10000); // the first it does not
            break;
        case 3:
            end += quint64(5) << 30; // past 4 GiB
            break;
        default:
            end += random() % 40;
        }
        ends.push(end);
        expected.push_back(end);
    }
    QCOMPARE(ends.size(), qsizetype(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(ends.at(qsizetype(i)), expected[i]);
        quint64 start = 1, stop = 0;
        ends.range(qsizetype(i), start, stop);
        QCOMPARE(start, i ? expected[i - 1] : 0);
        QCOMPARE(stop, expected[i]);
    }
    // A streamed batch starts from offset 0 again.
    ends.rewind();
    ends.push(3);
    ends.push(70000);
    QCOMPARE(ends.at(0), quint64(3));
    QCOMPARE(ends.at(1), quint64(70000));
}

void tst_dbRows::asIntegerRejectsText()
{
    TDbRowsPtr rows = TDbRowsBuilder::FromStrings({"a"}, {{"12"}, {"abc"}});
    QCOMPARE(rows->AsInteger(0, 0), 12);
    expectError<EDbError>([&] { rows->AsInteger(1, 0); }, "'abc' is not a valid integer value");
}

void tst_dbRows::cursorWalk()
{
    TDbRowCursor cursor;
    QVERIFY(!cursor.Active());
    cursor.SetRows(TDbRowsBuilder::FromStrings({"n"}, {{"a"}, {"b"}, {"c"}}));
    QVERIFY(cursor.Active());
    QStringList seen;
    for (cursor.First(); !cursor.Eof(); cursor.Next())
        seen << cursor.AsString(0);
    QCOMPARE(seen, QStringList({"a", "b", "c"}));
    // Past the end the last row stays current, as a walk leaves it.
    QCOMPARE(cursor.RecNo(), 2);
    QCOMPARE(cursor.AsString(0), QStringLiteral("c"));
    QCOMPARE(cursor.MoveBy(-10), -2);
    QVERIFY(!cursor.Eof());
    cursor.Prior();
    QVERIFY(cursor.Bof());
    QCOMPARE(cursor.RecNo(), 0);
    QCOMPARE(cursor.MoveBy(10), 2);
    QVERIFY(cursor.Eof());
    cursor.SetRecNo(1);
    QCOMPARE(cursor.AsString(0), QStringLiteral("b"));
    QVERIFY(!cursor.Bof() && !cursor.Eof());
}

void tst_dbRows::cursorOnEmptyRows()
{
    TDbRowCursor cursor;
    cursor.SetRows(TDbRowsBuilder::FromStrings({"n"}, {}));
    QVERIFY(cursor.Active());
    QVERIFY(cursor.Bof());
    QVERIFY(cursor.Eof());
    QCOMPARE(cursor.RecNo(), -1);
    QCOMPARE(cursor.RecordCount(), 0);
    cursor.Next();
    cursor.Last();
    QVERIFY(cursor.Eof());
    QCOMPARE(cursor.FieldCount(), 1);
    // No current row: null values, not a crash.
    QVERIFY(cursor.IsNull(0));
    QCOMPARE(cursor.AsString(0), QString());
    QVERIFY_THROWS_EXCEPTION(EDbError, cursor.AsString(1));
    cursor.SetRows(nullptr);
    QVERIFY_THROWS_EXCEPTION(EDbError, cursor.Field(0));
}

void tst_dbRows::cursorSignals()
{
    TDbRowCursor cursor;
    QSignalSpy state(&cursor, &TDbRowCursor::StateChanged);
    QSignalSpy moved(&cursor, &TDbRowCursor::CurrentChanged);
    cursor.SetRows(TDbRowsBuilder::FromStrings({"n"}, {{"a"}, {"b"}}));
    QCOMPARE(state.count(), 1);
    moved.clear();
    cursor.Next();
    cursor.Next(); // past the end: no new row
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.at(0).at(0).value<qsizetype>(), 1);
    cursor.SetRows(nullptr);
    QCOMPARE(state.count(), 2);
    QVERIFY(!cursor.Active());
}

void tst_dbRows::rowsAreSharedNotCopied()
{
    TDbRowsPtr rows = TDbRowsBuilder::FromStrings({"n"}, {{"a"}, {"b"}});
    TDbRowCursor first, second;
    first.SetRows(rows);
    second.SetRows(first.Rows());
    QCOMPARE(second.Rows().get(), rows.get());
    QCOMPARE(rows.use_count(), 3);
    second.Last();
    QCOMPARE(first.RecNo(), 0); // each view has its own position
    first.SetRows(nullptr);
    rows.reset();
    QCOMPARE(second.AsString(0), QStringLiteral("b")); // alive while a view holds it
}

// A small result must not take whole storage chunks per column (a query window may hold
// many one-row results).
void tst_dbRows::smallResultsStaySmall()
{
    QList<TDbField> fields;
    for (int c = 0; c < 20; ++c)
        fields << field(QString::number(c), c % 2 ? TDbFieldType::Memo : TDbFieldType::Integer);
    TDbRowsBuilder b(fields);
    for (int c = 0; c < 20; ++c)
        c % 2 ? b.AppendText(QStringLiteral("value")) : b.AppendInteger(c);
    TDbRowsPtr rows = b.Finish();
    QVERIFY2(rows->MemoryBytes() < 20 * 1024, qPrintable(QString::number(rows->MemoryBytes())));
}

void tst_dbRows::finishCompletesLastRow()
{
    TDbRowsBuilder b({field("a", TDbFieldType::Integer), field("b", TDbFieldType::String)});
    b.AppendInteger(1);
    TDbRowsPtr rows = b.Finish();
    QCOMPARE(rows->RowCount(), 1);
    QVERIFY(rows->IsNull(0, 1));
}

QTEST_GUILESS_MAIN(tst_dbRows)
#include "tst_dbRows.moc"
