#pragma once

#include "uSchedLayout.h"

#include <QAbstractScrollArea>
#include <QDate>
#include <QFont>
#include <QHash>
#include <QPointer>

// The day/week/month view over an appointment store. Read-only: appointments can be
// selected and hinted, never created, moved or edited.
//
// Dates: the start date positions the week and month views (each shows the week that
// holds it first); the date in focus is the day the day view shows (and whose week the
// working week shows), and a change of mode shows the new mode's period around it. The
// week begins on the first day of the week of the widget's locale. The vertical scroll
// bar moves the day view through the hours and the week and month views by weeks.
class TSchedAllView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit TSchedAllView(QWidget* parent = nullptr);
    ~TSchedAllView() override;

    // Not owned; the view follows the store's changes.
    void SetServer(TSchedServer* server);
    TSchedServer* Server() const { return m_server; }

    void SetViewMode(TSchedViewMode mode);
    TSchedViewMode ViewMode() const { return m_mode; }

    // Positions the week and month views; also becomes the date in focus.
    void SetStartDate(QDate date);
    QDate StartDate() const { return m_start; }
    // The date of the day view's first column; becomes the date in focus.
    void SetDayDate(QDate date);
    QDate FocusDate() const { return m_focus; }

    // The day view's columns (one day, or Monday to Friday), whatever mode shows.
    QList<QDate> DayColumnDates() const;
    // For each day column, whether it is marked as selected.
    QList<bool> DayColumnsSelected() const;
    // The start of the day view's selected time range; 0 when nothing is selected.
    TSchedTime SelectionStart() const;
    // The selected appointment, or null.
    const TSchedItem* SelectedItem() const;
    // The days the current mode shows, in order.
    QList<QDate> VisibleDates() const;
    Qt::DayOfWeek FirstDayOfWeek() const;

    void SetTimeFont(const QFont& font);
    // Hints are wrapped at this width in pixels.
    void SetHintMaxWidth(int pixels) { m_hintWidth = pixels; }
    int HintMaxWidth() const { return m_hintWidth; }
    // Day modes: scrolls so that this minute of the day is at the top.
    void ScrollToMinute(int minute);
    // The minute of the day of the first appointment in the day columns; -1 for none.
    int FirstEntryMinute() const;

    // The current layout of the viewport (laid out on demand), for hit tests and tests.
    const TSchedLayout& Layout() const;
    // The hint shown for the point of the viewport; empty where no appointment is.
    QString HintAt(const QPoint& viewportPos) const;

signals:
    void ViewModeChanged(TSchedViewMode mode);
    void SelectionChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void storeChanged(const TSchedChange& change);
    void invalidate();
    void updateScrollBar();
    bool timeGrid() const { return m_mode == vmDay || m_mode == vmWorkWeek; }
    TSchedLayoutOptions layoutOptions() const;
    qreal dayRowHeight() const;
    qreal titlesHeight() const;
    int visibleMinutes() const;
    void showEntries();
    void clearSelection();

    QPointer<TSchedServer> m_server;
    TSchedViewMode m_mode = vmWeek;
    QDate m_start;
    QDate m_focus;
    QFont m_timeFont;
    int m_hintWidth = 200;
    // Selection.
    quint64 m_selectedId = 0;
    QDate m_selectedDate;
    int m_rangeFrom = -1;
    int m_rangeTo = -1;
    int m_rangeAnchor = -1;
    // Cells scrolled by their "more" buttons, per day number.
    QHash<int, int> m_firstShown;
    // Week and month modes: the scroll bar's value for m_start.
    int m_weekValue = 0;
    bool m_settingScroll = false;
    mutable TSchedLayout m_layout;
    mutable bool m_layoutValid = false;
    mutable quint64 m_layoutRevision = 0;
};
