#include "uSchedAllView.h"

#include "uSchedPainter.h"
#include "uSchedText.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <cmath>

namespace {
// Week and month views scroll by weeks within this many weeks either side of the
// start date last set; setting a start date centres the range again.
constexpr int kWeekRange = 520;
} // namespace

TSchedAllView::TSchedAllView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    m_timeFont = font();
    m_start = m_focus = QDate::currentDate();
    updateScrollBar();
}

TSchedAllView::~TSchedAllView() = default;

void TSchedAllView::SetServer(TSchedServer* server)
{
    if (m_server == server)
        return;
    if (m_server)
        disconnect(m_server, nullptr, this, nullptr);
    m_server = server;
    if (m_server)
        connect(m_server, &TSchedServer::Changed, this, &TSchedAllView::storeChanged);
    clearSelection();
    m_firstShown.clear();
    invalidate();
}

void TSchedAllView::SetViewMode(TSchedViewMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    // The new mode's period around the date in focus of the old one.
    m_start = m_focus;
    m_rangeFrom = m_rangeTo = m_rangeAnchor = -1;
    m_selectedId = 0;
    m_firstShown.clear();
    updateScrollBar();
    showEntries();
    invalidate();
    emit ViewModeChanged(mode);
}

void TSchedAllView::SetStartDate(QDate date)
{
    if (!date.isValid())
        return;
    m_start = m_focus = date;
    m_firstShown.clear();
    updateScrollBar();
    showEntries();
    invalidate();
}

void TSchedAllView::SetDayDate(QDate date)
{
    if (!date.isValid())
        return;
    m_focus = date;
    if (timeGrid()) {
        showEntries();
        invalidate();
    }
}

QList<QDate> TSchedAllView::DayColumnDates() const
{
    return SchedPeriodDays(m_mode == vmWorkWeek ? vmWorkWeek : vmDay, m_focus, FirstDayOfWeek());
}

QList<bool> TSchedAllView::DayColumnsSelected() const
{
    QList<bool> marks;
    for (const QDate& d : DayColumnDates())
        marks << (timeGrid() && d == m_selectedDate);
    return marks;
}

TSchedTime TSchedAllView::SelectionStart() const
{
    if (!timeGrid() || m_rangeFrom < 0 || !m_selectedDate.isValid() || !DayColumnDates().contains(m_selectedDate))
        return 0;
    return SchedTimeFromDate(m_selectedDate) + qint64(m_rangeFrom) * kSchedMsecsPerMinute;
}

const TSchedItem* TSchedAllView::SelectedItem() const
{
    if (!m_selectedId || !m_server)
        return nullptr;
    const TSchedLayout& layout = Layout();
    for (const TSchedDayBox& box : layout.days)
        for (const TSchedItemBox& item : box.items)
            if (item.item->Id == m_selectedId)
                return item.item;
    // Listed in a cell but scrolled out of it.
    if (m_selectedDate.isValid()) {
        const TSchedDayItems items = m_server->DayItems(m_selectedDate);
        for (qsizetype i = 0; i < items.size(); ++i)
            if (items.at(i)->Id == m_selectedId)
                return items.at(i);
    }
    return nullptr;
}

QList<QDate> TSchedAllView::VisibleDates() const
{
    if (timeGrid())
        return DayColumnDates();
    return SchedPeriodDays(m_mode, m_start, FirstDayOfWeek());
}

Qt::DayOfWeek TSchedAllView::FirstDayOfWeek() const
{
    return locale().firstDayOfWeek();
}

void TSchedAllView::SetTimeFont(const QFont& font)
{
    m_timeFont = font;
    updateScrollBar();
    invalidate();
}

qreal TSchedAllView::dayRowHeight() const
{
    return std::ceil(std::max(QFontMetricsF(m_timeFont).height(), QFontMetricsF(font()).height()) * 1.6);
}

void TSchedAllView::ScrollToMinute(int minute)
{
    if (!timeGrid())
        return;
    verticalScrollBar()->setValue(int(minute / 30.0 * dayRowHeight()));
}

int TSchedAllView::FirstEntryMinute() const
{
    if (!m_server)
        return -1;
    int first = -1;
    for (const QDate& date : DayColumnDates()) {
        const int day = SchedDayFromDate(date);
        const TSchedDayItems items = m_server->DayItems(day);
        if (items.empty())
            continue;
        // In order of start: the first one is the earliest (one carried from the day
        // before begins at midnight).
        const TSchedItem* item = items.at(0);
        const int minute = item->FirstDay() < day ? 0 : SchedMsecsOfDay(item->Start) / int(kSchedMsecsPerMinute);
        if (first < 0 || minute < first)
            first = minute;
    }
    return first;
}

