#include "uDiary.h"
#include "uDiaryExport.h"

#include "testSupport.h"
#include "uDbConnection.h"
#include "uDbQuery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <libical/ical.h>
#include <sys/resource.h>

#include <csignal>

// The diary's plain functions on real rows: the column lists, the appointment each row
// becomes, the fill of a store, and the print choice's five rules.
namespace {

QDateTime dt(TSchedTime t)
{
    return SchedToDateTime(t);
}

// Runs a python3 script with arguments; its output lines, or one line saying how it failed.
// The system's python, where the Debian packages (python3-icalendar) are installed.
QStringList python(const QString& script, const QStringList& args)
{
    QProcess p;
    p.start("/usr/bin/python3", QStringList{"-c", script} + args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {"python3 failed: " + QString::fromUtf8(p.readAllStandardError())};
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// An independent reading of an .ics file: the calendar's name, then one line per event.
const char* const kReadIcs = R"(
import sys, icalendar
cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())
print('NAME|' + str(cal.get('X-WR-CALNAME')))
for ev in cal.walk('VEVENT'):
    print('|'.join([ev['DTSTART'].dt.isoformat(), ev['DTEND'].dt.isoformat(), str(ev['SUMMARY']), str(ev['UID'])]))
)";

// The events the rows should become, read with python's own sqlite3 and datetime.
const char* const kExpectedEvents = R"(
import sys, sqlite3, datetime
for (at, city) in sqlite3.connect(sys.argv[1]).execute(sys.argv[2]):
    start = datetime.datetime.fromisoformat(at)
    print('|'.join([start.isoformat(), (start + datetime.timedelta(seconds=864)).isoformat(), city]))
)";

QStringList withoutUids(QStringList lines)
{
    for (QString& line : lines)
        line = line.section('|', 0, 2);
    return lines;
}

QStringList names(const QList<TDiaryColumn>& columns)
{
    QStringList out;
    for (const TDiaryColumn& c : columns)
        out << QStringLiteral("%1@%2").arg(c.name).arg(c.position);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(TDiaryViewState)

class tst_diary : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void columnListsOfferColumnsByType_data();
    void columnListsOfferColumnsByType();
    void rowBecomesAppointment_data();
    void rowBecomesAppointment();
    void fillAddsEveryRowInOneUpdate();
    void fillKeepsRowsAndMakesTheirCaptionsWhenAsked_data();
    void fillKeepsRowsAndMakesTheirCaptionsWhenAsked();
    void fillStaysEmptyWithoutBothChoices_data();
    void fillStaysEmptyWithoutBothChoices();
    void fillFromPostgresTimestampsWithNulls();
    void choiceHintSaysWhatIsMissing_data();
    void choiceHintSaysWhatIsMissing();
    void printChoiceFollowsTheViewMode_data();
    void printChoiceFollowsTheViewMode();
    void icalendarExportReadsBackWithPythonAndLibical();
    void failedExportLeavesNoPartialFile();
    void textTimesAndDateOnlyColumns();

private:
    TDbRowsPtr fetch(const QString& connection, const QString& sql);
    QString sqlite(const QString& file) const { return "Provider=SQLite;Data Source=" + m_dir.filePath(file); }

    QTemporaryDir m_dir;
};

