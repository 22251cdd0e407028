#include "uSchedLayout.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

QFontMetricsF metrics(const QFont& font, const QPaintDevice* device)
{
    return device ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

// The first of the formats whose text fits the width (the last one regardless).
QString fittingDate(const QLocale& locale, QDate date, const QStringList& formats, const QFontMetricsF& fm,
                    qreal width)
{
    for (const QString& format : formats) {
        const QString text = locale.toString(date, format);
        if (fm.horizontalAdvance(text) <= width || &format == &formats.last())
            return text;
    }
    return {};
}

struct Colours
{
    QColor background{255, 255, 255};
    QColor working{255, 252, 228};
    QColor offHours{236, 236, 236};
    QColor line{200, 200, 200};
    QColor hourLine{160, 160, 160};
    QColor title{228, 228, 228};
    QColor text{0, 0, 0};
    QColor dimText{140, 140, 140};
    QColor dimCell{246, 246, 246};
    QColor item{220, 232, 251};
    QColor itemBorder{91, 133, 200};
    QColor selected{91, 133, 200};
    QColor selectedText{255, 255, 255};
    QColor selectedDay{232, 240, 255};
    QColor range{198, 218, 252};
};

// The width of a "more" button: its arrow and its count.
qreal moreWidth(const QFontMetricsF& fm, qreal button, int count)
{
    return std::ceil(button * 1.5 + fm.horizontalAdvance(MoreText(count)));
}

} // namespace

QString MoreText(int count)
{
    return QStringLiteral("+%1").arg(count);
}

void TSchedLayout::Build(const TSchedServer* server, const QRectF& a, const TSchedLayoutOptions& options)
{
    m_options = options;
    area = a;
    body = ruler = {};
    titles.clear();
    days.clear();
    rows.clear();
    rowHeight = contentHeight = 0;
    unit = options.device ? options.device->logicalDpiY() / 96.0 : 1.0;
    switch (options.kind) {
    case TSchedLayoutKind::TimeGrid:
        buildTimeGrid(server);
        break;
    case TSchedLayoutKind::WeekCells:
        buildWeekCells(server);
        break;
    case TSchedLayoutKind::MonthCells:
        buildMonthCells(server);
        break;
    }
}

qreal TSchedLayout::yOfMinute(qreal minute) const
{
    return body.top() + (minute - m_options.topMinute) / m_options.slotMinutes * rowHeight - m_options.scrollY;
}

int TSchedLayout::minuteAt(qreal y) const
{
    if (rowHeight <= 0)
        return m_options.topMinute;
    const int row = int(std::floor((y - body.top() + m_options.scrollY) / rowHeight));
    const int minute = m_options.topMinute + row * m_options.slotMinutes;
    return std::clamp(minute, m_options.topMinute, m_options.endMinute - m_options.slotMinutes);
}

QString TSchedLayout::timeText(const TSchedItem* item, QDate day) const
{
    if (item->FirstDay() < SchedDayFromDate(day))
        return QStringLiteral("...");
    return m_options.locale.toString(QTime::fromMSecsSinceStartOfDay(SchedMsecsOfDay(item->Start)),
                                     QLocale::ShortFormat);
}

