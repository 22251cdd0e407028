#include "SchedPreviewDlg.h"
#include "calendarTestSupport.h"
#include "uDialogScript.h"
#include "uSchedAllView.h"
#include "uSchedCalendar.h"
#include "uSchedPrint.h"

#include <QApplication>
#include <QComboBox>
#include <QAbstractItemView>
#include <QDialog>
#include <QGraphicsView>
#include <QLineEdit>
#include <QMenu>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QToolButton>

namespace {

const QLocale kMonday(QLocale::English, QLocale::UnitedKingdom);
const QLocale kSunday(QLocale::English, QLocale::UnitedStates);

struct ViewFixture
{
    TSchedServer server;
    TSchedAllView view;
    explicit ViewFixture(const QLocale& locale = kMonday)
    {
        view.setLocale(locale);
        view.resize(800, 600);
        view.SetServer(&server);
        view.SetStartDate(QDate(2004, 4, 19));
        view.show();
    }
    const TSchedDayBox* box(QDate date) const
    {
        for (const TSchedDayBox& b : view.Layout().days)
            if (b.date == date)
                return &b;
        return nullptr;
    }
    void click(QPointF p) { QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, p.toPoint()); }
};

} // namespace

class tst_schedView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(kMonday); }
    void eachModeShowsItsPeriod_data();
    void eachModeShowsItsPeriod();
    void modeChangeKeepsTheDateInFocus();
    void dayViewScrollsToEightAndShadesWorkingHours();
    void timeRangeAndColumnSelectionAreReadable();
    void selectedAppointmentIsReadableInWeekAndMonth();
    void viewFollowsTheStoreAndDropsSelectionOnRemoveAll();
    void moreButtonScrollsADayCell();
    void eachViewNamesItsPeriodAndMarksToday_data();
    void eachViewNamesItsPeriodAndMarksToday();
    void dayViewsScrollToTheFirstEntryOutOfSight_data();
    void dayViewsScrollToTheFirstEntryOutOfSight();
    void crowdedTimeKeepsLanesReadableAndCountsTheRest();
    void hintNamesTheAppointment();
    void scrollBarMovesWeekAndMonthByWeeks();
    void calendarArrowsMoveToFirstDayAndClick_data();
    void calendarArrowsMoveToFirstDayAndClick();
    void calendarDayClickAndMonthPicker();
    void calendarYearTypedWithEnterStaysInTheCalendar();
    void previewZoomRules();
    void previewClickWritesScaleAndCloseHides();
    void previewSurvivesItsWindowAndShowsNothing();
};

void tst_schedView::eachModeShowsItsPeriod_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<int>("count");
    // Start date Thursday 22 April 2004.
    QTest::newRow("day") << kMonday << int(vmDay) << QDate(2004, 4, 22) << 1;
    QTest::newRow("working week, Monday locale") << kMonday << int(vmWorkWeek) << QDate(2004, 4, 19) << 5;
    QTest::newRow("working week, Sunday locale") << kSunday << int(vmWorkWeek) << QDate(2004, 4, 19) << 5;
    QTest::newRow("week, Monday locale") << kMonday << int(vmWeek) << QDate(2004, 4, 19) << 7;
    QTest::newRow("week, Sunday locale") << kSunday << int(vmWeek) << QDate(2004, 4, 18) << 7;
    QTest::newRow("month, Monday locale") << kMonday << int(vmMonth) << QDate(2004, 4, 19) << 35;
    QTest::newRow("month, Sunday locale") << kSunday << int(vmMonth) << QDate(2004, 4, 18) << 35;
}

void tst_schedView::eachModeShowsItsPeriod()
{
    QFETCH(QLocale, locale);
    QFETCH(int, mode);
    QFETCH(QDate, first);
    QFETCH(int, count);
    ViewFixture f(locale);
    f.view.SetViewMode(TSchedViewMode(mode));
    f.view.SetStartDate(QDate(2004, 4, 22));
    f.view.SetDayDate(QDate(2004, 4, 22));
    const QList<QDate> visible = f.view.VisibleDates();
    QCOMPARE(visible.size(), count);
    QCOMPARE(visible.first(), first);
    // What is drawn is what the view says it shows.
    QCOMPARE(f.view.Layout().days.size(), count);
    QCOMPARE(f.view.Layout().days.first().date, first);
}