void tst_diary::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::copy(QUILLORY_TESTDATA "/sqlite/Chinook_Sqlite.sqlite", m_dir.filePath("chinook.sqlite")));
    QVERIFY(QFile::copy(QUILLORY_TESTDATA "/sqlite/Northwind_small.sqlite", m_dir.filePath("northwind.sqlite")));
    QFile(m_dir.filePath("northwind.sqlite")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // Northwind keeps its dates as text: the same orders with declared date columns.
    QVERIFY(execSqlite(
        m_dir.filePath("northwind.sqlite"),
        "CREATE TABLE OrderDates (Id INTEGER, OrderDate DATE, ShippedDate DATE, ShipName VARCHAR(40), "
        "Freight DECIMAL); INSERT INTO OrderDates SELECT Id, OrderDate, ShippedDate, ShipName, Freight "
        "FROM \"Order\""));
    // The rows that show the edge cases.
    QVERIFY(execSqlite(
        m_dir.filePath("cases.sqlite"),
        "CREATE TABLE Cases (Id INTEGER, At DATETIME, Clock TIME, Title VARCHAR(20), Amount INTEGER, "
        "Note VARCHAR(20));"
        "INSERT INTO Cases VALUES (1, '2004-04-19 23:50:00', '09:30:00', 'Meeting', 3, 'x'),"
        "(2, NULL, NULL, NULL, NULL, NULL),"
        "(3, '2004-04-20', '23:59:59', 'Meeting', 3, 'x'),"
        "(4, '2004-04-20', '00:00:00', 'Meeting', 3, 'x');"
        "CREATE TABLE TextDates (Said TEXT, Day TEXT);"
        "INSERT INTO TextDates VALUES ('2004-04-19', '2004-04-19'), ('soon', '2004-04-20 09:30'), (NULL, NULL);"));
}

TDbRowsPtr tst_diary::fetch(const QString& connection, const QString& sql)
{
    TDbConnection con;
    con.SetConnectionString(connection);
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({sql});
    q.Open();
    return q.Rows();
}

void tst_diary::columnListsOfferColumnsByType_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QStringList>("descriptions");
    QTest::addColumn<int>("secondary");
    QTest::newRow("Chinook invoices: one date, text of two kinds")
        << "chinook.sqlite" << "SELECT InvoiceId, InvoiceDate, BillingCity, Total FROM Invoice"
        << QStringList{"InvoiceDate@1"} << QStringList{"BillingCity@2"} << 4;
    QTest::newRow("Northwind orders: two dates")
        << "northwind.sqlite" << "SELECT Id, OrderDate, ShippedDate, ShipName, Freight FROM OrderDates"
        << QStringList{"OrderDate@1", "ShippedDate@2"} << QStringList{"ShipName@3"} << 5;
    QTest::newRow("time and date-time") << "cases.sqlite" << "SELECT Clock, Id, At FROM Cases"
                                        << QStringList{"Clock@0", "At@2"} << QStringList{} << 3;
    QTest::newRow("Northwind's dates kept as text, some null")
        << "northwind.sqlite" << "SELECT Id, OrderDate, ShippedDate, ShipName FROM \"Order\""
        << QStringList{"OrderDate@1", "ShippedDate@2"} << QStringList{"OrderDate@1", "ShippedDate@2", "ShipName@3"} << 4;
    QTest::newRow("text with one value that is no date")
        << "cases.sqlite" << "SELECT Said, Day FROM TextDates" << QStringList{"Day@1"}
        << QStringList{"Said@0", "Day@1"} << 2;
    QTest::newRow("no date at all") << "chinook.sqlite" << "SELECT Name, Composer FROM Track"
                                    << QStringList{} << QStringList{"Name@0", "Composer@1"} << 2;
}

void tst_diary::columnListsOfferColumnsByType()
{
    QFETCH(QString, file);
    QFETCH(QString, sql);
    QFETCH(QStringList, dates);
    QFETCH(QStringList, descriptions);
    QFETCH(int, secondary);
    const TDbRowsPtr rows = fetch(sqlite(file), sql);
    const TDiaryColumnLists lists = DiaryColumnLists(*rows);
    QCOMPARE(names(lists.dates), dates);
    QCOMPARE(names(lists.descriptions), descriptions);
    QCOMPARE(lists.secondary.size(), secondary);
}

