#include "uSchedPainter.h"

#include "uSchedText.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

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
    QColor today{232, 126, 4};
    QColor todayTitle{255, 226, 186};
};

const Colours& colours()
{
    static const Colours c;
    return c;
}

} // namespace

std::unique_ptr<TSchedPainter> TSchedPainter::For(const TSchedLayout& layout, const TSchedPaintState& state)
{
    switch (layout.options().kind) {
    case TSchedLayoutKind::TimeGrid:
        return std::make_unique<TSchedTimeGridPainter>(layout, state);
    case TSchedLayoutKind::WeekCells:
        return std::make_unique<TSchedCellsPainter>(layout, state);
    case TSchedLayoutKind::MonthCells:
        return std::make_unique<TSchedMonthPainter>(layout, state);
    }
    return std::make_unique<TSchedCellsPainter>(layout, state);
}

void TSchedPainter::Paint(QPainter& p) const
{
    p.save();
    p.fillRect(m_layout.area, colours().background);
    paintTitle(p);
    paintBackground(p);
    for (const TSchedDayBox& box : m_layout.days) {
        paintDayFrame(p, box);
        p.save();
        p.setClipRect(itemClip(box));
        for (const TSchedItemBox& item : box.items)
            paintItem(p, item, m_state.showSelection && item.item->Id == m_state.selectedItem);
        p.restore();
        paintMore(p, box.moreUp, true, box.hiddenAbove);
        paintMore(p, box.moreDown, false, box.hiddenBelow);
        for (const TSchedCrowd& crowd : box.crowds)
            paintMore(p, crowd.rect, false, int(crowd.items.size()), false);
        if (box.today)
            paintToday(p, box);
    }
    paintForeground(p);
    p.restore();
}

void TSchedPainter::paintTitle(QPainter& p) const
{
    if (m_layout.titleRect.isEmpty())
        return;
    const TSchedLayoutOptions& o = m_layout.options();
    p.fillRect(m_layout.titleRect, colours().background);
    p.setFont(TSchedLayout::TitleFont(o.headerFont));
    p.setPen(colours().text);
    p.drawText(m_layout.titleRect.adjusted(6 * m_layout.unit, 0, -6 * m_layout.unit, 0),
               Qt::AlignLeft | Qt::AlignVCenter, o.title);
}

// Today: its title strip in a warm tint and the day framed, so it is found at a glance.
void TSchedPainter::paintToday(QPainter& p, const TSchedDayBox& box) const
{
    const qreal u = m_layout.unit;
    p.save();
    p.setPen(QPen(colours().today, 2 * u));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.rect.united(box.header).adjusted(u, u, -u, -u));
    p.restore();
}

bool TSchedPainter::selectedDay(const TSchedDayBox& box) const
{
    return m_state.showSelection && box.date == m_state.selectedDate && m_state.rangeFrom < 0;
}

void TSchedPainter::paintTitleStrip(QPainter& p, const TSchedDayBox& box, const QColor& fill,
                                    Qt::Alignment align) const
{
    const Colours& c = colours();
    const qreal u = m_layout.unit;
    p.fillRect(box.header, fill);
    p.setPen(QPen(c.line, u));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.header);
    p.drawRect(box.rect);
    p.setFont(m_layout.options().headerFont);
    p.setPen(box.dimmed ? c.dimText : c.text);
    p.drawText(box.header.adjusted(3 * u, 0, -3 * u, 0), align | Qt::AlignVCenter, box.title);
}