void TSchedLayout::buildTimeGrid(const TSchedServer* server)
{
    const TSchedLayoutOptions& o = m_options;
    const QFontMetricsF headerFm = metrics(o.headerFont, o.device);
    const QFontMetricsF timeFm = metrics(o.timeFont, o.device);
    const QFontMetricsF itemFm = metrics(o.itemFont, o.device);
    const qreal titleHeight = std::ceil(headerFm.height() * 1.8);
    const qreal rulerWidth =
        std::ceil(std::max(timeFm.horizontalAdvance(o.locale.toString(QTime(23, 0), QLocale::ShortFormat)),
                           timeFm.horizontalAdvance(QStringLiteral("00:00"))) +
                  10 * unit);
    ruler = QRectF(area.left(), area.top() + titleHeight, rulerWidth, area.height() - titleHeight);
    body = QRectF(area.left() + rulerWidth, area.top() + titleHeight, area.width() - rulerWidth,
                  area.height() - titleHeight);
    const int slotCount = std::max(1, (o.endMinute - o.topMinute) / std::max(1, o.slotMinutes));
    rowHeight = o.rowHeight > 0 ? o.rowHeight : body.height() / slotCount;
    contentHeight = rowHeight * slotCount;

    for (int r = 0; r < slotCount; ++r) {
        const int minute = o.topMinute + r * o.slotMinutes;
        const qreal y = yOfMinute(minute);
        if (y + rowHeight < body.top() || y > body.bottom())
            continue;
        rows.append({QRectF(area.left(), y, area.width(), rowHeight), minute,
                     minute >= o.workFrom && minute < o.workTo});
    }

    // The minutes that show; items outside count as hidden above or below.
    const qreal visibleFrom = std::max<qreal>(o.topMinute, o.topMinute + o.scrollY / rowHeight * o.slotMinutes);
    const qreal visibleTo =
        std::min<qreal>(o.endMinute, visibleFrom + body.height() / rowHeight * o.slotMinutes);
    // An appointment is at least one line of text tall, and lanes are made from that.
    const qreal lineMinutes = (itemFm.height() + 2 * unit) / rowHeight * o.slotMinutes;

    const int count = int(o.days.size());
    const qreal columnWidth = count ? body.width() / count : 0;
    for (int i = 0; i < count; ++i) {
        TSchedDayBox box;
        box.date = o.days[i];
        box.rect = QRectF(body.left() + i * columnWidth, body.top(), columnWidth, body.height());
        box.header = QRectF(box.rect.left(), area.top(), columnWidth, titleHeight);
        box.body = box.rect;
        box.title = fittingDate(o.locale, box.date,
                                {QStringLiteral("dddd d MMMM"), QStringLiteral("ddd d MMM"), QStringLiteral("ddd d"),
                                 QStringLiteral("d")},
                                headerFm, columnWidth - 6 * unit);
        if (!server) {
            days.append(box);
            continue;
        }
        const int day = SchedDayFromDate(box.date);
        const TSchedTime dayStart = SchedTimeOf(day);
        const TSchedDayItems items = server->DayItems(day);

        struct Placed
        {
            int box;
            int lane;
        };
        QList<Placed> cluster;
        std::vector<qreal> laneEnds;
        qreal clusterEnd = -1;
        auto closeCluster = [&]() {
            const int lanes = int(laneEnds.size());
            for (const Placed& p : cluster) {
                QRectF& r = box.items[p.box].rect;
                const qreal inner = columnWidth - 6 * unit;
                r.setLeft(box.rect.left() + 2 * unit + p.lane * inner / lanes);
                r.setWidth(inner / lanes);
            }
            cluster.clear();
            laneEnds.clear();
        };
        for (qsizetype k = 0; k < items.size(); ++k) {
            const TSchedItem* item = items.at(k);
            const qreal from = std::max<qreal>(0, (item->Start - dayStart) / qreal(kSchedMsecsPerMinute));
            const qreal to = std::min<qreal>(24 * 60, (item->Finish - dayStart) / qreal(kSchedMsecsPerMinute));
            const qreal shownTo = std::max(to, from + lineMinutes);
            if (shownTo <= visibleFrom && !(from >= visibleFrom)) {
                ++box.hiddenAbove;
                continue;
            }
            if (from >= visibleTo) {
                ++box.hiddenBelow;
                continue;
            }
            if (from >= clusterEnd && !cluster.isEmpty())
                closeCluster();
            int lane = 0;
            while (lane < int(laneEnds.size()) && laneEnds[lane] > from)
                ++lane;
            if (lane == int(laneEnds.size()))
                laneEnds.push_back(shownTo);
            else
                laneEnds[lane] = shownTo;
            clusterEnd = std::max(clusterEnd, shownTo);
            TSchedItemBox itemBox;
            itemBox.item = item;
            const qreal top = yOfMinute(from);
            itemBox.rect = QRectF(0, top, 0, std::max(yOfMinute(shownTo) - top - unit, unit));
            itemBox.time = timeText(item, box.date);
            itemBox.caption = item->Caption;
            box.items.append(itemBox);
            cluster.append({int(box.items.size() - 1), lane});
        }
        if (!cluster.isEmpty())
            closeCluster();
        const qreal button = std::ceil(itemFm.height() * 0.8);
        if (box.hiddenAbove) {
            const qreal w = moreWidth(itemFm, button, box.hiddenAbove);
            box.moreUp = QRectF(box.rect.right() - w - 2 * unit, box.rect.top() + 2 * unit, w, button);
        }
        if (box.hiddenBelow) {
            const qreal w = moreWidth(itemFm, button, box.hiddenBelow);
            box.moreDown = QRectF(box.rect.right() - w - 2 * unit, box.rect.bottom() - button - 2 * unit, w, button);
        }
        days.append(box);
    }
}

