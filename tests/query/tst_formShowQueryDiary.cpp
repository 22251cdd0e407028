#include "formShowQuery.h"

#include "SchedPreviewDlg.h"
#include "datModQuillory.h"
#include "testSupport.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbRecordView.h"
#include "uDbRows.h"
#include "uDialogScript.h"
#include "uParameters.h"
#include "uSchedAllView.h"
#include "uSchedCalendar.h"
#include "uSchedPrint.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

// The Diary page of the query window on saved queries over real SQLite databases: the
// page's layout, the lists filled when the rows open, the fill on entering the page and
// on each change of a list, the calendar moving the views, printing and the preview.
namespace {

QStringList entries(const QComboBox* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

QString pdfText(const QString& file)
{
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

// Runs a python3 script; its output lines, or one line saying how it failed. The
// system's python, where the Debian packages (python3-icalendar) are installed.
QStringList python(const QString& script, const QStringList& args)
{
    QProcess p;
    p.start("/usr/bin/python3", QStringList{"-c", script} + args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {"python3 failed: " + QString::fromUtf8(p.readAllStandardError())};
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

int pdfPages(const QString& file)
{
    QProcess p;
    p.start("pdfinfo", {file});
    p.waitForFinished(60000);
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
        if (line.startsWith("Pages:"))
            return line.mid(6).trimmed().toInt();
    return 0;
}

} // namespace

class tst_formShowQueryDiary : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pageShowsItsLayoutValues();
    void oneDateAndOneTextColumnFillAtOnce();
    void twoDateColumnsWaitForAChoice();
    void datesKeptAsTextFillTheDiary();
    void pageSaysWhyTheDiaryIsEmpty();
    void textDatesGiveTheStartsPythonReads();
    void monthCalendarBoldsTheDaysOfEveryInvoiceMonth();
    void exportDiaryWritesTheQueryAsACalendarFile();
    void secondaryColumnAndItsRemoval();
    void lateAppointmentShowsOnTwoDaysAndDuplicatesOnBoth();
    void gridAndInspectorKeepTheirRow();
    void radioGroupSetsTheViewMode_data();
    void radioGroupSetsTheViewMode();
    void calendarArrowMovesTheViews();
    void printDiaryPrintsTheViewsPeriod_data();
    void printDiaryPrintsTheViewsPeriod();
    void twoWindowsShareOnePreview();

private:
    int saveQuery(const QString& name, const QString& file, const QString& sql);
    std::unique_ptr<TfrmShowQuery> openWindow(int queryId, TPreviewSource previews = {});
    void enterDiary(TfrmShowQuery& w) { w.pagQuery->setCurrentWidget(w.tabDiary); }
    static int count(const TfrmShowQuery& w) { return int(w.SchedServer1->Count()); }

    QTemporaryDir m_dir;
    int m_folderId = 0;
};

void tst_formShowQueryDiary::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::copy(QUILLORY_TESTDATA "/sqlite/Chinook_Sqlite.sqlite", m_dir.filePath("chinook.sqlite")));
    QVERIFY(QFile::copy(QUILLORY_TESTDATA "/sqlite/Northwind_small.sqlite", m_dir.filePath("northwind.sqlite")));
    QFile(m_dir.filePath("northwind.sqlite")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(execSqlite(
        m_dir.filePath("northwind.sqlite"),
        "CREATE TABLE OrderDates (Id INTEGER, OrderDate DATE, ShippedDate DATE, ShipName VARCHAR(40)); "
        "INSERT INTO OrderDates SELECT Id, OrderDate, ShippedDate, ShipName FROM \"Order\""));
    QVERIFY(execSqlite(m_dir.filePath("cases.sqlite"),
                       "CREATE TABLE Cases (Id INTEGER, At DATETIME, Title VARCHAR(20), Amount INTEGER);"
                       "INSERT INTO Cases VALUES (1, '2004-04-19 23:50:00', 'Meeting', 3),"
                       "(2, '2004-04-21 10:00:00', 'Review', 4), (3, '2004-04-21 10:00:00', 'Review', 5),"
                       "(4, '2004-05-12 09:00:00', 'Planning', 6);"));
}

void tst_formShowQueryDiary::init()
{
    InitParameters(nullptr);
    static int run = 0;
    const QString folder = m_dir.filePath(QStringLiteral("store%1").arg(++run));
    QVERIFY(QDir().mkpath(folder));
    dmQuillory = new TdmQuillory(folder);
    dmQuillory->AddFolder(QStringLiteral("Diary"));
    m_folderId = dmQuillory->folders().first().ID;
}

void tst_formShowQueryDiary::cleanup()
{
    SetSchedPrinterFactory({});
    delete dmQuillory;
    dmQuillory = nullptr;
}

int tst_formShowQueryDiary::saveQuery(const QString& name, const QString& file, const QString& sql)
{
    dmQuillory->AddQuery(m_folderId, name, sql, "Provider=SQLite;Data Source=" + m_dir.filePath(file));
    return dmQuillory->currentQuery()->ID;
}

std::unique_ptr<TfrmShowQuery> tst_formShowQueryDiary::openWindow(int queryId, TPreviewSource previews)
{
    auto w = std::make_unique<TfrmShowQuery>();
    w->SetPreviewSource(std::move(previews));
    w->LoadQuery(queryId);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("query window not shown");
    return w;
}

void tst_formShowQueryDiary::pageShowsItsLayoutValues()
{
    auto w = std::make_unique<TfrmShowQuery>();
    QCOMPARE(w->pagQuery->tabText(2), QStringLiteral("Diary"));
    QCOMPARE(w->Calendar->Date(), QDate(2004, 4, 1));
    QCOMPARE(w->diaryView->ViewMode(), vmWeek);
    QCOMPARE(w->diaryView->VisibleDates().first(), QDate(2004, 4, 19));
    QCOMPARE(w->rgpDiaryView->title(), QStringLiteral("View"));
    QVERIFY(w->findChild<QRadioButton*>("rgpDiaryView2")->isChecked());
    QCOMPARE(w->findChild<QRadioButton*>("rgpDiaryView1")->text(), QStringLiteral("Working Week"));
    QCOMPARE(w->Label1->text(), QStringLiteral("Get Date From:"));
    QCOMPARE(w->Label2->text(), QStringLiteral("Get Description From:"));
    QCOMPARE(w->Label3->text(), QStringLiteral("Secondary Info From:"));
    QCOMPARE(w->btnPreview->toolTip(), QStringLiteral("Preivew the diary report"));
    QCOMPARE(w->btnPrintDiary->text(), QStringLiteral("Print Diary"));
    QCOMPARE(w->btnPrintDiary->toolTip(), QStringLiteral("Print immediately"));
    QCOMPARE(w->btnPreview->focusPolicy(), Qt::NoFocus);
    QVERIFY(w->onlDiaryLeft->width() >= 185);
    QCOMPARE(w->cboDateIndex->count(), 0);
    QCOMPARE(w->diaryView->HintMaxWidth(), 200);
    QCOMPARE(w->printDay->TopMinute, 8 * 60);
    QCOMPARE(w->printDay->EndMinute, 18 * 60);
}

void tst_formShowQueryDiary::oneDateAndOneTextColumnFillAtOnce()
{
    auto w = openWindow(saveQuery("Invoices", "chinook.sqlite",
                                  "SELECT InvoiceId, InvoiceDate, BillingCity, Total FROM Invoice"));
    QCOMPARE(w->pagQuery->currentWidget(), w->TabData);
    // The only candidates are chosen when the rows open; the secondary list never is.
    QCOMPARE(w->cboDateIndex->currentText(), QStringLiteral("InvoiceDate"));
    QCOMPARE(w->cboDescription->currentText(), QStringLiteral("BillingCity"));
    QCOMPARE(entries(w->cboSecondary), (QStringList{"BillingCity", "InvoiceDate", "InvoiceId", "Total"}));
    QCOMPARE(w->cboSecondary->currentIndex(), -1);
    // ...which fills nothing by itself; the page does, on arrival.
    QCOMPARE(count(*w), 0);
    enterDiary(*w);
    QCOMPARE(count(*w), 412);
}

void tst_formShowQueryDiary::twoDateColumnsWaitForAChoice()
{
    auto w = openWindow(saveQuery("Orders", "northwind.sqlite",
                                  "SELECT Id, ShippedDate, OrderDate, ShipName FROM OrderDates"));
    // Sorted by name, each entry carrying its column's position.
    QCOMPARE(entries(w->cboDateIndex), (QStringList{"OrderDate", "ShippedDate"}));
    QCOMPARE(w->cboDateIndex->itemData(0).toInt(), 2);
    QCOMPARE(w->cboDateIndex->currentIndex(), -1);
    enterDiary(*w);
    QCOMPARE(count(*w), 0);
    w->cboDateIndex->setCurrentIndex(0); // the user picks OrderDate
    QCOMPARE(count(*w), 830);
    QCOMPARE(w->SchedServer1->DayItems(QDate(2012, 7, 4)).size(), 1);
    QCOMPARE(w->SchedServer1->DayItems(QDate(2012, 7, 4)).at(0)->Caption(), QStringLiteral("Vins et alcools Chevalier"));
    // Typed text that selects no entry is no choice: the diary empties.
    w->cboDateIndex->lineEdit()->setText("Order");
    QCOMPARE(count(*w), 0);
}

// Northwind's own "Order" table keeps its dates as text, as most SQLite files do.
void tst_formShowQueryDiary::datesKeptAsTextFillTheDiary()
{
    auto w = openWindow(saveQuery("Orders", "northwind.sqlite",
                                  "SELECT Id, OrderDate, CustomerId, ShipName FROM \"Order\" ORDER BY Id"));
    QCOMPARE(entries(w->cboDateIndex), (QStringList{"OrderDate"}));
    QCOMPARE(w->cboDateIndex->currentText(), QStringLiteral("OrderDate"));
    w->cboDescription->setCurrentIndex(w->cboDescription->findText("ShipName"));
    enterDiary(*w);
    QCOMPARE(count(*w), 830);
    QCOMPARE(w->SchedServer1->DayItems(QDate(2012, 7, 4)).size(), 1);
    QCOMPARE(w->SchedServer1->DayItems(QDate(2012, 7, 4)).at(0)->Caption(), QStringLiteral("Vins et alcools Chevalier"));
    QVERIFY(w->lblDiaryHint->isHidden());
    // The month calendar shows in bold where they are; "First entry" moves there.
    QCOMPARE(w->Calendar->dateTextFormat(QDate(2004, 4, 5)).fontWeight(), int(QFont::Normal));
    QTest::mouseClick(w->btnFirstEntry, Qt::LeftButton);
    QCOMPARE(w->Calendar->Date(), QDate(2012, 7, 4));
    QCOMPARE(w->diaryView->StartDate(), QDate(2012, 7, 4));
    QCOMPARE(w->Calendar->dateTextFormat(QDate(2012, 7, 4)).fontWeight(), int(QFont::Bold));
    QCOMPARE(w->Calendar->dateTextFormat(QDate(2012, 7, 6)).fontWeight(), int(QFont::Normal)); // no order that day
    QTest::mouseClick(w->btnDiaryToday, Qt::LeftButton);
    QCOMPARE(w->Calendar->Date(), QDate::currentDate());
}

// Every one of Northwind's 830 orders starts where python's own reading of the text puts it.
void tst_formShowQueryDiary::textDatesGiveTheStartsPythonReads()
{
    const QString sql = "SELECT Id, OrderDate, ShipName FROM \"Order\"";
    auto w = openWindow(saveQuery("Orders", "northwind.sqlite", sql));
    w->cboDescription->setCurrentIndex(w->cboDescription->findText("ShipName"));
    enterDiary(*w);
    QCOMPARE(count(*w), 830);
    QStringList starts;
    for (qsizetype i = 0; i < w->SchedServer1->Count(); ++i)
        starts << SchedToDateTime(w->SchedServer1->Item(i)->Start).toString(Qt::ISODate);
    QStringList expected = python(R"(
import sys, sqlite3, datetime
for (d,) in sqlite3.connect(sys.argv[1]).execute('SELECT OrderDate FROM "Order"'):
    print(datetime.datetime.fromisoformat(d).isoformat())
)", {m_dir.filePath("northwind.sqlite")});
    starts.sort();
    expected.sort();
    QCOMPARE(starts, expected);
    // Days alone: no time is shown for their midnight.
    QVERIFY(w->SchedServer1->Item(0)->DateOnly());
}

// For each month of Chinook's invoices the month calendar shows in bold exactly the days
// python finds invoices on.
void tst_formShowQueryDiary::monthCalendarBoldsTheDaysOfEveryInvoiceMonth()
{
    auto w = openWindow(saveQuery("Invoices", "chinook.sqlite", "SELECT InvoiceDate, BillingCity FROM Invoice"));
    enterDiary(*w);
    QCOMPARE(count(*w), 412);
    const QStringList days = python(R"(
import sys, sqlite3
for (d,) in sqlite3.connect(sys.argv[1]).execute('SELECT DISTINCT substr(InvoiceDate, 1, 10) FROM Invoice'):
    print(d)
)", {m_dir.filePath("chinook.sqlite")});
    QSet<QDate> invoiced;
    QSet<QPair<int, int>> months;
    for (const QString& d : days) {
        const QDate date = QDate::fromString(d, Qt::ISODate);
        QVERIFY2(date.isValid(), qPrintable(d));
        invoiced << date;
        months << qMakePair(date.year(), date.month());
    }
    QVERIFY(months.size() > 12);
    for (const auto& [year, month] : months) {
        w->Calendar->setCurrentPage(year, month);
        const QDate first(year, month, 1);
        for (QDate d = first; d.month() == month; d = d.addDays(1))
            QVERIFY2((w->Calendar->dateTextFormat(d).fontWeight() == QFont::Bold) == invoiced.contains(d),
                     qPrintable(d.toString(Qt::ISODate)));
    }
}

// "Export Diary..." writes the query's appointments as a calendar file named after the
// query, which python's icalendar reads back; the folder is remembered for the next one.
void tst_formShowQueryDiary::exportDiaryWritesTheQueryAsACalendarFile()
{
    auto w = openWindow(saveQuery("Invoices", "chinook.sqlite", "SELECT InvoiceDate, BillingCity FROM Invoice"));
    enterDiary(*w);
    QVERIFY(w->btnExportDiary->isVisible());
    const QString folder = m_dir.filePath("calendars");
    QVERIFY(QDir().mkpath(folder));
    {
        ScriptedDialogs dialogs;
        dialogs.file(folder + "/invoices");
        QTest::mouseClick(w->btnExportDiary, Qt::LeftButton);
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(dialogs.last().kind, dialogs::Kind::SaveFile);
        QVERIFY2(dialogs.last().value.endsWith("/Invoices.ics"), qPrintable(dialogs.last().value));
    }
    const QStringList read = python(R"(
import sys, icalendar
cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())
events = cal.walk('VEVENT')
print(cal.get('X-WR-CALNAME'), len(events), events[0]['DTSTART'].dt.isoformat(), events[0]['SUMMARY'])
)", {folder + "/invoices.ics"});
    QCOMPARE(read, QStringList{"Invoices 412 2021-01-01T00:00:00 Stuttgart"});
    {
        ScriptedDialogs dialogs;
        dialogs.cancel();
        QTest::mouseClick(w->btnExportDiary, Qt::LeftButton);
        QCOMPARE(dialogs.last().value, folder + "/Invoices.ics");
    }
    QVERIFY(!QFileInfo::exists(folder + "/Invoices.ics"));
}

void tst_formShowQueryDiary::pageSaysWhyTheDiaryIsEmpty()
{
    {
        auto w = openWindow(saveQuery("Tracks", "chinook.sqlite", "SELECT Name, Composer FROM Track"));
        enterDiary(*w);
        QCOMPARE(count(*w), 0);
        QVERIFY(w->lblDiaryHint->isVisible());
        QCOMPARE(w->lblDiaryHint->text(), QStringLiteral("No column of these rows holds dates."));
    }
    auto w = openWindow(saveQuery("Orders", "northwind.sqlite",
                                  "SELECT Id, ShippedDate, OrderDate, ShipName FROM OrderDates"));
    enterDiary(*w);
    QCOMPARE(w->lblDiaryHint->text(), QStringLiteral("Choose a column in \"Get Date From:\"."));
    w->cboDateIndex->setCurrentIndex(0);
    QVERIFY(w->lblDiaryHint->isHidden());
}

void tst_formShowQueryDiary::secondaryColumnAndItsRemoval()
{
    auto w = openWindow(saveQuery("Cases", "cases.sqlite", "SELECT At, Title, Amount FROM Cases ORDER BY Id"));
    enterDiary(*w);
    QCOMPARE(w->SchedServer1->Item(0)->Caption(), QStringLiteral("Meeting"));
    w->cboSecondary->setCurrentIndex(w->cboSecondary->findText("Amount"));
    QCOMPARE(w->SchedServer1->Item(0)->Caption(), QStringLiteral("Meeting (3)"));
    w->cboSecondary->lineEdit()->clear();
    QCOMPARE(w->SchedServer1->Item(0)->Caption(), QStringLiteral("Meeting"));
}

void tst_formShowQueryDiary::lateAppointmentShowsOnTwoDaysAndDuplicatesOnBoth()
{
    auto w = openWindow(saveQuery("Cases", "cases.sqlite", "SELECT At, Title FROM Cases"));
    enterDiary(*w);
    // Week view on the week of 19 April 2004.
    auto boxOf = [&](QDate d) -> const TSchedDayBox& {
        for (const TSchedDayBox& b : w->diaryView->Layout().days)
            if (b.date == d)
                return b;
        qFatal("day not shown");
    };
    QCOMPARE(boxOf(QDate(2004, 4, 19)).items.size(), 1);
    QCOMPARE(boxOf(QDate(2004, 4, 20)).items.size(), 1);
    QCOMPARE(boxOf(QDate(2004, 4, 20)).items[0].caption, QStringLiteral("Meeting"));
    QCOMPARE(boxOf(QDate(2004, 4, 21)).items.size(), 2); // two rows at the same time
    const TSchedItem* late = boxOf(QDate(2004, 4, 20)).items[0].item;
    QCOMPARE(SchedToDateTime(late->Finish), QDateTime(QDate(2004, 4, 20), QTime(0, 4, 24)));
}

void tst_formShowQueryDiary::gridAndInspectorKeepTheirRow()
{
    auto w = openWindow(saveQuery("Invoices", "chinook.sqlite", "SELECT InvoiceDate, BillingCity FROM Invoice"));
    w->cdsData->SetRecNo(37);
    QTRY_COMPARE(w->gridData->currentIndex().row(), 37);
    const QString city = w->cdsData->AsString(1);
    QCOMPARE(w->inspector->LineValue(1), city);
    int moves = 0;
    connect(w->cdsData, &TDbRowCursor::CurrentChanged, this, [&moves](qsizetype) { ++moves; });
    enterDiary(*w);
    QCOMPARE(count(*w), 412);
    QCOMPARE(moves, 0); // the fill read the rows without walking the cursor
    QApplication::processEvents();
    QCOMPARE(w->cdsData->RecNo(), 37);
    QCOMPARE(w->gridData->currentIndex().row(), 37);
    QCOMPARE(w->inspector->LineValue(1), city);
}

void tst_formShowQueryDiary::radioGroupSetsTheViewMode_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("mode");
    QTest::newRow("Day") << 0 << int(vmDay);
    QTest::newRow("Working Week") << 1 << int(vmWorkWeek);
    QTest::newRow("Week") << 2 << int(vmWeek);
    QTest::newRow("Month") << 3 << int(vmMonth);
}