void tst_diary::rowBecomesAppointment_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("secondary"); // position, -1 none
    QTest::addColumn<int>("row");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QString>("caption");
    const QString sql = "SELECT At, Title, Amount, Clock FROM Cases ORDER BY Id";
    QTest::newRow("date-time and text") << sql << -1 << 0 << QDateTime(QDate(2004, 4, 19), QTime(23, 50))
                                        << "Meeting";
    QTest::newRow("secondary in brackets") << sql << 2 << 0 << QDateTime(QDate(2004, 4, 19), QTime(23, 50))
                                           << "Meeting (3)";
    QTest::newRow("nulls: 30 December 1899 and empty texts")
        << sql << 2 << 1 << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << " ()";
    QTest::newRow("a date without time at 00:00") << sql << -1 << 2 << QDateTime(QDate(2004, 4, 20), QTime(0, 0))
                                                  << "Meeting";
    QTest::newRow("time alone on 30 December 1899")
        << "SELECT Clock, Title FROM Cases ORDER BY Id" << -1 << 0 << QDateTime(QDate(1899, 12, 30), QTime(9, 30))
        << "Meeting";
    QTest::newRow("secondary of a date column: its text")
        << "SELECT Clock, Title, At FROM Cases ORDER BY Id" << 2 << 2
        << QDateTime(QDate(1899, 12, 30), QTime(23, 59, 59)) << "Meeting (20/04/2004)";
}