void TSchedLayout::listItems(const TSchedServer* server, TSchedDayBox& box)
{
    const TSchedLayoutOptions& o = m_options;
    if (!server)
        return;
    const QFontMetricsF itemFm = metrics(o.itemFont, o.device);
    const qreal line = std::ceil(itemFm.height() + 2 * unit);
    const TSchedDayItems items = server->DayItems(box.date);
    const int n = int(items.size());
    const int capacity = std::max(0, int(std::floor((box.body.height() - unit) / line)));
    box.first = std::clamp(o.firstShown.value(SchedDayFromDate(box.date), 0), 0, std::max(0, n - 1));
    const int shown = std::min(capacity, n - box.first);
    box.hiddenAbove = box.first;
    box.hiddenBelow = n - box.first - shown;
    for (int k = 0; k < shown; ++k) {
        const TSchedItem* item = items.at(box.first + k);
        TSchedItemBox itemBox;
        itemBox.item = item;
        itemBox.rect = QRectF(box.body.left() + 2 * unit, box.body.top() + k * line + unit,
                              box.body.width() - 4 * unit, line - unit);
        itemBox.time = timeText(item, box.date);
        itemBox.caption = item->Caption;
        box.items.append(itemBox);
    }
    const qreal button = std::ceil(line * 0.8);
    if (box.hiddenAbove) {
        const qreal w = moreWidth(itemFm, button, box.hiddenAbove);
        box.moreUp = QRectF(box.header.right() - w - 2 * unit, box.header.top() + 1 * unit, w,
                            std::min(button, box.header.height() - 2 * unit));
    }
    if (box.hiddenBelow) {
        const qreal w = moreWidth(itemFm, button, box.hiddenBelow);
        box.moreDown = QRectF(box.rect.right() - w - 2 * unit, box.rect.bottom() - button - unit, w, button);
        // The last listed line gives way to the button.
        if (!box.items.isEmpty())
            box.items.last().rect.setRight(box.moreDown.left() - unit);
    }
}

void TSchedLayout::buildWeekCells(const TSchedServer* server)
{
    const TSchedLayoutOptions& o = m_options;
    const QFontMetricsF headerFm = metrics(o.headerFont, o.device);
    const qreal titleHeight = std::ceil(headerFm.height() * 1.4);
    body = area;
    const qreal half = area.width() / 2;
    const int count = int(o.days.size());
    for (int i = 0; i < count; ++i) {
        // Like a desk diary: four days on the left page, three on the right.
        const bool left = i < 4;
        const int perColumn = left ? 4 : 3;
        const int row = left ? i : i - 4;
        const qreal height = area.height() / perColumn;
        TSchedDayBox box;
        box.date = o.days[i];
        box.rect = QRectF(area.left() + (left ? 0 : half), area.top() + row * height, half, height);
        box.header = QRectF(box.rect.left(), box.rect.top(), half, std::min(titleHeight, height));
        box.body = box.rect.adjusted(0, box.header.height(), 0, 0);
        box.title = fittingDate(o.locale, box.date,
                                {QStringLiteral("dddd d MMMM"), QStringLiteral("ddd d MMM"), QStringLiteral("d")},
                                headerFm, half - 6 * unit);
        listItems(server, box);
        days.append(box);
    }
}