void tst_formShowQueryDiary::radioGroupSetsTheViewMode()
{
    QFETCH(int, item);
    QFETCH(int, mode);
    auto w = std::make_unique<TfrmShowQuery>();
    w->show();
    w->pagQuery->setCurrentWidget(w->tabDiary);
    if (item == 2) // start elsewhere, so that the click changes something
        w->findChild<QRadioButton*>("rgpDiaryView3")->click();
    w->findChild<QRadioButton*>(QStringLiteral("rgpDiaryView%1").arg(item))->click();
    QCOMPARE(int(w->diaryView->ViewMode()), mode);
}

void tst_formShowQueryDiary::calendarArrowMovesTheViews()
{
    auto w = openWindow(saveQuery("Cases", "cases.sqlite", "SELECT At, Title FROM Cases"));
    enterDiary(*w);
    QTest::mouseClick(w->Calendar->findChild<QToolButton*>("qt_calendar_nextmonth"), Qt::LeftButton);
    QCOMPARE(w->Calendar->Date(), QDate(2004, 5, 1));
    QCOMPARE(w->diaryView->StartDate(), QDate(2004, 5, 1));
    QCOMPARE(w->diaryView->VisibleDates().first(), QDate(2004, 4, 26)); // the week holding 1 May
    w->findChild<QRadioButton*>("rgpDiaryView3")->click();
    QCOMPARE(w->diaryView->VisibleDates().first(), QDate(2004, 4, 26));
    QCOMPARE(w->diaryView->VisibleDates().last(), QDate(2004, 5, 30));
    w->findChild<QRadioButton*>("rgpDiaryView0")->click();
    QCOMPARE(w->diaryView->DayColumnDates(), QList<QDate>{QDate(2004, 5, 1)});
}

