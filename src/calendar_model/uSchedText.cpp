#include "uSchedText.h"

#include <QFontMetrics>

#include <algorithm>

QString MoreText(int count, bool words)
{
    return words ? QStringLiteral("+%1 more").arg(count) : QStringLiteral("+%1").arg(count);
}

QString SchedShortTime(int msecsOfDay, const QLocale& locale)
{
    const bool twelveHours = locale.timeFormat(QLocale::ShortFormat).contains(QLatin1Char('a'), Qt::CaseInsensitive);
    return locale.toString(QTime::fromMSecsSinceStartOfDay(msecsOfDay),
                           twelveHours ? QStringLiteral("h:mm ap") : QStringLiteral("H:mm"));
}

QString SchedItemTime(const TSchedItem* item, QDate day, const QLocale& locale)
{
    if (item->FirstDay() < SchedDayFromDate(day))
        return QStringLiteral("...");
    const int msecs = SchedMsecsOfDay(item->Start);
    if (item->DateOnly() && msecs == 0)
        return {};
    return SchedShortTime(msecs, locale);
}

QString SchedPeriodTitle(TSchedViewMode mode, const QList<QDate>& days, const QLocale& locale)
{
    if (days.isEmpty())
        return {};
    if (mode == vmMonth)
        return locale.toString(SchedShownMonth(days), QStringLiteral("MMMM yyyy"));
    const QDate from = days.first();
    const QDate to = days.last();
    if (from == to)
        return locale.toString(from, QStringLiteral("dddd d MMMM yyyy"));
    // The first date says only what the last one does not.
    const QString first = from.year() != to.year()     ? QStringLiteral("d MMMM yyyy")
                          : from.month() != to.month() ? QStringLiteral("d MMMM")
                                                       : QStringLiteral("d");
    return locale.toString(from, first) + QStringLiteral(" \u2013 ") + locale.toString(to, QStringLiteral("d MMMM yyyy"));
}

QString SchedHintText(const TSchedItem* item, const QLocale& locale, const QFont& font, int maxWidth)
{
    const QString from = locale.toString(SchedToDateTime(item->Start), QLocale::ShortFormat);
    const QString to = SchedDayOf(item->Finish) == SchedDayOf(item->Start)
                           ? locale.toString(QTime::fromMSecsSinceStartOfDay(SchedMsecsOfDay(item->Finish)),
                                             QLocale::ShortFormat)
                           : locale.toString(SchedToDateTime(item->Finish), QLocale::ShortFormat);
    const QString caption = item->Caption();
    const QString plain = QStringLiteral("%1 - %2\n%3").arg(from, to, caption);
    const QFontMetrics fm(font);
    int widest = 0;
    for (const QString& line : plain.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(line));
    if (widest <= maxWidth)
        return plain;
    return QStringLiteral("<table width=\"%1\"><tr><td>%2<br>%3</td></tr></table>")
        .arg(maxWidth)
        .arg(QStringLiteral("%1 - %2").arg(from, to).toHtmlEscaped(), caption.toHtmlEscaped());
}