void TSchedLayout::buildMonthCells(const TSchedServer* server)
{
    const TSchedLayoutOptions& o = m_options;
    const QFontMetricsF headerFm = metrics(o.headerFont, o.device);
    const qreal dayNames = std::ceil(headerFm.height() * 1.5);
    const qreal cellTitle = std::ceil(headerFm.height() * 1.3);
    const int columns = o.shareWeekend ? 6 : 7;
    const int weeks = std::max(1, int((o.days.size() + 6) / 7));
    const qreal width = area.width() / columns;
    const qreal height = (area.height() - dayNames) / weeks;
    body = QRectF(area.left(), area.top() + dayNames, area.width(), area.height() - dayNames);

    // Column titles from the first week's days.
    QList<QDate> firstWeek = o.days.mid(0, 7);
    int column = 0;
    QStringList weekend;
    for (const QDate& d : firstWeek) {
        const QString name = o.locale.dayName(d.dayOfWeek(), QLocale::ShortFormat);
        if (o.shareWeekend && d.dayOfWeek() >= Qt::Saturday) {
            weekend << name;
            continue;
        }
        titles.append({QRectF(area.left() + column * width, area.top(), width, dayNames), name});
        ++column;
    }
    if (o.shareWeekend)
        titles.append({QRectF(area.left() + 5 * width, area.top(), width, dayNames), weekend.join(QLatin1Char('/'))});

    for (int w = 0; w < weeks; ++w) {
        const qreal top = body.top() + w * height;
        int col = 0;
        int weekendSeen = 0;
        for (int k = 0; k < 7 && w * 7 + k < o.days.size(); ++k) {
            TSchedDayBox box;
            box.date = o.days[w * 7 + k];
            if (o.shareWeekend && box.date.dayOfWeek() >= Qt::Saturday) {
                // The weekend's two days, in date order, as the halves of one cell.
                box.rect = QRectF(area.left() + 5 * width, top + weekendSeen * height / 2, width, height / 2);
                ++weekendSeen;
            } else {
                box.rect = QRectF(area.left() + col * width, top, width, height);
                ++col;
            }
            box.header = QRectF(box.rect.left(), box.rect.top(), box.rect.width(), std::min(cellTitle, box.rect.height()));
            box.body = box.rect.adjusted(0, box.header.height(), 0, 0);
            const bool named = (w == 0 && k == 0) || box.date.day() == 1;
            box.title = named ? o.locale.toString(box.date, QStringLiteral("d MMM"))
                              : QString::number(box.date.day());
            if (o.shareWeekend)
                box.title = o.locale.dayName(box.date.dayOfWeek(), QLocale::ShortFormat) + QLatin1Char(' ') + box.title;
            box.dimmed = o.month != 0 && box.date.month() != o.month;
            listItems(server, box);
            days.append(box);
        }
    }
}

TSchedHit TSchedLayout::HitTest(const QPointF& p) const
{
    TSchedHit hit;
    for (int i = 0; i < days.size(); ++i) {
        const TSchedDayBox& box = days[i];
        if (!box.rect.contains(p) && !box.header.contains(p))
            continue;
        hit.dayIndex = i;
        if (box.moreUp.contains(p)) {
            hit.kind = TSchedHit::MoreUp;
            return hit;
        }
        if (box.moreDown.contains(p)) {
            hit.kind = TSchedHit::MoreDown;
            return hit;
        }
        for (const TSchedItemBox& item : box.items)
            if (item.rect.contains(p)) {
                hit.kind = TSchedHit::Item;
                hit.item = item.item;
                return hit;
            }
        if (box.header.contains(p)) {
            hit.kind = TSchedHit::DayTitle;
            return hit;
        }
        if (m_options.kind == TSchedLayoutKind::TimeGrid) {
            if (p.y() >= yOfMinute(m_options.endMinute))
                return {};
            hit.kind = TSchedHit::Slot;
            hit.minute = minuteAt(p.y());
        } else {
            hit.kind = TSchedHit::Cell;
        }
        return hit;
    }
    return hit;
}

