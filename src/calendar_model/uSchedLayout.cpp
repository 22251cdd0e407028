#include "uSchedLayout.h"

#include "uSchedText.h"

#include <QFontMetricsF>
#include <QPaintDevice>

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

} // namespace

int TSchedDayBox::hiddenCount() const
{
    int n = hiddenAbove + hiddenBelow;
    for (const TSchedCrowd& crowd : crowds)
        n += int(crowd.items.size());
    return n;
}

QFont TSchedLayout::TitleFont(const QFont& headerFont)
{
    QFont font = headerFont;
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.25);
    return font;
}

qreal TSchedLayout::TitleHeight(const QFont& headerFont)
{
    return std::ceil(QFontMetricsF(TitleFont(headerFont)).height() * 1.5);
}

// The width of a "more" button: its arrow (on screen) and its count.
qreal TSchedLayout::moreWidth(const QFontMetricsF& fm, qreal button, int count) const
{
    if (m_options.paper)
        return std::ceil(fm.horizontalAdvance(MoreText(count, true)) + 6 * unit);
    return std::ceil(button * 1.5 + fm.horizontalAdvance(MoreText(count)));
}

void TSchedLayout::Build(const TSchedServer* server, const QRectF& a, const TSchedLayoutOptions& options)
{
    m_options = options;
    area = a;
    titleRect = body = ruler = {};
    titles.clear();
    days.clear();
    rows.clear();
    rowHeight = contentHeight = 0;
    unit = options.device ? options.device->logicalDpiY() / 96.0 : 1.0;
    if (!options.title.isEmpty()) {
        const qreal h = std::min(a.height(), options.device ? std::ceil(metrics(TitleFont(options.headerFont), options.device).height() * 1.5)
                                                            : TitleHeight(options.headerFont));
        titleRect = QRectF(a.left(), a.top(), a.width(), h);
        area.setTop(a.top() + h);
    }
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
    return SchedItemTime(item, day, m_options.locale);
}

void TSchedLayout::buildTimeGrid(const TSchedServer* server)
{
    const TSchedLayoutOptions& o = m_options;
    const QFontMetricsF headerFm = metrics(o.headerFont, o.device);
    const QFontMetricsF timeFm = metrics(o.timeFont, o.device);
    const QFontMetricsF itemFm = metrics(o.itemFont, o.device);
    const qreal titleHeight = std::ceil(headerFm.height() * 1.8);
    const qreal rulerWidth =
        std::ceil(std::max(timeFm.horizontalAdvance(SchedShortTime(23 * 3'600'000, o.locale)),
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
        box.today = box.date == o.today;
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
        TSchedCrowd crowd;
        qreal clusterEnd = -1;
        const qreal inner = columnWidth - 6 * unit;
        const qreal button = std::ceil(itemFm.height() * 0.8);
        // Lanes are never narrower than a few characters: what finds no lane of that
        // width is counted behind a "+N" instead of being drawn as a hairline.
        const qreal minLane = std::ceil(itemFm.averageCharWidth() * 8);
        const int maxLanes = std::max(1, int((inner - moreWidth(itemFm, button, 99)) / minLane));
        auto closeCluster = [&]() {
            qreal width = inner;
            if (!crowd.items.isEmpty()) {
                const qreal w = moreWidth(itemFm, button, int(crowd.items.size()));
                crowd.rect = QRectF(box.rect.right() - w - 2 * unit, crowd.rect.top(), w, button);
                width = std::max(unit, inner - w - 2 * unit);
                box.crowds.append(crowd);
                crowd = {};
            }
            const int lanes = int(laneEnds.size());
            for (const Placed& p : cluster) {
                QRectF& r = box.items[p.box].rect;
                r.setLeft(box.rect.left() + 2 * unit + p.lane * width / lanes);
                r.setWidth(width / lanes);
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
            if (lane >= maxLanes) {
                if (crowd.items.isEmpty())
                    crowd.rect.moveTop(std::max(yOfMinute(from), body.top()));
                crowd.items.append(item);
                continue;
            }
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
            itemBox.caption = item->Caption();
            box.items.append(itemBox);
            cluster.append({int(box.items.size() - 1), lane});
        }
        if (!cluster.isEmpty())
            closeCluster();
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
    box.today = box.date == o.today;
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
        itemBox.caption = item->Caption();
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
        for (int c = 0; c < box.crowds.size(); ++c)
            if (box.crowds[c].rect.contains(p)) {
                hit.kind = TSchedHit::Crowd;
                hit.crowd = c;
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