// A "more" button: an arrow, then how many entries are out of sight ("+12"), so that
// neither the screen nor the printed page hides entries without a word. Paper has no
// buttons to press: there it is a note, "+12 more".
void TSchedPainter::paintMore(QPainter& p, const QRectF& r, bool up, int count, bool arrow) const
{
    if (r.isEmpty())
        return;
    const Colours& c = colours();
    p.setPen(c.itemBorder);
    p.setBrush(c.title);
    p.drawRect(r);
    if (m_layout.options().paper || !arrow) {
        p.setFont(m_layout.options().itemFont);
        p.setPen(c.text);
        p.drawText(r, Qt::AlignCenter, MoreText(count, m_layout.options().paper));
        return;
    }
    const QRectF arrowBox(r.topLeft(), QSizeF(r.height() * 1.2, r.height()));
    p.setFont(m_layout.options().itemFont);
    p.setPen(c.text);
    p.drawText(r.adjusted(arrowBox.width(), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, MoreText(count));
    const QPointF mid = arrowBox.center();
    const qreal w = arrowBox.width() * 0.3;
    const qreal h = arrowBox.height() * 0.25;
    QPolygonF shape;
    if (up)
        shape << QPointF(mid.x() - w, mid.y() + h) << QPointF(mid.x() + w, mid.y() + h) << QPointF(mid.x(), mid.y() - h);
    else
        shape << QPointF(mid.x() - w, mid.y() - h) << QPointF(mid.x() + w, mid.y() - h) << QPointF(mid.x(), mid.y() + h);
    p.setBrush(c.text);
    p.setPen(Qt::NoPen);
    p.drawPolygon(shape);
}

void TSchedTimeGridPainter::paintBackground(QPainter& p) const
{
    const Colours& c = colours();
    const TSchedLayoutOptions& o = m_layout.options();
    const qreal u = m_layout.unit;
    p.save();
    p.setClipRect(m_layout.ruler.united(m_layout.body));
    for (const TSchedTimeRow& row : m_layout.rows) {
        const QRectF cells(m_layout.body.left(), row.rect.top(), m_layout.body.width(), row.rect.height());
        p.fillRect(cells, row.working ? c.working : c.offHours);
        if (m_state.showSelection && m_state.rangeFrom >= 0 && row.minute >= m_state.rangeFrom &&
            row.minute < m_state.rangeTo)
            for (const TSchedDayBox& box : m_layout.days)
                if (box.date == m_state.selectedDate)
                    p.fillRect(QRectF(box.rect.left(), row.rect.top(), box.rect.width(), row.rect.height()), c.range);
        const bool hour = row.minute % 60 == 0;
        p.setPen(QPen(hour ? c.hourLine : c.line, u));
        p.drawLine(QPointF(hour ? m_layout.ruler.left() : m_layout.body.left(), row.rect.top()),
                   QPointF(m_layout.body.right(), row.rect.top()));
        if (hour) {
            p.setFont(o.timeFont);
            p.setPen(c.text);
            p.drawText(QRectF(m_layout.ruler.left(), row.rect.top(), m_layout.ruler.width() - 4 * u, row.rect.height()),
                       Qt::AlignRight | Qt::AlignTop, SchedShortTime(row.minute / 60 * 3'600'000, o.locale));
        }
    }
    // The end of the time range, when it shows.
    const qreal end = m_layout.yOfMinute(o.endMinute);
    if (end <= m_layout.body.bottom()) {
        p.setPen(QPen(c.hourLine, u));
        p.drawLine(QPointF(m_layout.ruler.left(), end), QPointF(m_layout.body.right(), end));
    }
    p.restore();
}

void TSchedTimeGridPainter::paintDayFrame(QPainter& p, const TSchedDayBox& box) const
{
    const Colours& c = colours();
    paintTitleStrip(p, box, selectedDay(box) ? c.range : (box.today ? c.todayTitle : c.title), Qt::AlignHCenter);
}

QRectF TSchedTimeGridPainter::itemClip(const TSchedDayBox& box) const
{
    return box.body.intersected(m_layout.body);
}

void TSchedTimeGridPainter::paintItem(QPainter& p, const TSchedItemBox& box, bool selected) const
{
    const Colours& c = colours();
    const qreal u = m_layout.unit;
    const QFont& font = m_layout.options().itemFont;
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());
    p.setPen(QPen(c.itemBorder, u));
    p.setBrush(selected ? c.selected : c.item);
    p.drawRect(box.rect);
    p.setPen(selected ? c.selectedText : c.text);
    const QRectF text = box.rect.adjusted(2 * u, 0, -2 * u, 0);
    // The caption first: where an appointment lies already says its time.
    const QString line = box.time.isEmpty() ? box.caption : box.caption + QStringLiteral("  ") + box.time;
    if (text.height() >= 2 * fm.height())
        p.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, line);
    else
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(line, Qt::ElideRight, text.width()));
}

void TSchedCellsPainter::paintDayFrame(QPainter& p, const TSchedDayBox& box) const
{
    const Colours& c = colours();
    const bool selected = selectedDay(box);
    p.fillRect(box.rect, selected ? c.selectedDay : (box.dimmed ? c.dimCell : c.background));
    paintTitleStrip(p, box, box.today ? c.todayTitle : c.title, Qt::AlignLeft);
}

void TSchedCellsPainter::paintItem(QPainter& p, const TSchedItemBox& box, bool selected) const
{
    const Colours& c = colours();
    const qreal u = m_layout.unit;
    const QFont& font = m_layout.options().itemFont;
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());
    if (selected)
        p.fillRect(box.rect, c.selected);
    p.setPen(selected ? c.selectedText : c.text);
    QRectF text = box.rect.adjusted(2 * u, 0, -2 * u, 0);
    // The caption first, the short time at the right in grey, so a narrow cell still
    // shows what the entry is.
    if (!box.time.isEmpty()) {
        const qreal timeWidth = fm.horizontalAdvance(box.time);
        if (timeWidth + 4 * u < text.width() / 2) {
            p.setPen(selected ? c.selectedText : c.dimText);
            p.drawText(text, Qt::AlignRight | Qt::AlignVCenter, box.time);
            p.setPen(selected ? c.selectedText : c.text);
            text.setRight(text.right() - timeWidth - 4 * u);
        }
    }
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(box.caption, Qt::ElideRight, text.width()));
}

void TSchedMonthPainter::paintForeground(QPainter& p) const
{
    const Colours& c = colours();
    for (const auto& [rect, text] : m_layout.titles) {
        p.fillRect(rect, c.title);
        p.setPen(QPen(c.line, m_layout.unit));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect);
        p.setFont(m_layout.options().headerFont);
        p.setPen(c.text);
        p.drawText(rect, Qt::AlignCenter, text);
    }
}

void SchedPaint(QPainter& painter, const TSchedLayout& layout, const TSchedPaintState& state)
{
    TSchedPainter::For(layout, state)->Paint(painter);
}