int TSchedAllView::visibleMinutes() const
{
    const qreal visible = viewport()->height() - titlesHeight();
    return int(std::max<qreal>(0, visible) / dayRowHeight() * 30);
}

// The day views open on 08:00 unless the period's first entry lies out of sight from
// there: then on that entry, so that entries at midnight (every date-only column) show.
void TSchedAllView::showEntries()
{
    if (!timeGrid())
        return;
    const int first = FirstEntryMinute();
    const int workStart = 8 * 60;
    if (first >= 0 && (first < workStart || first >= workStart + visibleMinutes()))
        ScrollToMinute(first / 30 * 30);
    else
        ScrollToMinute(workStart);
}

TSchedLayoutOptions TSchedAllView::layoutOptions() const
{
    TSchedLayoutOptions o;
    o.locale = locale();
    o.itemFont = font();
    o.headerFont = font();
    o.timeFont = m_timeFont;
    o.days = VisibleDates();
    o.today = QDate::currentDate();
    o.title = SchedPeriodTitle(m_mode, o.days, locale());
    switch (m_mode) {
    case vmDay:
    case vmWorkWeek:
        o.kind = TSchedLayoutKind::TimeGrid;
        o.rowHeight = dayRowHeight();
        o.scrollY = verticalScrollBar()->value();
        break;
    case vmWeek:
        o.kind = TSchedLayoutKind::WeekCells;
        break;
    case vmMonth:
        o.kind = TSchedLayoutKind::MonthCells;
        o.month = SchedShownMonth(o.days).month();
        break;
    }
    o.firstShown = m_firstShown;
    return o;
}

const TSchedLayout& TSchedAllView::Layout() const
{
    const quint64 revision = m_server ? m_server->Revision() : 0;
    if (!m_layoutValid || revision != m_layoutRevision) {
        m_layout.Build(m_server, QRectF(viewport()->rect()), layoutOptions());
        m_layoutValid = true;
        m_layoutRevision = revision;
    }
    return m_layout;
}

void TSchedAllView::invalidate()
{
    m_layoutValid = false;
    viewport()->update();
}

void TSchedAllView::updateScrollBar()
{
    m_settingScroll = true;
    QScrollBar* bar = verticalScrollBar();
    if (timeGrid()) {
        const qreal row = dayRowHeight();
        const int content = int(48 * row);
        const int visible = std::max(0, viewport()->height() - int(titlesHeight()));
        bar->setRange(0, std::max(0, content - visible));
        bar->setPageStep(std::max(1, visible));
        bar->setSingleStep(int(row));
    } else {
        bar->setRange(0, 2 * kWeekRange);
        bar->setPageStep(m_mode == vmMonth ? 4 : 1);
        bar->setSingleStep(1);
        bar->setValue(kWeekRange);
        m_weekValue = kWeekRange;
    }
    m_settingScroll = false;
}

void TSchedAllView::scrollContentsBy(int, int)
{
    if (m_settingScroll)
        return;
    if (!timeGrid()) {
        const int value = verticalScrollBar()->value();
        const int weeks = value - m_weekValue;
        m_weekValue = value;
        m_start = m_start.addDays(7 * weeks);
        m_focus = m_focus.addDays(7 * weeks);
        m_firstShown.clear();
    }
    invalidate();
}

qreal TSchedAllView::titlesHeight() const
{
    // The period's title, then the day columns' titles.
    return TSchedLayout::TitleHeight(font()) + std::ceil(QFontMetricsF(font()).height() * 1.8);
}

void TSchedAllView::storeChanged(const TSchedChange& change)
{
    if (change.Everything) {
        m_selectedId = 0;
        m_firstShown.clear();
        showEntries();
        invalidate();
        return;
    }
    for (const QDate& d : VisibleDates())
        if (change.Touches(SchedDayFromDate(d))) {
            invalidate();
            return;
        }
}

void TSchedAllView::clearSelection()
{
    m_selectedId = 0;
    m_selectedDate = {};
    m_rangeFrom = m_rangeTo = m_rangeAnchor = -1;
}

