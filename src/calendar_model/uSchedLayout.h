#pragma once

#include "uSchedPeriod.h"
#include "uSchedServer.h"

#include <QDate>
#include <QFont>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QRectF>
#include <QString>

class QFontMetricsF;
class QPaintDevice;

// Geometry of one period of the calendar, the same for the screen view and the printed
// page: the view lays out its viewport, a print component its page. Only what falls
// inside the area is laid out, so thousands of appointments cost the few that show.
// Drawing is uSchedPainter's, the printed page's frame uSchedPage's.

enum class TSchedLayoutKind
{
    TimeGrid,   // day columns in rows of time (day and working-week modes, day print)
    WeekCells,  // seven day cells in two columns (week mode, week print)
    MonthCells, // weeks as rows of day cells (month mode, month print)
};

struct TSchedLayoutOptions
{
    TSchedLayoutKind kind = TSchedLayoutKind::TimeGrid;
    QList<QDate> days; // columns or cells, in order
    QLocale locale;
    QFont itemFont;
    QFont headerFont;
    QFont timeFont;
    // Font metrics and pixel sizes are those of this device (null: the screen).
    const QPaintDevice* device = nullptr;
    // Time grid: rows of slotMinutes from topMinute to endMinute; working hours shaded.
    int slotMinutes = 30;
    int topMinute = 0;
    int endMinute = 24 * 60;
    int workFrom = 8 * 60;
    int workTo = 17 * 60;
    qreal rowHeight = 0; // 0: the rows share the area's height
    qreal scrollY = 0;   // pixels of the rows scrolled above the visible area
    // Month cells: Saturday and Sunday share one cell, split in two.
    bool shareWeekend = false;
    // Month cells: days outside this month (1..12) are dimmed; 0 dims none.
    int month = 0;
    // The day marked as today; invalid marks none (paper has no today).
    QDate today;
    // The period's title in a strip above it; empty: no strip.
    QString title;
    // Laid out for paper: nothing scrolls, so "more" buttons become "+N more" notes.
    bool paper = false;
    // Cells: the index of the first appointment listed, per day number (scrolled by "more").
    QHash<int, int> firstShown;
};

struct TSchedItemBox
{
    const TSchedItem* item = nullptr;
    QRectF rect;
    QString time;    // short start time; "..." when it began on an earlier day; empty for a date alone
    QString caption; // as given; drawing elides it
};

// Time grid: appointments of a cluster that found no lane of the least width, counted
// behind a "+N" where the cluster begins.
struct TSchedCrowd
{
    QRectF rect;
    QList<const TSchedItem*> items;
};

struct TSchedDayBox
{
    QDate date;
    QRectF rect;   // the whole cell or column
    QRectF header; // its title strip
    QString title;
    QRectF body; // where its appointments are listed or placed
    QList<TSchedItemBox> items;
    int first = 0;       // cells: index of the first appointment listed
    int hiddenAbove = 0; // appointments above what shows (scrolled or before the time range)
    int hiddenBelow = 0;
    QRectF moreUp; // the "more" buttons; empty when not needed
    QRectF moreDown;
    QList<TSchedCrowd> crowds; // time grid
    bool dimmed = false;
    bool today = false;

    // Every appointment of the day that does not show: above, below and crowded out.
    int hiddenCount() const;
};

struct TSchedTimeRow
{
    QRectF rect; // across ruler and columns
    int minute = 0;
    bool working = false;
};

struct TSchedHit
{
    enum Kind
    {
        None,
        Item,
        DayTitle,
        Slot, // time grid: a row of a day column
        Cell, // cells: the free part of a day cell
        MoreUp,
        MoreDown,
        Crowd // a "+N" of appointments crowded out of a time grid's lanes
    };
    Kind kind = None;
    int dayIndex = -1;
    const TSchedItem* item = nullptr;
    int minute = -1; // Slot: the row's first minute
    int crowd = -1;  // Crowd: its index in the day's crowds
};

class TSchedLayout
{
public:
    void Build(const TSchedServer* server, const QRectF& area, const TSchedLayoutOptions& options);

    const TSchedLayoutOptions& options() const { return m_options; }
    TSchedHit HitTest(const QPointF& point) const;
    // Time grid: the y of a minute of the day (scrolled), and the minute at a y.
    qreal yOfMinute(qreal minute) const;
    int minuteAt(qreal y) const;
    // The height of the period's title strip in a font.
    static qreal TitleHeight(const QFont& headerFont);
    static QFont TitleFont(const QFont& headerFont);

    QRectF titleRect; // the period's title, when one is given
    QRectF area;      // the period, below its title
    QRectF body;  // time grid: the scrolling part below the titles, right of the ruler
    QRectF ruler; // time grid: the time texts
    QList<QPair<QRectF, QString>> titles; // month cells: the names of the days above the columns
    QList<TSchedDayBox> days;
    QList<TSchedTimeRow> rows; // time grid: the visible rows
    qreal rowHeight = 0;
    qreal contentHeight = 0; // time grid: all rows
    qreal unit = 1;          // one screen pixel in device pixels (thin lines, margins)

private:
    void buildTimeGrid(const TSchedServer* server);
    void buildWeekCells(const TSchedServer* server);
    void buildMonthCells(const TSchedServer* server);
    void listItems(const TSchedServer* server, TSchedDayBox& box);
    QString timeText(const TSchedItem* item, QDate day) const;
    qreal moreWidth(const QFontMetricsF& fm, qreal button, int count) const;

    TSchedLayoutOptions m_options;
};
