#include "uSchedText.h"

#include <QFontMetrics>

#include <algorithm>

QString MoreText(int count)
{
    return QStringLiteral("+%1").arg(count);
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