void tst_schedView::modeChangeKeepsTheDateInFocus()
{
    ViewFixture f;
    f.view.SetViewMode(vmMonth);
    // A click on the cell of 5 May puts it in focus without moving the month.
    f.click(f.box(QDate(2004, 5, 5))->body.center());
    QCOMPARE(f.view.FocusDate(), QDate(2004, 5, 5));
    QCOMPARE(f.view.VisibleDates().first(), QDate(2004, 4, 19));
    f.view.SetViewMode(vmDay);
    QCOMPARE(f.view.DayColumnDates(), QList<QDate>{QDate(2004, 5, 5)});
    f.view.SetViewMode(vmWeek);
    QCOMPARE(f.view.VisibleDates().first(), QDate(2004, 5, 3));
    f.view.SetViewMode(vmWorkWeek);
    QCOMPARE(f.view.VisibleDates(), (QList<QDate>{QDate(2004, 5, 3), QDate(2004, 5, 4), QDate(2004, 5, 5),
                                                  QDate(2004, 5, 6), QDate(2004, 5, 7)}));
    f.view.SetViewMode(vmMonth);
    QCOMPARE(f.view.VisibleDates().first(), QDate(2004, 5, 3));
}

void tst_schedView::dayViewScrollsToEightAndShadesWorkingHours()
{
    ViewFixture f;
    f.view.SetViewMode(vmDay);
    const TSchedLayout& layout = f.view.Layout();
    QVERIFY(qAbs(layout.yOfMinute(8 * 60) - layout.body.top()) < 1);
    QVERIFY(!layout.rows.isEmpty());
    for (const TSchedTimeRow& row : layout.rows)
        QCOMPARE(row.working, row.minute >= 8 * 60 && row.minute < 17 * 60);
    QCOMPARE(layout.rows.first().minute % 30, 0);
}

void tst_schedView::timeRangeAndColumnSelectionAreReadable()
{
    ViewFixture f;
    f.view.SetViewMode(vmWorkWeek);
    QCOMPARE(f.view.SelectionStart(), TSchedTime(0));
    QCOMPARE(f.view.DayColumnsSelected(), QList<bool>(5, false));

    // A click in the row of 10:00 on Wednesday, dragged down to 11:00.
    const TSchedDayBox* wednesday = f.box(QDate(2004, 4, 21));
    const qreal x = wednesday->rect.center().x();
    const TSchedLayout& layout = f.view.Layout();
    const QPoint from(int(x), int(layout.yOfMinute(10 * 60) + 3));
    const QPoint to(int(x), int(layout.yOfMinute(11 * 60) + 3));
    QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), f.view.viewport()->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(f.view.viewport(), &move);
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, to);
    QCOMPARE(SchedToDateTime(f.view.SelectionStart()), QDateTime(QDate(2004, 4, 21), QTime(10, 0)));
    QCOMPARE(f.view.DayColumnsSelected(), (QList<bool>{false, false, true, false, false}));

    // A click on Friday's title marks the column and drops the time range.
    f.click(f.box(QDate(2004, 4, 23))->header.center());
    QCOMPARE(f.view.SelectionStart(), TSchedTime(0));
    QCOMPARE(f.view.DayColumnsSelected(), (QList<bool>{false, false, false, false, true}));
}

void tst_schedView::selectedAppointmentIsReadableInWeekAndMonth()
{
    for (TSchedViewMode mode : {vmWeek, vmMonth}) {
        ViewFixture f;
        add(f.server, QDate(2004, 4, 20), QTime(9, 30), "Dentist");
        f.view.SetViewMode(mode);
        f.view.SetStartDate(QDate(2004, 4, 19));
        QVERIFY(!f.view.SelectedItem());
        const TSchedDayBox* box = f.box(QDate(2004, 4, 20));
        QCOMPARE(box->items.size(), 1);
        f.click(box->items[0].rect.center());
        QVERIFY(f.view.SelectedItem());
        QCOMPARE(f.view.SelectedItem()->Caption(), QStringLiteral("Dentist"));
        QCOMPARE(SchedToDateTime(f.view.SelectedItem()->Start), QDateTime(QDate(2004, 4, 20), QTime(9, 30)));
        // A click on free space drops it.
        f.click(f.box(QDate(2004, 4, 22))->body.center());
        QVERIFY(!f.view.SelectedItem());
    }
}