void tst_formShowQueryDiary::printDiaryPrintsTheViewsPeriod_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<bool>("clickColumn");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("Month: the month of the view's start, from the week of its 1st")
        << 3 << false << QStringList{"April 2004", "29 March 2004 - 2 May 2004", "Meeting", "Review"}
        << QStringList{"Planning"};
    QTest::newRow("Working Week: one day, the column clicked")
        << 1 << true << QStringList{"Wednesday 21 April 2004", "Review"} << QStringList{"Meeting", "Planning"};
    QTest::newRow("Working Week: one day, the first column")
        << 1 << false << QStringList{"Monday 19 April 2004"} << QStringList{"Review", "Tuesday"};
}

void tst_formShowQueryDiary::printDiaryPrintsTheViewsPeriod()
{
    QFETCH(int, item);
    QFETCH(bool, clickColumn);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    auto w = openWindow(saveQuery("Cases", "cases.sqlite", "SELECT At, Title FROM Cases"));
    enterDiary(*w);
    w->findChild<QRadioButton*>(QStringLiteral("rgpDiaryView%1").arg(item))->click();
    if (clickColumn)
        for (const TSchedDayBox& b : w->diaryView->Layout().days)
            if (b.date == QDate(2004, 4, 21))
                QTest::mouseClick(w->diaryView->viewport(), Qt::LeftButton, {}, b.header.center().toPoint());
    const QString file = m_dir.filePath(QStringLiteral("diary-%1.pdf").arg(QTest::currentDataTag()).replace(' ', '_'));
    SetSchedPrinterFactory([file]() {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        return printer;
    });
    ScriptedDialogs dialogs;
    QTest::mouseClick(w->btnPrintDiary, Qt::LeftButton);
    QVERIFY2(dialogs.shown().isEmpty(), qPrintable(dialogs.texts().join('\n')));
    QCOMPARE(pdfPages(file), 1);
    const QString text = pdfText(file);
    for (const QString& t : present)
        QVERIFY2(text.contains(t), qPrintable(t + " missing in: " + text));
    for (const QString& t : absent)
        QVERIFY2(!text.contains(t), qPrintable(t + " printed in: " + text));
}