namespace {

// A "more" button: an arrow, then how many entries are out of sight ("+12"), so that
// neither the screen nor the printed page hides entries without a word.
void drawMore(QPainter& p, const QRectF& r, bool up, int count, const QFont& font, const Colours& c)
{
    if (r.isEmpty())
        return;
    p.setPen(c.itemBorder);
    p.setBrush(c.title);
    p.drawRect(r);
    const QRectF arrowBox(r.topLeft(), QSizeF(r.height() * 1.2, r.height()));
    p.setFont(font);
    p.setPen(c.text);
    p.drawText(r.adjusted(arrowBox.width(), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, MoreText(count));
    const QPointF mid = arrowBox.center();
    const qreal w = arrowBox.width() * 0.3;
    const qreal h = arrowBox.height() * 0.25;
    QPolygonF arrow;
    if (up)
        arrow << QPointF(mid.x() - w, mid.y() + h) << QPointF(mid.x() + w, mid.y() + h) << QPointF(mid.x(), mid.y() - h);
    else
        arrow << QPointF(mid.x() - w, mid.y() - h) << QPointF(mid.x() + w, mid.y() - h) << QPointF(mid.x(), mid.y() + h);
    p.setBrush(c.text);
    p.setPen(Qt::NoPen);
    p.drawPolygon(arrow);
}

void drawItem(QPainter& p, const TSchedLayout& layout, const TSchedItemBox& box, bool selected, bool timeGrid,
              const Colours& c)
{
    const qreal u = layout.unit;
    const QFont& font = layout.options().itemFont;
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());
    if (timeGrid) {
        p.setPen(QPen(c.itemBorder, u));
        p.setBrush(selected ? c.selected : c.item);
        p.drawRect(box.rect);
    } else if (selected) {
        p.fillRect(box.rect, c.selected);
    }
    p.setPen(selected ? c.selectedText : c.text);
    const QRectF text = box.rect.adjusted(2 * u, 0, -2 * u, 0);
    const QString line = box.time + QLatin1Char(' ') + box.caption;
    if (timeGrid && text.height() >= 2 * fm.height()) {
        p.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, line);
    } else {
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(line, Qt::ElideRight, text.width()));
    }
}

} // namespace