void tst_schedView::viewFollowsTheStoreAndDropsSelectionOnRemoveAll()
{
    ViewFixture f;
    QCOMPARE(f.box(QDate(2004, 4, 21))->items.size(), 0);
    add(f.server, QDate(2004, 4, 21), QTime(13, 0), "Lunch");
    QCOMPARE(f.box(QDate(2004, 4, 21))->items.size(), 1);
    f.click(f.box(QDate(2004, 4, 21))->items[0].rect.center());
    QVERIFY(f.view.SelectedItem());
    f.server.RemoveAll();
    QVERIFY(!f.view.SelectedItem());
    QCOMPARE(f.box(QDate(2004, 4, 21))->items.size(), 0);
}

void tst_schedView::moreButtonScrollsADayCell()
{
    ViewFixture f;
    f.server.BeginUpdate();
    for (int i = 0; i < 60; ++i)
        add(f.server, QDate(2004, 4, 21), QTime(8, 0).addSecs(60 * i), QString("Item %1").arg(i));
    f.server.EndUpdate();
    f.view.SetViewMode(vmMonth);
    const TSchedDayBox* box = f.box(QDate(2004, 4, 21));
    const int shown = int(box->items.size());
    QVERIFY(shown > 0 && shown < 60);
    QVERIFY(!box->moreDown.isEmpty());
    f.click(box->moreDown.center());
    box = f.box(QDate(2004, 4, 21));
    QCOMPARE(box->items.first().caption, QString("Item %1").arg(shown));
    QVERIFY(!box->moreUp.isEmpty());
    f.click(box->moreUp.center());
    QCOMPARE(f.box(QDate(2004, 4, 21))->items.first().caption, QStringLiteral("Item 0"));
    // "more" changes neither mode nor period.
    QCOMPARE(f.view.ViewMode(), vmMonth);
    QCOMPARE(f.view.VisibleDates().first(), QDate(2004, 4, 19));
}

void tst_schedView::eachViewNamesItsPeriodAndMarksToday_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("shownMonth"); // month view: the month whose days are not greyed
    const QString dash = QStringLiteral(" \u2013 ");
    QTest::newRow("month from the 1st") << int(vmMonth) << QDate(2004, 4, 1) << "April 2004" << 4;
    // Five weeks from 19 April hold more of May than of April: May is shown, April greyed.
    QTest::newRow("month from the 19th") << int(vmMonth) << QDate(2004, 4, 19) << "May 2004" << 5;
    QTest::newRow("week") << int(vmWeek) << QDate(2004, 4, 21) << "19" + dash + "25 April 2004" << 0;
    QTest::newRow("week across two months") << int(vmWeek) << QDate(2004, 4, 1) << "29 March" + dash + "4 April 2004" << 0;
    QTest::newRow("week across two years")
        << int(vmWeek) << QDate(2004, 12, 29) << "27 December 2004" + dash + "2 January 2005" << 0;
    QTest::newRow("working week") << int(vmWorkWeek) << QDate(2004, 4, 21) << "19" + dash + "23 April 2004" << 0;
    QTest::newRow("day") << int(vmDay) << QDate(2004, 4, 21) << "Wednesday 21 April 2004" << 0;
    QTest::newRow("today's week") << int(vmWeek) << QDate::currentDate() << QString() << 0;
}

void tst_schedView::eachViewNamesItsPeriodAndMarksToday()
{
    QFETCH(int, mode);
    QFETCH(QDate, start);
    QFETCH(QString, title);
    QFETCH(int, shownMonth);
    ViewFixture f;
    f.view.SetViewMode(TSchedViewMode(mode));
    f.view.SetStartDate(start);
    f.view.SetDayDate(start);
    const TSchedLayout& layout = f.view.Layout();
    if (!title.isEmpty())
        QCOMPARE(layout.options().title, title);
    QVERIFY(!layout.titleRect.isEmpty());
    QVERIFY(layout.titleRect.bottom() <= layout.area.top());
    for (const TSchedDayBox& box : layout.days) {
        QCOMPARE(box.today, box.date == QDate::currentDate());
        if (mode == vmMonth)
            QVERIFY2(box.dimmed == (box.date.month() != shownMonth), qPrintable(box.date.toString()));
    }
    // Today is drawn framed in its own colour.
    if (start == QDate::currentDate()) {
        const TSchedDayBox* today = f.box(start);
        QVERIFY(today);
        const QImage shot = f.view.viewport()->grab().toImage();
        const QColor edge = shot.pixelColor(today->rect.center().toPoint().x(), int(today->rect.bottom()) - 1);
        QVERIFY2(edge.red() > 200 && edge.blue() < 60, qPrintable(edge.name()));
    }
}

