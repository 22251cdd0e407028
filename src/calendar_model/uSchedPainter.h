#pragma once

#include "uSchedLayout.h"

#include <memory>

class QPainter;

// What the painter shows besides the layout: the selection, only while it is shown.
struct TSchedPaintState
{
    bool showSelection = false;
    quint64 selectedItem = 0; // appointment Id, 0: none
    QDate selectedDate;       // a selected day (cells) or day column (time grid)
    int rangeFrom = -1;       // time grid: selected minutes [rangeFrom, rangeTo) of selectedDate
    int rangeTo = -1;
};

// Draws a laid-out period into any painter: the view's viewport and the printed page.
// The base draws what every kind shares (day frames, appointments, "more" buttons); one
// subclass per layout kind draws what lies around them and how an appointment looks.
class TSchedPainter
{
public:
    TSchedPainter(const TSchedLayout& layout, const TSchedPaintState& state) : m_layout(layout), m_state(state) {}
    virtual ~TSchedPainter() = default;
    TSchedPainter(const TSchedPainter&) = delete;
    TSchedPainter& operator=(const TSchedPainter&) = delete;

    // The painter for the layout's kind.
    static std::unique_ptr<TSchedPainter> For(const TSchedLayout& layout, const TSchedPaintState& state);

    void Paint(QPainter& p) const;

protected:
    // Behind the days: the time grid's rows and ruler.
    virtual void paintBackground(QPainter&) const {}
    // A day's cell or column and its title strip.
    virtual void paintDayFrame(QPainter& p, const TSchedDayBox& box) const = 0;
    // Where a day's appointments are clipped to.
    virtual QRectF itemClip(const TSchedDayBox& box) const { return box.body.intersected(box.rect); }
    virtual void paintItem(QPainter& p, const TSchedItemBox& item, bool selected) const = 0;
    // Above the days: the month's day names.
    virtual void paintForeground(QPainter&) const {}

    void paintMore(QPainter& p, const QRectF& r, bool up, int count, bool arrow = true) const;
    void paintTitle(QPainter& p) const;
    void paintToday(QPainter& p, const TSchedDayBox& box) const;
    // A day frame's title strip and border, its title in the given alignment.
    void paintTitleStrip(QPainter& p, const TSchedDayBox& box, const QColor& fill, Qt::Alignment align) const;
    bool selectedDay(const TSchedDayBox& box) const;

    const TSchedLayout& m_layout;
    const TSchedPaintState& m_state;
};

// Day columns in rows of time: shaded working hours, a ruler, appointments as boxes.
class TSchedTimeGridPainter : public TSchedPainter
{
public:
    using TSchedPainter::TSchedPainter;

protected:
    void paintBackground(QPainter& p) const override;
    void paintDayFrame(QPainter& p, const TSchedDayBox& box) const override;
    QRectF itemClip(const TSchedDayBox& box) const override;
    void paintItem(QPainter& p, const TSchedItemBox& item, bool selected) const override;
};

// Day cells listing their appointments one line each (the week).
class TSchedCellsPainter : public TSchedPainter
{
public:
    using TSchedPainter::TSchedPainter;

protected:
    void paintDayFrame(QPainter& p, const TSchedDayBox& box) const override;
    void paintItem(QPainter& p, const TSchedItemBox& item, bool selected) const override;
};

// The month: cells as the week's, under a row of day names.
class TSchedMonthPainter : public TSchedCellsPainter
{
public:
    using TSchedCellsPainter::TSchedCellsPainter;

protected:
    void paintForeground(QPainter& p) const override;
};

// Draws a laid-out period with the painter of its kind.
void SchedPaint(QPainter& painter, const TSchedLayout& layout, const TSchedPaintState& state = {});