void SchedPaint(QPainter& p, const TSchedLayout& layout, const TSchedPaintState& state)
{
    const Colours c;
    const TSchedLayoutOptions& o = layout.options();
    const qreal u = layout.unit;
    p.save();
    p.fillRect(layout.area, c.background);
    const QPen thin(c.line, u);
    const bool timeGrid = o.kind == TSchedLayoutKind::TimeGrid;

    if (timeGrid) {
        p.save();
        p.setClipRect(layout.ruler.united(layout.body));
        for (const TSchedTimeRow& row : layout.rows) {
            const QRectF cells(layout.body.left(), row.rect.top(), layout.body.width(), row.rect.height());
            p.fillRect(cells, row.working ? c.working : c.offHours);
            if (state.showSelection && state.rangeFrom >= 0 && row.minute >= state.rangeFrom &&
                row.minute < state.rangeTo)
                for (const TSchedDayBox& box : layout.days)
                    if (box.date == state.selectedDate)
                        p.fillRect(QRectF(box.rect.left(), row.rect.top(), box.rect.width(), row.rect.height()), c.range);
            const bool hour = row.minute % 60 == 0;
            p.setPen(QPen(hour ? c.hourLine : c.line, u));
            p.drawLine(QPointF(hour ? layout.ruler.left() : layout.body.left(), row.rect.top()),
                       QPointF(layout.body.right(), row.rect.top()));
            if (hour) {
                p.setFont(o.timeFont);
                p.setPen(c.text);
                p.drawText(QRectF(layout.ruler.left(), row.rect.top(), layout.ruler.width() - 4 * u, row.rect.height()),
                           Qt::AlignRight | Qt::AlignTop,
                           o.locale.toString(QTime(row.minute / 60, 0), QLocale::ShortFormat));
            }
        }
        // The end of the time range, when it shows.
        const qreal end = layout.yOfMinute(o.endMinute);
        if (end <= layout.body.bottom()) {
            p.setPen(QPen(c.hourLine, u));
            p.drawLine(QPointF(layout.ruler.left(), end), QPointF(layout.body.right(), end));
        }
        p.restore();
    }

    for (const TSchedDayBox& box : layout.days) {
        const bool selectedDay = state.showSelection && box.date == state.selectedDate && state.rangeFrom < 0;
        if (!timeGrid)
            p.fillRect(box.rect, selectedDay ? c.selectedDay : (box.dimmed ? c.dimCell : c.background));
        p.fillRect(box.header, selectedDay && timeGrid ? c.range : c.title);
        p.setPen(thin);
        p.setBrush(Qt::NoBrush);
        p.drawRect(box.header);
        p.drawRect(box.rect);
        p.setFont(o.headerFont);
        p.setPen(box.dimmed ? c.dimText : c.text);
        p.drawText(box.header.adjusted(3 * u, 0, -3 * u, 0),
                   (timeGrid ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter, box.title);
        p.save();
        p.setClipRect(box.body.intersected(timeGrid ? layout.body : box.rect));
        for (const TSchedItemBox& item : box.items)
            drawItem(p, layout, item, state.showSelection && item.item->Id == state.selectedItem, timeGrid, c);
        p.restore();
        drawMore(p, box.moreUp, true, box.hiddenAbove, o.itemFont, c);
        drawMore(p, box.moreDown, false, box.hiddenBelow, o.itemFont, c);
    }

    for (const auto& [rect, text] : layout.titles) {
        p.fillRect(rect, c.title);
        p.setPen(thin);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect);
        p.setFont(o.headerFont);
        p.setPen(c.text);
        p.drawText(rect, Qt::AlignCenter, text);
    }
    p.restore();
}

QList<QDate> SchedPageDays(const TSchedPageSpec& spec)
{
    switch (spec.kind) {
    case TSchedPageKind::Day:
        return SchedPeriodDays(vmDay, spec.start, spec.firstDay);
    case TSchedPageKind::Week:
        return SchedPeriodDays(vmWeek, spec.start, spec.firstDay);
    case TSchedPageKind::Month:
        return SchedPeriodDays(vmMonth, spec.start, spec.firstDay);
    }
    return {};
}

TSchedPageTexts SchedPageTexts(const TSchedPageSpec& spec)
{
    TSchedPageTexts texts;
    const QList<QDate> days = SchedPageDays(spec);
    if (days.isEmpty())
        return texts;
    const QLocale& l = spec.locale;
    const QString longDate = QStringLiteral("d MMMM yyyy");
    const QString from = l.toString(days.first(), longDate);
    const QString to = l.toString(days.last(), longDate);
    switch (spec.kind) {
    case TSchedPageKind::Day:
        texts.title = l.toString(spec.start, QStringLiteral("dddd d MMMM yyyy"));
        texts.header = QStringLiteral("%1  %2 - %3")
                           .arg(from, l.toString(QTime(spec.topMinute / 60, spec.topMinute % 60), QLocale::ShortFormat),
                                l.toString(QTime(spec.endMinute / 60 % 24, spec.endMinute % 60), QLocale::ShortFormat));
        break;
    case TSchedPageKind::Week:
        texts.title = QStringLiteral("%1 - %2").arg(from, to);
        texts.header = QStringLiteral("Week %1").arg(days.first().weekNumber());
        break;
    case TSchedPageKind::Month:
        texts.title = l.toString(spec.start, QStringLiteral("MMMM yyyy"));
        texts.header = QStringLiteral("%1 - %2").arg(from, to);
        break;
    }
    texts.footer = QStringLiteral("Page 1 of 1");
    return texts;
}