void tst_formShowQueryDiary::twoWindowsShareOnePreview()
{
    std::unique_ptr<TPreviewForm> preview;
    int made = 0;
    const TPreviewSource previews = [&]() {
        if (!preview) {
            preview = std::make_unique<TPreviewForm>();
            ++made;
        }
        return preview.get();
    };
    const int id = saveQuery("Cases", "cases.sqlite", "SELECT At, Title FROM Cases");
    auto first = openWindow(id, previews);
    enterDiary(*first);
    QTest::mouseClick(first->btnPreview, Qt::LeftButton);
    QVERIFY(preview && preview->isVisible()); // shown without waiting
    QCOMPARE(preview->PrintComponent(), first->printWeek);
    QCOMPARE(preview->SchedPreview->pageCount(), 1);
    // A second click re-targets it to the current view.
    first->findChild<QRadioButton*>("rgpDiaryView3")->click();
    QTest::mouseClick(first->btnPreview, Qt::LeftButton);
    QCOMPARE(preview->PrintComponent(), first->printMonth);
    QCOMPARE(first->printMonth->StartDate(), QDate(2004, 4, 1));

    first.reset(); // its print components go with it; the preview stays, empty
    QVERIFY(preview);
    QVERIFY(!preview->PrintComponent());

    auto second = openWindow(id, previews);
    enterDiary(*second);
    QTest::mouseClick(second->btnPreview, Qt::LeftButton);
    QCOMPARE(made, 1);
    QCOMPARE(preview->PrintComponent(), second->printWeek);
    second.reset();
}

QTEST_MAIN(tst_formShowQueryDiary)
#include "tst_formShowQueryDiary.moc"