void tst_schedView::dayViewsScrollToTheFirstEntryOutOfSight_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QTime>("first");
    QTest::addColumn<int>("topMinute"); // the minute at the top of the rows
    QTest::newRow("day, entries at midnight (a date column)") << int(vmDay) << QTime(0, 0) << 0;
    QTest::newRow("day, entries before eight") << int(vmDay) << QTime(6, 40) << 6 * 60 + 30;
    QTest::newRow("day, entries within sight of eight") << int(vmDay) << QTime(10, 0) << 8 * 60;
    QTest::newRow("working week, entries late at night") << int(vmWorkWeek) << QTime(23, 0) << -1;
    QTest::newRow("day without entries") << int(vmDay) << QTime() << 8 * 60;
}

void tst_schedView::dayViewsScrollToTheFirstEntryOutOfSight()
{
    QFETCH(int, mode);
    QFETCH(QTime, first);
    QFETCH(int, topMinute);
    ViewFixture f;
    if (first.isValid()) {
        add(f.server, QDate(2004, 4, 21), first, "First");
        add(f.server, QDate(2004, 4, 22), first.addSecs(1800), "Later");
    }
    f.view.SetDayDate(QDate(2004, 4, 21));
    f.view.SetViewMode(TSchedViewMode(mode));
    const TSchedLayout& layout = f.view.Layout();
    if (topMinute >= 0)
        QCOMPARE(layout.minuteAt(layout.body.top()), topMinute);
    if (first.isValid()) {
        // The first entry is in sight.
        const TSchedDayBox* box = f.box(QDate(2004, 4, 21));
        QCOMPARE(box->items.size(), 1);
        QVERIFY(layout.body.contains(box->items[0].rect.topLeft()));
        QCOMPARE(box->hiddenAbove, 0);
    }
}

// 500 entries at one time: lanes keep a readable width, the rest is counted behind a
// "+N" whose hint names them, and shown plus counted is every entry of the day.
void tst_schedView::crowdedTimeKeepsLanesReadableAndCountsTheRest()
{
    ViewFixture f;
    const QDate day(2004, 4, 21);
    f.server.BeginUpdate();
    for (int i = 0; i < 500; ++i)
        add(f.server, day, QTime(9, 0), QString("Crowd %1").arg(i));
    add(f.server, day, QTime(23, 0), "Late");
    f.server.EndUpdate();
    f.view.SetDayDate(day);
    f.view.SetViewMode(vmDay);
    const TSchedDayBox* box = f.box(day);
    QVERIFY(box->items.size() > 1);
    const qreal least = QFontMetricsF(f.view.font()).averageCharWidth() * 8;
    for (const TSchedItemBox& item : box->items)
        QVERIFY2(item.rect.width() >= least - 1, qPrintable(QString::number(item.rect.width())));
    QCOMPARE(box->crowds.size(), 1);
    QCOMPARE(int(box->items.size()) + box->hiddenCount(), 501);
    QCOMPARE(box->hiddenBelow, 1); // "Late", below what shows
    const QRectF crowd = box->crowds[0].rect;
    QVERIFY(box->rect.contains(crowd));
    for (const TSchedItemBox& item : box->items)
        QVERIFY(!item.rect.intersects(crowd));
    const QString hint = f.view.HintAt(crowd.center().toPoint());
    QVERIFY2(hint.contains("9:00 Crowd"), qPrintable(hint));
    QVERIFY2(hint.endsWith(QString("+%1 more").arg(box->crowds[0].items.size() - 12)), qPrintable(hint));
}

void tst_schedView::hintNamesTheAppointment()
{
    ViewFixture f;
    add(f.server, QDate(2004, 4, 20), QTime(9, 30), "Dentist");
    const QPoint at = f.box(QDate(2004, 4, 20))->items[0].rect.center().toPoint();
    QVERIFY(f.view.HintAt(at).contains("Dentist"));
    QVERIFY(f.view.HintAt(at).contains("09:30"));
    QVERIFY(f.view.HintAt(f.box(QDate(2004, 4, 22))->body.center().toPoint()).isEmpty());
    QCOMPARE(f.view.HintMaxWidth(), 200);
}

