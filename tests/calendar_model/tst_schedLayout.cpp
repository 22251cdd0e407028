#include "uSchedLayout.h"
#include "uSchedPage.h"
#include "uSchedPainter.h"
#include "uSchedText.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

TSchedItemRec rec(QDate date, QTime time, qint64 msecs, const QString& caption)
{
    TSchedItemRec r;
    r.Start = SchedTimeFromDate(date, time);
    r.Finish = r.Start + msecs;
    r.Caption = caption;
    return r;
}

const QLocale kMonday(QLocale::English, QLocale::UnitedKingdom);
const QLocale kSunday(QLocale::English, QLocale::UnitedStates);

TSchedLayoutOptions options(TSchedLayoutKind kind, const QList<QDate>& days)
{
    TSchedLayoutOptions o;
    o.kind = kind;
    o.days = days;
    o.locale = kMonday;
    o.itemFont = QFont(QStringLiteral("DejaVu Sans"), 9);
    o.headerFont = o.itemFont;
    o.timeFont = o.itemFont;
    return o;
}

const TSchedDayBox* boxOf(const TSchedLayout& layout, QDate date)
{
    for (const TSchedDayBox& b : layout.days)
        if (b.date == date)
            return &b;
    return nullptr;
}

} // namespace

class tst_schedLayout : public QObject
{
    Q_OBJECT
private slots:
    void periodOfEachModeFollowsTheLocalesFirstDay_data();
    void periodOfEachModeFollowsTheLocalesFirstDay();
    void zoomTextsReadAsEntriesOrWholeNumbers_data();
    void zoomTextsReadAsEntriesOrWholeNumbers();
    void timeGridShowsAnAppointmentPastMidnightOnBothDays();
    void timeGridPutsOverlappingAppointmentsSideBySide();
    void timeGridCountsWhatLiesOutsideThePrintedHours();
    void cellsListOnlyWhatFitsAndOfferMore();
    void monthPageSharesOneCellForSaturdayAndSunday_data();
    void monthPageSharesOneCellForSaturdayAndSunday();
    void pageTextsNameThePeriod_data();
    void pageTextsNameThePeriod();
    void hintIsWrappedOnlyWhenWiderThanItsLimit();
    void entriesShowAShortTimeOrNone_data();
    void entriesShowAShortTimeOrNone();
    void painterDrawsCaptionsIntoAnyDevice();
};

void tst_schedLayout::periodOfEachModeFollowsTheLocalesFirstDay_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("firstDay");
    QTest::addColumn<QDate>("focus");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<int>("count");
    const QDate sunday(2004, 4, 18);
    const QDate monday(2004, 4, 19);
    QTest::newRow("day") << int(vmDay) << int(Qt::Monday) << sunday << sunday << sunday << 1;
    QTest::newRow("working week, Monday locale, focus on Sunday")
        << int(vmWorkWeek) << int(Qt::Monday) << sunday << QDate(2004, 4, 12) << QDate(2004, 4, 16) << 5;
    QTest::newRow("working week, Sunday locale, focus on Sunday")
        << int(vmWorkWeek) << int(Qt::Sunday) << sunday << monday << QDate(2004, 4, 23) << 5;
    QTest::newRow("week, Monday locale") << int(vmWeek) << int(Qt::Monday) << QDate(2004, 4, 22) << monday
                                         << QDate(2004, 4, 25) << 7;
    QTest::newRow("week, Sunday locale") << int(vmWeek) << int(Qt::Sunday) << QDate(2004, 4, 22) << sunday
                                         << QDate(2004, 4, 24) << 7;
    QTest::newRow("month, Monday locale, 1 April 2004 (a Thursday)")
        << int(vmMonth) << int(Qt::Monday) << QDate(2004, 4, 1) << QDate(2004, 3, 29) << QDate(2004, 5, 2) << 35;
    QTest::newRow("month, Sunday locale") << int(vmMonth) << int(Qt::Sunday) << QDate(2004, 4, 1)
                                          << QDate(2004, 3, 28) << QDate(2004, 5, 1) << 35;
    QTest::newRow("month across a year") << int(vmMonth) << int(Qt::Monday) << QDate(2004, 12, 1)
                                         << QDate(2004, 11, 29) << QDate(2005, 1, 2) << 35;
}