void TSchedAllView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    TSchedPaintState state;
    // The selection shows only while the view has the focus.
    state.showSelection = hasFocus();
    state.selectedItem = m_selectedId;
    state.selectedDate = m_selectedDate;
    if (timeGrid()) {
        state.rangeFrom = m_rangeFrom;
        state.rangeTo = m_rangeTo;
    }
    SchedPaint(painter, Layout(), state);
}

void TSchedAllView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (timeGrid()) {
        const int value = verticalScrollBar()->value();
        updateScrollBar();
        verticalScrollBar()->setValue(value);
    }
    invalidate();
}

void TSchedAllView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    const TSchedLayout& layout = Layout();
    const TSchedHit hit = layout.HitTest(event->position());
    if (hit.dayIndex < 0)
        return;
    const TSchedDayBox& box = layout.days[hit.dayIndex];
    const int day = SchedDayFromDate(box.date);
    switch (hit.kind) {
    case TSchedHit::MoreUp:
    case TSchedHit::MoreDown: {
        const bool up = hit.kind == TSchedHit::MoreUp;
        if (timeGrid()) {
            // Bring the nearest hidden appointment into sight.
            const TSchedDayItems items = m_server->DayItems(day);
            const int from = layout.minuteAt(layout.body.top());
            const int to = layout.minuteAt(layout.body.bottom());
            int target = -1;
            for (qsizetype i = 0; i < items.size(); ++i) {
                const qint64 start = std::max<qint64>(0, items.at(i)->Start - SchedTimeOf(day));
                const int minute = int(start / kSchedMsecsPerMinute);
                if (up && minute < from)
                    target = minute;
                if (!up && minute > to && target < 0)
                    target = minute;
            }
            if (target >= 0)
                ScrollToMinute(up ? target : std::max(0, target - (to - from) + 30));
        } else {
            const int shown = std::max(1, int(box.items.size()));
            m_firstShown[day] = up ? std::max(0, box.first - shown) : box.first + shown;
            invalidate();
        }
        return;
    }
    case TSchedHit::Item:
        m_selectedId = hit.item->Id;
        m_selectedDate = box.date;
        m_rangeFrom = m_rangeTo = m_rangeAnchor = -1;
        break;
    case TSchedHit::DayTitle:
    case TSchedHit::Cell:
        m_selectedId = 0;
        m_selectedDate = box.date;
        m_rangeFrom = m_rangeTo = m_rangeAnchor = -1;
        break;
    case TSchedHit::Slot:
        m_selectedId = 0;
        m_selectedDate = box.date;
        m_rangeAnchor = hit.minute;
        m_rangeFrom = hit.minute;
        m_rangeTo = hit.minute + 30;
        break;
    case TSchedHit::Crowd:
    case TSchedHit::None:
        return;
    }
    m_focus = box.date;
    viewport()->update();
    emit SelectionChanged();
}

void TSchedAllView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void TSchedAllView::mouseMoveEvent(QMouseEvent* event)
{
    // Dragging in a day column widens the selected time range.
    if (!(event->buttons() & Qt::LeftButton) || !timeGrid() || m_rangeAnchor < 0)
        return;
    const int minute = Layout().minuteAt(event->position().y());
    m_rangeFrom = std::min(m_rangeAnchor, minute);
    m_rangeTo = std::max(m_rangeAnchor, minute) + 30;
    viewport()->update();
    emit SelectionChanged();
}

QString TSchedAllView::HintAt(const QPoint& pos) const
{
    const TSchedLayout& layout = Layout();
    const TSchedHit hit = layout.HitTest(pos);
    if (hit.kind == TSchedHit::Crowd) {
        // The entries behind a "+N": their times and captions, the first dozen of them.
        const QList<const TSchedItem*>& items = layout.days[hit.dayIndex].crowds[hit.crowd].items;
        QStringList lines;
        for (qsizetype i = 0; i < items.size() && i < 12; ++i)
            lines << SchedItemTime(items[i], layout.days[hit.dayIndex].date, locale()) + QLatin1Char(' ') +
                         items[i]->Caption();
        if (items.size() > 12)
            lines << MoreText(int(items.size() - 12), true);
        return lines.join(QLatin1Char('\n'));
    }
    if (hit.kind != TSchedHit::Item)
        return {};
    return SchedHintText(hit.item, locale(), QToolTip::font(), m_hintWidth);
}

bool TSchedAllView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString hint = HintAt(help->pos());
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), hint, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TSchedAllView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange || event->type() == QEvent::FontChange)
        invalidate();
    QAbstractScrollArea::changeEvent(event);
}

void TSchedAllView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TSchedAllView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}