void tst_schedView::scrollBarMovesWeekAndMonthByWeeks()
{
    ViewFixture f;
    f.view.SetViewMode(vmMonth);
    QScrollBar* bar = f.view.verticalScrollBar();
    bar->setValue(bar->value() + 2);
    QCOMPARE(f.view.VisibleDates().first(), QDate(2004, 5, 3));
    bar->setValue(bar->value() - 3);
    QCOMPARE(f.view.VisibleDates().first(), QDate(2004, 4, 12));
    QCOMPARE(f.view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

void tst_schedView::calendarArrowsMoveToFirstDayAndClick_data()
{
    QTest::addColumn<QString>("arrow");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("expected");
    QTest::newRow("next") << "qt_calendar_nextmonth" << QDate(2004, 4, 19) << QDate(2004, 5, 1);
    QTest::newRow("previous") << "qt_calendar_prevmonth" << QDate(2004, 4, 19) << QDate(2004, 3, 1);
    QTest::newRow("next across the year") << "qt_calendar_nextmonth" << QDate(2004, 12, 31) << QDate(2005, 1, 1);
}

void tst_schedView::calendarArrowsMoveToFirstDayAndClick()
{
    QFETCH(QString, arrow);
    QFETCH(QDate, from);
    QFETCH(QDate, expected);
    TSchedCalendar calendar;
    calendar.SetDate(from);
    calendar.show();
    QSignalSpy clicks(&calendar, &TSchedCalendar::Click);
    auto* button = calendar.findChild<QToolButton*>(arrow);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(calendar.Date(), expected);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(calendar.verticalHeaderFormat(), QCalendarWidget::ISOWeekNumbers);
    QVERIFY(calendar.horizontalHeaderFormat() != QCalendarWidget::NoHorizontalHeader);
}

void tst_schedView::calendarDayClickAndMonthPicker()
{
    TSchedCalendar calendar;
    calendar.SetDate(QDate(2004, 4, 1));
    calendar.resize(300, 250);
    calendar.show();
    QSignalSpy clicks(&calendar, &TSchedCalendar::Click);
    QCOMPARE(clicks.count(), 0); // setting the date in code fires nothing

    // The title's month button opens a picker of the twelve months.
    auto* title = calendar.findChild<QToolButton*>("qt_calendar_monthbutton");
    QVERIFY(title && title->menu());
    QCOMPARE(title->menu()->actions().size(), 12);
    title->menu()->actions().at(6)->trigger(); // July
    QCOMPARE(calendar.Date(), QDate(2004, 7, 1));
    QCOMPARE(clicks.count(), 1);

    // A click on a day of the grid.
    auto* table = calendar.findChild<QAbstractItemView*>("qt_calendar_calendarview");
    QVERIFY(table);
    const QModelIndex cell = table->model()->index(3, 4); // fourth row, a mid-month day
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(calendar.Date().month(), 7);
    QVERIFY(calendar.Date().day() > 1);
}

void tst_schedView::calendarYearTypedWithEnterStaysInTheCalendar()
{
    QDialog window;
    auto* layout = new QVBoxLayout(&window);
    auto* calendar = new TSchedCalendar(&window);
    calendar->SetDate(QDate(2004, 4, 19));
    auto* button = new QPushButton("Save", &window);
    button->setDefault(true);
    layout->addWidget(calendar);
    layout->addWidget(button);
    window.show();
    QSignalSpy pressed(button, &QPushButton::clicked);
    QSignalSpy clicks(calendar, &TSchedCalendar::Click);
    auto* title = calendar->findChild<QToolButton*>("qt_calendar_yearbutton");
    QVERIFY(title);
    title->click();
    auto* year = calendar->findChild<QSpinBox*>("qt_calendar_yearedit");
    QVERIFY(year && year->isVisible());
    year->selectAll();
    QTest::keyClicks(year, "2021");
    QTest::keyClick(year, Qt::Key_Return);
    QCOMPARE(pressed.count(), 0);
    QCOMPARE(calendar->Date(), QDate(2021, 4, 1));
    QCOMPARE(clicks.count(), 1);
}

void tst_schedView::previewZoomRules()
{
    ScriptedDialogs dialogs;
    TPreviewForm preview;
    QCOMPARE(preview.windowTitle(), QStringLiteral("PreviewForm"));
    QCOMPARE(preview.size(), QSize(706, 480));
    QCOMPARE(preview.cbZoom->currentText(), QStringLiteral("100%"));
    QCOMPARE(preview.cbZoom->count(), 10);
    // Print shows a printer (the theme's, or ours), not the floppy disk of Save.
    const QImage printIcon = preview.tbPrint->icon().pixmap(32).toImage();
    QVERIFY(!printIcon.isNull());
    QVERIFY(printIcon != preview.style()->standardIcon(QStyle::SP_DialogSaveButton).pixmap(32).toImage());
    if (!QIcon::hasThemeIcon("document-print"))
        QCOMPARE(printIcon, FallbackPrinterIcon().pixmap(32).toImage());
    TSchedServer server;
    TSchedDayViewPrint day; // a portrait page
    day.SetServer(&server);
    day.SetStartDate(QDate(2004, 4, 19));
    preview.SetPrintComponent(&day);
    preview.show();

    auto type = [&](const QString& text) {
        preview.cbZoom->lineEdit()->setText(text);
        QTest::keyClick(preview.cbZoom->lineEdit(), Qt::Key_Return);
    };
    preview.cbZoom->setCurrentIndex(1);
    emit preview.cbZoom->activated(1); // "200%" chosen from the list
    QVERIFY(!preview.FitMode());
    QCOMPARE(preview.ScalePercent(), 200);

    type("130%");
    QCOMPARE(preview.ScalePercent(), 130);
    type("75");
    QCOMPARE(preview.ScalePercent(), 75);

    type("Whole Page");
    QVERIFY(preview.FitMode());
    const int whole = preview.ScalePercent();
    QCOMPARE(preview.cbZoom->currentText(), QString::number(whole) + "%");
    type("Page Width");
    QVERIFY(preview.ScalePercent() > whole); // a portrait page is taller than wide
    QCOMPARE(preview.cbZoom->currentText(), QString::number(preview.ScalePercent()) + "%");

    // Fit follows the window's size.
    const int wide = preview.ScalePercent();
    preview.resize(1200, 600);
    QApplication::processEvents();
    QVERIFY(preview.ScalePercent() > wide);
    QCOMPARE(preview.cbZoom->currentText(), QString::number(preview.ScalePercent()) + "%");

    type("50%");
    QVERIFY(dialogs.shown().isEmpty());
    type("abc");
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().kind, dialogs::Kind::Error);
    QCOMPARE(dialogs.last().text, QStringLiteral("'abc' is not a valid integer value."));
    QCOMPARE(preview.ScalePercent(), 50);
    QVERIFY(!preview.FitMode());
}

void tst_schedView::previewClickWritesScaleAndCloseHides()
{
    TPreviewForm preview;
    TSchedServer server;
    TSchedWeekViewPrint week;
    week.SetServer(&server);
    week.SetStartDate(QDate(2004, 4, 19));
    preview.SetPrintComponent(&week);
    preview.show();
    preview.cbZoomApply("Whole Page");
    preview.cbZoom->setEditText("nothing yet");
    auto* view = preview.SchedPreview->findChild<QGraphicsView*>();
    QVERIFY(view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->viewport()->rect().center());
    QCOMPARE(preview.cbZoom->currentText(), QString::number(preview.ScalePercent()) + "%");
    QCOMPARE(preview.SchedPreview->pageCount(), 1);
    preview.tbMagnifier->click();
    QVERIFY(preview.tbMagnifier->isChecked());
    QTest::mouseClick(preview.btClose, Qt::LeftButton);
    QVERIFY(!preview.isVisible());
}

void tst_schedView::previewSurvivesItsWindowAndShowsNothing()
{
    TPreviewForm preview;
    TSchedServer server;
    auto* window = new QDialog;
    auto* month = new TSchedMonthViewPrint(window);
    month->SetServer(&server);
    month->SetStartDate(QDate(2004, 4, 1));
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    preview.SetPrintComponent(month);
    preview.Present(window);
    QVERIFY(preview.isVisible());
    QCOMPARE(preview.SchedPreview->pageCount(), 1);
    auto darkPixels = [&]() {
        const QImage shot = preview.SchedPreview->grab().toImage();
        int dark = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                dark += qGray(shot.pixel(x, y)) < 80;
        return dark;
    };
    QVERIFY(darkPixels() > 500); // the month's grid and texts
    // Shown over the modal window: it is a window of it, hence usable.
    QCOMPARE(preview.parentWidget(), window);
    QVERIFY(preview.isWindow());

    delete window; // destroys the print component with it
    QVERIFY(!preview.PrintComponent());
    QVERIFY(!preview.parentWidget());
    QVERIFY(preview.isVisible());
    QVERIFY(darkPixels() < 100); // an empty page
}

QTEST_MAIN(tst_schedView)
#include "tst_schedView.moc"