void tst_schedLayout::periodOfEachModeFollowsTheLocalesFirstDay()
{
    QFETCH(int, mode);
    QFETCH(int, firstDay);
    QFETCH(QDate, focus);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(int, count);
    const QList<QDate> days = SchedPeriodDays(TSchedViewMode(mode), focus, Qt::DayOfWeek(firstDay));
    QCOMPARE(days.size(), count);
    QCOMPARE(days.first(), first);
    QCOMPARE(days.last(), last);
    if (mode == vmWorkWeek)
        for (const QDate& d : days)
            QVERIFY(d.dayOfWeek() <= Qt::Friday);
}

void tst_schedLayout::zoomTextsReadAsEntriesOrWholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("error");
    QTest::newRow("an entry") << "75%" << int(TSchedZoomChoice::Scale) << 75 << "";
    QTest::newRow("typed without %") << "130" << int(TSchedZoomChoice::Scale) << 130 << "";
    QTest::newRow("Page Width") << "Page Width" << int(TSchedZoomChoice::PageWidth) << 0 << "";
    QTest::newRow("Whole Page") << "Whole Page" << int(TSchedZoomChoice::WholePage) << 0 << "";
    QTest::newRow("entries match case-sensitively")
        << "page width" << int(TSchedZoomChoice::Invalid) << 0 << "'page width' is not a valid integer value";
    QTest::newRow("no integer") << "abc%" << int(TSchedZoomChoice::Invalid) << 0
                                << "'abc' is not a valid integer value";
    QTest::newRow("a fraction") << "12.5%" << int(TSchedZoomChoice::Invalid) << 0
                                << "'12.5' is not a valid integer value";
    QTest::newRow("nothing") << "%" << int(TSchedZoomChoice::Invalid) << 0 << "'' is not a valid integer value";
    QTest::newRow("no size at all") << "0%" << int(TSchedZoomChoice::Invalid) << 0 << "'0' is not a valid scale";
}

void tst_schedLayout::zoomTextsReadAsEntriesOrWholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(int, percent);
    QFETCH(QString, error);
    const TSchedZoomChoice choice = SchedParseZoom(text);
    QCOMPARE(int(choice.kind), kind);
    QCOMPARE(choice.percent, percent);
    QCOMPARE(choice.error, error);
}