QFont SchedPageFont(int pointSize)
{
    QFont font(QStringLiteral("Arial"), pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void SchedPaintPage(QPainter& painter, const QRectF& page, const TSchedServer* server, const TSchedPageSpec& spec)
{
    const QPaintDevice* device = painter.device();
    const qreal u = device ? device->logicalDpiY() / 96.0 : 1.0;
    const QFont small = SchedPageFont(8);
    const QFont title = SchedPageFont(24);
    const QFont bodyFont = SchedPageFont(12);
    const QFontMetricsF smallFm = metrics(small, device);
    const QFontMetricsF titleFm = metrics(title, device);
    const TSchedPageTexts texts = SchedPageTexts(spec);

    painter.save();
    painter.setPen(Qt::black);
    QRectF r = page;
    painter.setFont(small);
    painter.drawText(QRectF(r.left(), r.top(), r.width(), smallFm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     texts.header);
    r.setTop(r.top() + smallFm.height() + 4 * u);
    painter.setFont(title);
    painter.drawText(QRectF(r.left(), r.top(), r.width(), titleFm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     texts.title);
    r.setTop(r.top() + titleFm.height() + 8 * u);
    const QRectF footer(r.left(), r.bottom() - smallFm.height(), r.width(), smallFm.height());
    painter.setFont(small);
    painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter, texts.footer);
    r.setBottom(footer.top() - 6 * u);

    TSchedLayoutOptions o;
    o.days = SchedPageDays(spec);
    o.locale = spec.locale;
    o.itemFont = bodyFont;
    o.headerFont = bodyFont;
    o.timeFont = bodyFont;
    o.device = device;
    switch (spec.kind) {
    case TSchedPageKind::Day:
        o.kind = TSchedLayoutKind::TimeGrid;
        o.topMinute = spec.topMinute;
        o.endMinute = spec.endMinute;
        o.slotMinutes = spec.slotMinutes;
        break;
    case TSchedPageKind::Week:
        o.kind = TSchedLayoutKind::WeekCells;
        break;
    case TSchedPageKind::Month:
        o.kind = TSchedLayoutKind::MonthCells;
        o.shareWeekend = true;
        o.month = spec.start.month();
        o.headerFont = small;
        break;
    }
    TSchedLayout layout;
    layout.Build(server, r, o);
    SchedPaint(painter, layout);
    painter.restore();
}

QString SchedHintText(const TSchedItem* item, const QLocale& locale, const QFont& font, int maxWidth)
{
    const QString from = locale.toString(SchedToDateTime(item->Start), QLocale::ShortFormat);
    const QString to = SchedDayOf(item->Finish) == SchedDayOf(item->Start)
                           ? locale.toString(QTime::fromMSecsSinceStartOfDay(SchedMsecsOfDay(item->Finish)),
                                             QLocale::ShortFormat)
                           : locale.toString(SchedToDateTime(item->Finish), QLocale::ShortFormat);
    const QString plain = QStringLiteral("%1 - %2\n%3").arg(from, to, item->Caption);
    const QFontMetrics fm(font);
    int widest = 0;
    for (const QString& line : plain.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(line));
    if (widest <= maxWidth)
        return plain;
    return QStringLiteral("<table width=\"%1\"><tr><td>%2<br>%3</td></tr></table>")
        .arg(maxWidth)
        .arg(QStringLiteral("%1 - %2").arg(from, to).toHtmlEscaped(), item->Caption.toHtmlEscaped());
}
