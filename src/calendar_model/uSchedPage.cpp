#include "uSchedPage.h"

#include "uSchedLayout.h"
#include "uSchedPainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

namespace {

QFontMetricsF metrics(const QFont& font, const QPaintDevice* device)
{
    return device ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

} // namespace

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
    o.paper = true;
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
        o.month = SchedShownMonth(o.days).month();
        o.headerFont = small;
        break;
    }
    TSchedLayout layout;
    layout.Build(server, r, o);
    SchedPaint(painter, layout);
    painter.restore();
}

