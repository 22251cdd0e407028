#include "uSchedPeriod.h"

#include <QStringList>

QDate SchedWeekStart(QDate date, Qt::DayOfWeek firstDay)
{
    const int back = (date.dayOfWeek() - int(firstDay) + 7) % 7;
    return date.addDays(-back);
}

QList<QDate> SchedPeriodDays(TSchedViewMode mode, QDate focus, Qt::DayOfWeek firstDay)
{
    QList<QDate> days;
    if (!focus.isValid())
        return days;
    const QDate start = SchedWeekStart(focus, firstDay);
    switch (mode) {
    case vmDay:
        days << focus;
        break;
    case vmWorkWeek:
        for (int i = 0; i < 7; ++i)
            if (start.addDays(i).dayOfWeek() <= Qt::Friday)
                days << start.addDays(i);
        break;
    case vmWeek:
        for (int i = 0; i < 7; ++i)
            days << start.addDays(i);
        break;
    case vmMonth:
        for (int i = 0; i < 35; ++i)
            days << start.addDays(i);
        break;
    }
    return days;
}

QDate SchedShownMonth(const QList<QDate>& days)
{
    if (days.isEmpty())
        return {};
    const QDate middle = days.at(days.size() / 2);
    return QDate(middle.year(), middle.month(), 1);
}

QStringList SchedZoomEntries()
{
    return {QStringLiteral("500%"), QStringLiteral("200%"), QStringLiteral("150%"),
            QStringLiteral("100%"), QStringLiteral("75%"),  QStringLiteral("50%"),
            QStringLiteral("25%"),  QStringLiteral("10%"),  QStringLiteral("Page Width"),
            QStringLiteral("Whole Page")};
}

TSchedZoomChoice SchedParseZoom(const QString& text)
{
    TSchedZoomChoice choice;
    if (text == QLatin1String("Page Width")) {
        choice.kind = TSchedZoomChoice::PageWidth;
        return choice;
    }
    if (text == QLatin1String("Whole Page")) {
        choice.kind = TSchedZoomChoice::WholePage;
        return choice;
    }
    QString number = text;
    if (number.endsWith(QLatin1Char('%')))
        number.chop(1);
    bool ok = false;
    // Surrounding blanks are allowed, as the class library's integer conversion does.
    const int percent = number.trimmed().toInt(&ok);
    if (!ok || number.trimmed().isEmpty()) {
        choice.error = QStringLiteral("'%1' is not a valid integer value").arg(number);
        return choice;
    }
    if (percent <= 0) {
        // A page cannot be shown at no size: refused like text, the scale stays.
        choice.error = QStringLiteral("'%1' is not a valid scale").arg(number);
        return choice;
    }
    choice.kind = TSchedZoomChoice::Scale;
    choice.percent = percent;
    return choice;
}