void tst_diary::rowBecomesAppointment()
{
    QFETCH(QString, sql);
    QFETCH(int, secondary);
    QFETCH(int, row);
    QFETCH(QDateTime, start);
    QFETCH(QString, caption);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const TDbRowsPtr rows = fetch(sqlite("cases.sqlite"), sql);
    const TSchedItemRec rec = DiaryEntry(*rows, row, {0, 1, secondary});
    QLocale::setDefault(QLocale::c());
    QCOMPARE(dt(rec.Start), start);
    QCOMPARE(rec.Finish - rec.Start, qint64(864'000)); // 14 min 24 s, whatever the row holds
    QCOMPARE(rec.Caption, caption);
    QCOMPARE(rec.Kind, 0);
    QVERIFY(rec.Description.isEmpty());
    QVERIFY(!rec.Alarm);
}

void tst_diary::fillAddsEveryRowInOneUpdate()
{
    const TDbRowsPtr rows = fetch(sqlite("chinook.sqlite"), "SELECT InvoiceDate, BillingCity FROM Invoice");
    TSchedServer store;
    store.Add({});
    QSignalSpy changes(&store, &TSchedServer::Changed);
    DiaryFill(store, rows, {0, 1, -1});
    QCOMPARE(store.Count(), rows->RowCount());
    // Emptied first (everything changed), then one announcement for the whole batch.
    QCOMPARE(changes.count(), 2);
    QVERIFY(changes.first().first().value<TSchedChange>().Everything);
    const TSchedChange batch = changes.last().first().value<TSchedChange>();
    QCOMPARE(SchedDateFromDay(batch.FirstDay), QDate(2021, 1, 1));
    QCOMPARE(SchedDateFromDay(batch.LastDay), QDate(2025, 12, 22));
    QCOMPARE(store.DayItems(QDate(2021, 1, 1)).size(), 1);
    QCOMPARE(store.DayItems(QDate(2021, 1, 1)).at(0)->Caption(), QStringLiteral("Stuttgart"));

    // Duplicate times give two appointments; 23:50 lies on two days.
    const TDbRowsPtr cases = fetch(sqlite("cases.sqlite"), "SELECT At, Title FROM Cases");
    DiaryFill(store, cases, {0, 1, -1});
    QCOMPARE(store.Count(), 4);
    QCOMPARE(store.DayItems(QDate(2004, 4, 19)).size(), 1);
    QCOMPARE(store.DayItems(QDate(2004, 4, 20)).size(), 3);
}

void tst_diary::fillKeepsRowsAndMakesTheirCaptionsWhenAsked_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("date");
    QTest::addColumn<int>("description");
    QTest::addColumn<int>("secondary");
    QTest::newRow("text dates with nulls, a text date as secondary")
        << "northwind.sqlite" << "SELECT Id, OrderDate, ShippedDate, ShipName FROM \"Order\"" << 2 << 3 << 1;
    QTest::newRow("declared dates, a decimal as secondary")
        << "northwind.sqlite" << "SELECT Id, OrderDate, ShippedDate, ShipName, Freight FROM OrderDates" << 1 << 3 << 4;
    QTest::newRow("rows out of date order")
        << "northwind.sqlite" << "SELECT Id, OrderDate, ShipName FROM OrderDates ORDER BY ShipName, Id DESC" << 1 << 2
        << -1;
    QTest::newRow("nulls, a time column, an entry over midnight")
        << "cases.sqlite" << "SELECT At, Title, Amount, Clock FROM Cases" << 0 << 1 << 2;
    QTest::newRow("times alone") << "cases.sqlite" << "SELECT Clock, Title, At FROM Cases" << 0 << 1 << 2;
}

void tst_diary::fillKeepsRowsAndMakesTheirCaptionsWhenAsked()
{
    // The store keeps a record per row and reads its caption from the rows when asked:
    // every appointment must be what DiaryEntry makes of its row, also after the caller
    // let go of the rows and after the store sorted rows out of date order.
    QFETCH(QString, file);
    QFETCH(QString, sql);
    QFETCH(int, date);
    QFETCH(int, description);
    QFETCH(int, secondary);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    auto restoreLocale = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    TDbRowsPtr rows = fetch(sqlite(file), sql);
    TDiaryChoice choice{date, description, secondary};
    choice.dateOnly = DiaryDateOnly(*rows, date);
    TSchedServer store;
    DiaryFill(store, rows, choice);
    QCOMPARE(store.Count(), rows->RowCount());

    QStringList expected;
    QList<bool> seen(rows->RowCount(), false);
    for (qsizetype i = 0; i < store.Count(); ++i) {
        const TSchedItem* item = store.Item(i);
        QVERIFY(item->Ref < quint32(rows->RowCount()));
        QVERIFY2(!seen[item->Ref], "each row once");
        seen[item->Ref] = true;
        const TSchedItemRec rec = DiaryEntry(*rows, item->Ref, choice);
        QCOMPARE(dt(item->Start), dt(rec.Start));
        QCOMPARE(item->Finish, rec.Finish);
        QCOMPARE(item->Caption(), rec.Caption);
        QCOMPARE(item->DateOnly(), choice.dateOnly);
        QVERIFY(item->Description().isEmpty());
        if (i > 0) {
            // By start; rows at the same time in the rows' own order.
            const TSchedItem* prior = store.Item(i - 1);
            QVERIFY(prior->Start < item->Start || (prior->Start == item->Start && prior->Ref < item->Ref));
        }
        expected << rec.Caption;
    }
    const std::weak_ptr<const TDbRows> held = rows;
    rows.reset();
    QVERIFY2(!held.expired(), "the store holds the rows its appointments refer to");
    QStringList captions;
    for (qsizetype i = 0; i < store.Count(); ++i)
        captions << store.Item(i)->Caption();
    QCOMPARE(captions, expected);
    store.RemoveAll();
    QVERIFY2(held.expired(), "an emptied store lets the rows go");
}

void tst_diary::fillStaysEmptyWithoutBothChoices_data()
{
    QTest::addColumn<int>("date");
    QTest::addColumn<int>("description");
    QTest::newRow("no date") << -1 << 3;
    QTest::newRow("no description") << 1 << -1;
    QTest::newRow("neither (two date columns, none chosen)") << -1 << -1;
    QTest::newRow("a position the rows lack") << 1 << 9;
}

void tst_diary::fillStaysEmptyWithoutBothChoices()
{
    QFETCH(int, date);
    QFETCH(int, description);
    const TDbRowsPtr rows = fetch(sqlite("northwind.sqlite"), "SELECT Id, OrderDate, ShippedDate, ShipName FROM OrderDates");
    TSchedServer store;
    DiaryFill(store, rows, {1, 3, -1});
    QCOMPARE(store.Count(), 830);
    DiaryFill(store, rows, {date, description, -1});
    QCOMPARE(store.Count(), 0);
    DiaryFill(store, nullptr, {1, 3, -1});
    QCOMPARE(store.Count(), 0);
}

void tst_diary::fillFromPostgresTimestampsWithNulls()
{
    const auto env = QProcessEnvironment::systemEnvironment();
    if (env.value("QUILLORY_PG_HOST").isEmpty())
        QSKIP("No PostgreSQL server: QUILLORY_PG_* are not set (scripts/test starts one)");
    const QString connection = "Provider=PostgreSQL;Data Source=" + env.value("QUILLORY_PG_HOST") + ":" +
                               env.value("QUILLORY_PG_PORT") + ";Initial Catalog=" + env.value("QUILLORY_PG_DB") +
                               ";User ID=" + env.value("QUILLORY_PG_USER") +
                               ";Password=" + env.value("QUILLORY_PG_PASSWORD");
    const TDbRowsPtr rows =
        fetch(connection, "SELECT invoice_id, CASE WHEN invoice_id % 5 = 0 THEN NULL ELSE invoice_date END AS due, "
                          "billing_city FROM invoice ORDER BY invoice_id");
    const TDiaryColumnLists lists = DiaryColumnLists(rows->Fields());
    QCOMPARE(names(lists.dates), QStringList{"due@1"});
    TSchedServer store;
    DiaryFill(store, rows, {1, 2, 0});
    QCOMPARE(store.Count(), rows->RowCount());
    // Every fifth invoice has no date: on 30 December 1899, 00:00.
    const TSchedDayItems zero = store.DayItems(QDate(1899, 12, 30));
    QCOMPARE(zero.size(), rows->RowCount() / 5);
    QCOMPARE(dt(zero.at(0)->Start), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    QVERIFY(zero.at(0)->Caption().endsWith(" (5)"));
    QCOMPARE(dt(store.Item(zero.size())->Start), QDateTime(QDate(2021, 1, 1), QTime(0, 0)));
}

void tst_diary::choiceHintSaysWhatIsMissing_data()
{
    QTest::addColumn<int>("dates");
    QTest::addColumn<int>("descriptions");
    QTest::addColumn<int>("date");
    QTest::addColumn<int>("description");
    QTest::addColumn<QString>("hint");
    QTest::newRow("no date column") << 0 << 2 << -1 << -1 << "No column of these rows holds dates.";
    QTest::newRow("no text column") << 1 << 0 << 0 << -1 << "No column of these rows holds text for a description.";
    QTest::newRow("two dates, none chosen") << 2 << 1 << -1 << 1 << "Choose a column in \"Get Date From:\".";
    QTest::newRow("texts, none chosen") << 1 << 3 << 0 << -1 << "Choose a column in \"Get Description From:\".";
    QTest::newRow("filled") << 1 << 1 << 0 << 1 << "";
}

void tst_diary::choiceHintSaysWhatIsMissing()
{
    QFETCH(int, dates);
    QFETCH(int, descriptions);
    QFETCH(int, date);
    QFETCH(int, description);
    QFETCH(QString, hint);
    QCOMPARE(DiaryChoiceHint(dates, descriptions, {date, description, -1}), hint);
}

void tst_diary::printChoiceFollowsTheViewMode_data()
{
    QTest::addColumn<TDiaryViewState>("state");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("start");
    const QList<QDate> week{QDate(2004, 4, 19), QDate(2004, 4, 20), QDate(2004, 4, 21), QDate(2004, 4, 22),
                            QDate(2004, 4, 23)};
    TDiaryViewState s;
    s.mode = vmDay;
    s.dayColumns = {QDate(2004, 4, 21)};
    s.startDate = QDate(2004, 4, 1);
    QTest::newRow("day: its column") << s << int(TDiaryPrintChoice::Day) << QDate(2004, 4, 21);

    s.mode = vmWorkWeek;
    s.dayColumns = week;
    s.dayColumnsSelected = {false, false, false, true, false};
    s.selectionStart = SchedTimeFromDate(QDate(2004, 4, 20), QTime(10, 30));
    QTest::newRow("working week: the selected time range's day first")
        << s << int(TDiaryPrintChoice::Day) << QDate(2004, 4, 20);
    s.selectionStart = 0;
    QTest::newRow("working week: else the first selected column")
        << s << int(TDiaryPrintChoice::Day) << QDate(2004, 4, 22);
    s.dayColumnsSelected = QList<bool>(5, false);
    QTest::newRow("working week: else the first column") << s << int(TDiaryPrintChoice::Day) << QDate(2004, 4, 19);

    s.mode = vmWeek;
    s.startDate = QDate(2004, 4, 19);
    QTest::newRow("week: the view's start") << s << int(TDiaryPrintChoice::Week) << QDate(2004, 4, 19);
    s.itemSelected = true;
    s.selectedStart = SchedTimeFromDate(QDate(2004, 5, 6), QTime(9, 0));
    QTest::newRow("week: the selected appointment's") << s << int(TDiaryPrintChoice::Week) << QDate(2004, 5, 6);

    s.mode = vmMonth;
    QTest::newRow("month: the selected appointment's month") << s << int(TDiaryPrintChoice::Month) << QDate(2004, 5, 1);
    s.itemSelected = false;
    QTest::newRow("month: the view's start's month") << s << int(TDiaryPrintChoice::Month) << QDate(2004, 4, 1);
    s.itemSelected = true;
    s.selectedStart = SchedTimeFromDate(QDate(1899, 12, 30));
    QTest::newRow("month: never before 30 December 1899") << s << int(TDiaryPrintChoice::Month) << QDate(1899, 12, 30);
}

void tst_diary::printChoiceFollowsTheViewMode()
{
    QFETCH(TDiaryViewState, state);
    QFETCH(int, kind);
    QFETCH(QDate, start);
    const TDiaryPrintChoice choice = DiaryPrintChoice(state);
    QCOMPARE(int(choice.kind), kind);
    QCOMPARE(choice.start, start);
}

// Chinook's invoices as a calendar file: python's icalendar and libical itself read back
// one event per row with the rows' starts, ends (14 min 24 s later) and captions; the
// UIDs are unique and the same in a second export of the same query.
void tst_diary::icalendarExportReadsBackWithPythonAndLibical()
{
    const QString sql = "SELECT InvoiceDate, BillingCity FROM Invoice ORDER BY InvoiceId";
    const TDbRowsPtr rows = fetch(sqlite("chinook.sqlite"), sql);
    QCOMPARE(rows->RowCount(), 412);
    const QString file = m_dir.filePath("invoices.ics");
    const TDiaryExportResult result = DiaryExportICalendar(file, *rows, {0, 1, -1}, "Invoices", "quillory-query-7");
    QCOMPARE(result.written, 412);
    QCOMPARE(result.skipped, 0);

    QStringList read = python(kReadIcs, {file});
    QCOMPARE(read.value(0), QStringLiteral("NAME|Invoices"));
    read.removeFirst();
    QCOMPARE(read.size(), 412);
    QStringList expected = python(kExpectedEvents, {m_dir.filePath("chinook.sqlite"), sql});
    QCOMPARE(expected.size(), 412);
    QStringList events = withoutUids(read);
    events.sort();
    expected.sort();
    QCOMPARE(events, expected);
    QStringList uids;
    for (const QString& line : read)
        uids << line.section('|', 3);
    QCOMPARE(QSet<QString>(uids.begin(), uids.end()).size(), 412);
    QCOMPARE(uids.first(), QStringLiteral("quillory-query-7-1@quillory"));
    DiaryExportICalendar(m_dir.filePath("again.ics"), *rows, {0, 1, -1}, "Invoices", "quillory-query-7");
    QStringList again = python(kReadIcs, {m_dir.filePath("again.ics")});
    again.removeFirst();
    QCOMPARE(again, read);

    // libical parses it back: 412 events with floating starts matching the rows.
    const QByteArray text = readFile(file);
    icalcomponent* calendar = icalparser_parse_string(text.constData());
    QVERIFY(calendar);
    int count = 0;
    for (icalcomponent* ev = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT), ++count) {
        const icaltimetype start = icalcomponent_get_dtstart(ev);
        QVERIFY(icaltime_is_utc(start) == 0 && !start.zone);
        const QDateTime at(QDate(start.year, start.month, start.day), QTime(start.hour, start.minute, start.second));
        QCOMPARE(at, dt(DiaryEntry(*rows, count, {0, 1, -1}).Start));
        // libical's parser drops a value's trailing blanks ("Edinburgh "); python above
        // read them from the file.
        QCOMPARE(QString::fromUtf8(icalcomponent_get_summary(ev)), rows->AsString(count, 1).trimmed());
    }
    icalcomponent_free(calendar);
    QCOMPARE(count, 412);
}

// A write that fails (a full device, a file size limit) ends in a clear error; a device
// is written in place, never renamed over; a regular file keeps its old content and no
// partial or temporary file is left beside it.
void tst_diary::failedExportLeavesNoPartialFile()
{
    const TDbRowsPtr rows = fetch(sqlite("chinook.sqlite"), "SELECT InvoiceDate, BillingCity FROM Invoice");
    try {
        DiaryExportICalendar("/dev/full", *rows, {0, 1, -1}, "Invoices", "q");
        QFAIL("an export to /dev/full reported success");
    } catch (const EDiaryExportError& e) {
        QVERIFY2(e.message().startsWith("Cannot write the diary to \"/dev/full\": "), qPrintable(e.message()));
        QVERIFY2(e.message().contains("space", Qt::CaseInsensitive), qPrintable(e.message()));
    }
    QVERIFY(!QFileInfo("/dev/full").isFile());

    QDir folder(m_dir.filePath("limited"));
    QVERIFY(folder.mkpath("."));
    const QString file = folder.filePath("diary.ics");
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the previous export\n");
    old.close();
    // A file size limit well below the export's size stands for a full disk.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    QString error;
    try {
        DiaryExportICalendar(file, *rows, {0, 1, -1}, "Invoices", "q");
    } catch (const EDiaryExportError& e) {
        error = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY2(error.startsWith("Cannot write the diary to"), qPrintable(error));
    QCOMPARE(readFile(file), QByteArray("the previous export\n"));
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"diary.ics"});

    try {
        DiaryExportICalendar(m_dir.filePath("missing/diary.ics"), *rows, {0, 1, -1}, "Invoices", "q");
        QFAIL("an export into a missing folder reported success");
    } catch (const EDiaryExportError& e) {
        QVERIFY2(e.message().contains("missing/diary.ics"), qPrintable(e.message()));
    }
    try {
        DiaryExportICalendar(m_dir.filePath("none.ics"), *rows, {-1, 1, -1}, "Invoices", "q");
        QFAIL("an export without a date column reported success");
    } catch (const EDiaryExportError& e) {
        QCOMPARE(e.message(), QStringLiteral("Choose the columns of the diary before exporting it."));
    }
    QVERIFY(!QFileInfo::exists(m_dir.filePath("none.ics")));
}