void tst_schedLayout::timeGridShowsAnAppointmentPastMidnightOnBothDays()
{
    TSchedServer s;
    s.Add(rec(QDate(2004, 4, 19), QTime(23, 50), 864'000, "Late"));
    TSchedLayout layout;
    layout.Build(&s, QRectF(0, 0, 600, 2000),
                 options(TSchedLayoutKind::TimeGrid, {QDate(2004, 4, 19), QDate(2004, 4, 20)}));
    for (const TSchedDayBox& box : layout.days) {
        QCOMPARE(box.items.size(), 1);
        QCOMPARE(box.items[0].caption, QStringLiteral("Late"));
        QVERIFY(box.rect.contains(box.items[0].rect.center()));
    }
    // Placed at 23:50 on the first day, at the top of the second.
    QVERIFY(layout.days[0].items[0].rect.top() > layout.yOfMinute(23 * 60 + 30));
    QCOMPARE(layout.days[1].items[0].rect.top(), layout.yOfMinute(0));
    QCOMPARE(layout.days[1].items[0].time, QStringLiteral("..."));
}

void tst_schedLayout::timeGridPutsOverlappingAppointmentsSideBySide()
{
    TSchedServer s;
    const QDate d(2004, 4, 19);
    s.Add(rec(d, QTime(9, 0), 864'000, "A"));
    s.Add(rec(d, QTime(9, 0), 864'000, "B")); // same time: two appointments
    s.Add(rec(d, QTime(9, 5), 864'000, "C"));
    s.Add(rec(d, QTime(14, 0), 864'000, "D"));
    TSchedLayout layout;
    layout.Build(&s, QRectF(0, 0, 500, 1200), options(TSchedLayoutKind::TimeGrid, {d}));
    const QList<TSchedItemBox>& items = layout.days[0].items;
    QCOMPARE(items.size(), 4);
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            QVERIFY2(!items[i].rect.intersects(items[j].rect), qPrintable(items[i].caption + items[j].caption));
    // Alone in its hour, D takes the column's width.
    QVERIFY(items[3].rect.width() > 2.5 * items[0].rect.width());
}

void tst_schedLayout::timeGridCountsWhatLiesOutsideThePrintedHours()
{
    TSchedServer s;
    const QDate d(2004, 4, 19);
    s.Add(rec(d, QTime(0, 0), 864'000, "midnight"));
    s.Add(rec(d, QTime(7, 0), 864'000, "early"));
    s.Add(rec(d, QTime(8, 0), 864'000, "first"));
    s.Add(rec(d, QTime(17, 50), 864'000, "last"));
    s.Add(rec(d, QTime(18, 0), 864'000, "late"));
    TSchedLayoutOptions o = options(TSchedLayoutKind::TimeGrid, {d});
    o.topMinute = 8 * 60;
    o.endMinute = 18 * 60;
    TSchedLayout layout;
    layout.Build(&s, QRectF(0, 0, 500, 800), o);
    const TSchedDayBox& box = layout.days[0];
    QStringList shown;
    for (const TSchedItemBox& i : box.items)
        shown << i.caption;
    QCOMPARE(shown, (QStringList{"first", "last"}));
    QCOMPARE(box.hiddenAbove, 2);
    QCOMPARE(box.hiddenBelow, 1);
    QVERIFY(!box.moreUp.isEmpty() && !box.moreDown.isEmpty());
    QCOMPARE(layout.rows.size(), 20);
    QCOMPARE(layout.rows.first().minute, 8 * 60);
}

void tst_schedLayout::cellsListOnlyWhatFitsAndOfferMore()
{
    TSchedServer s;
    const QDate d(2004, 4, 21);
    s.BeginUpdate();
    for (int i = 0; i < 5000; ++i)
        s.Add(rec(d, QTime(8, 0).addSecs(i), 864'000, QString::number(i)));
    s.EndUpdate();
    TSchedLayoutOptions o = options(TSchedLayoutKind::MonthCells, SchedPeriodDays(vmMonth, d, Qt::Monday));
    TSchedLayout layout;
    layout.Build(&s, QRectF(0, 0, 700, 500), o);
    const TSchedDayBox* box = boxOf(layout, d);
    QVERIFY(box);
    QVERIFY(box->items.size() > 0 && box->items.size() < 10);
    QCOMPARE(box->hiddenAbove, 0);
    QCOMPARE(box->hiddenBelow, 5000 - int(box->items.size()));
    QVERIFY(!box->moreDown.isEmpty());
    QVERIFY(box->moreUp.isEmpty());
    for (const TSchedItemBox& item : box->items)
        QVERIFY(box->rect.contains(item.rect));

    // Scrolled by its "more" button: the list goes on where it stopped.
    const int shown = int(box->items.size());
    o.firstShown[SchedDayFromDate(d)] = shown;
    layout.Build(&s, QRectF(0, 0, 700, 500), o);
    box = boxOf(layout, d);
    QCOMPARE(box->items.first().caption, QString::number(shown));
    QCOMPARE(box->hiddenAbove, shown);
    QVERIFY(!box->moreUp.isEmpty());
    // The other days hold nothing and list nothing.
    QCOMPARE(boxOf(layout, d.addDays(1))->items.size(), 0);
}

void tst_schedLayout::monthPageSharesOneCellForSaturdayAndSunday_data()
{
    QTest::addColumn<int>("firstDay");
    QTest::newRow("weeks from Monday") << int(Qt::Monday);
    QTest::newRow("weeks from Sunday") << int(Qt::Sunday);
}

void tst_schedLayout::monthPageSharesOneCellForSaturdayAndSunday()
{
    QFETCH(int, firstDay);
    TSchedLayoutOptions o =
        options(TSchedLayoutKind::MonthCells, SchedPeriodDays(vmMonth, QDate(2004, 4, 1), Qt::DayOfWeek(firstDay)));
    o.shareWeekend = true;
    TSchedLayout layout;
    layout.Build(nullptr, QRectF(0, 0, 900, 600), o);
    QCOMPARE(layout.days.size(), 35);
    QCOMPARE(layout.titles.size(), 6);
    for (int w = 0; w < 5; ++w) {
        QList<const TSchedDayBox*> weekend;
        for (int k = 0; k < 7; ++k)
            if (layout.days[w * 7 + k].date.dayOfWeek() >= Qt::Saturday)
                weekend << &layout.days[w * 7 + k];
        QCOMPARE(weekend.size(), 2);
        QCOMPARE(weekend[0]->rect.left(), weekend[1]->rect.left());
        QCOMPARE(weekend[0]->rect.height(), weekend[1]->rect.height());
        QCOMPARE(weekend[0]->rect.bottom(), weekend[1]->rect.top());
        QVERIFY(weekend[0]->date < weekend[1]->date);
        QCOMPARE(weekend[0]->rect.right(), 900.0);
    }
}

void tst_schedLayout::pageTextsNameThePeriod_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("header");
    QTest::newRow("day") << int(TSchedPageKind::Day) << "Wednesday 21 April 2004" << "21 April 2004  08:00 - 18:00";
    QTest::newRow("week") << int(TSchedPageKind::Week) << "19 April 2004 - 25 April 2004" << "Week 17";
    QTest::newRow("month") << int(TSchedPageKind::Month) << "April 2004" << "19 April 2004 - 23 May 2004";
}

void tst_schedLayout::pageTextsNameThePeriod()
{
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, header);
    TSchedPageSpec spec;
    spec.kind = TSchedPageKind(kind);
    spec.start = QDate(2004, 4, 21);
    spec.locale = kMonday;
    const TSchedPageTexts texts = SchedPageTexts(spec);
    QCOMPARE(texts.title, title);
    QCOMPARE(texts.header, header);
}

void tst_schedLayout::hintIsWrappedOnlyWhenWiderThanItsLimit()
{
    TSchedServer s;
    auto item = [&](const QString& caption) { return s.Add(rec(QDate(2004, 4, 19), QTime(9, 0), 864'000, caption)); };
    const QFont font(QStringLiteral("DejaVu Sans"), 9);
    const QString plain = SchedHintText(item(QStringLiteral("Short")), kMonday, font, 200);
    QVERIFY(plain.contains("Short"));
    QVERIFY(!plain.contains("<table"));
    const QString wrapped = SchedHintText(item(QString("Long words ").repeated(20)), kMonday, font, 200);
    QVERIFY(wrapped.startsWith("<table width=\"200\">"));
    QVERIFY(SchedHintText(item(QStringLiteral("<b>not markup</b> and then a long tail that needs wrapping for sure")),
                          kMonday, font, 200)
                .contains("&lt;b&gt;"));
}

void tst_schedLayout::entriesShowAShortTimeOrNone_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("dateOnly");
    QTest::addColumn<int>("dayAfter"); // shown on a later day than its start
    QTest::addColumn<QString>("shown");
    QTest::newRow("24 hours, no leading zero, no seconds") << kMonday << QTime(9, 30, 15) << false << 0 << "9:30";
    QTest::newRow("12 hours") << kSunday << QTime(21, 5) << false << 0 << "9:05 PM";
    QTest::newRow("midnight of a date-time") << kMonday << QTime(0, 0) << false << 0 << "0:00";
    QTest::newRow("midnight of a date alone") << kMonday << QTime(0, 0) << true << 0 << "";
    QTest::newRow("carried to the next day") << kMonday << QTime(23, 50) << false << 1 << "...";
}

void tst_schedLayout::entriesShowAShortTimeOrNone()
{
    QFETCH(QLocale, locale);
    QFETCH(QTime, time);
    QFETCH(bool, dateOnly);
    QFETCH(int, dayAfter);
    QFETCH(QString, shown);
    TSchedServer s;
    TSchedItemRec r = rec(QDate(2004, 4, 19), time, 864'000, "Entry");
    r.DateOnly = dateOnly;
    s.Add(r);
    TSchedLayoutOptions o = options(TSchedLayoutKind::WeekCells, SchedPeriodDays(vmWeek, QDate(2004, 4, 19), Qt::Monday));
    o.locale = locale;
    TSchedLayout layout;
    layout.Build(&s, QRectF(0, 0, 800, 600), o);
    const TSchedDayBox* box = boxOf(layout, QDate(2004, 4, 19).addDays(dayAfter));
    QCOMPARE(box->items.size(), 1);
    QCOMPARE(box->items[0].time.toUpper(), shown.toUpper());
    QCOMPARE(box->items[0].caption, QStringLiteral("Entry"));
}

void tst_schedLayout::painterDrawsCaptionsIntoAnyDevice()
{
    // The same layout drawn into an image: something is drawn where the appointment is.
    TSchedServer s;
    s.Add(rec(QDate(2004, 4, 21), QTime(10, 0), 3'600'000, "Meeting"));
    TSchedLayout layout;
    QImage image(700, 500, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    TSchedLayoutOptions o = options(TSchedLayoutKind::WeekCells, SchedPeriodDays(vmWeek, QDate(2004, 4, 21), Qt::Monday));
    o.device = &image;
    layout.Build(&s, QRectF(image.rect()), o);
    QPainter p(&image);
    SchedPaint(p, layout);
    p.end();
    const TSchedDayBox* box = boxOf(layout, QDate(2004, 4, 21));
    QCOMPARE(box->items.size(), 1);
    const QRect r = box->items[0].rect.toAlignedRect();
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                ++dark;
    QVERIFY2(dark > 20, "no text in the appointment's line");
    QVERIFY(image.pixel(5, 5) != QColor(Qt::magenta).rgb());
}

QTEST_MAIN(tst_schedLayout)
#include "tst_schedLayout.moc"