// Times kept as text are dates too; a column of days alone makes entries without times.
void tst_diary::textTimesAndDateOnlyColumns()
{
    QVERIFY(execSqlite(m_dir.filePath("times.sqlite"),
                       "CREATE TABLE T (Clock TEXT, Day TEXT, Stamp DATETIME, Title TEXT);"
                       "INSERT INTO T VALUES ('09:30', '2004-04-19', '2004-04-19 00:00:00', 'a'),"
                       "('17:05:10', '2004-04-20', '2004-04-20 08:15:00', 'b'), (NULL, NULL, NULL, 'c');"));
    const TDbRowsPtr rows = fetch(sqlite("times.sqlite"), "SELECT Clock, Day, Stamp, Title FROM T");
    QCOMPARE(names(DiaryColumnLists(*rows).dates), (QStringList{"Clock@0", "Day@1", "Stamp@2"}));
    QCOMPARE(dt(DiaryEntry(*rows, 1, {0, 3, -1}).Start), QDateTime(QDate(1899, 12, 30), QTime(17, 5, 10)));
    QVERIFY(!DiaryDateOnly(*rows, 0));
    QVERIFY(DiaryDateOnly(*rows, 1));
    QVERIFY(!DiaryDateOnly(*rows, 2));
    TSchedServer store;
    DiaryFill(store, rows, {1, 3, -1});
    QCOMPARE(store.Count(), 3);
    for (qsizetype i = 0; i < store.Count(); ++i)
        QVERIFY(store.Item(i)->DateOnly());
    DiaryFill(store, rows, {2, 3, -1});
    for (qsizetype i = 0; i < store.Count(); ++i)
        QVERIFY(!store.Item(i)->DateOnly());
}

QTEST_GUILESS_MAIN(tst_diary)
#include "tst_diary.moc"
