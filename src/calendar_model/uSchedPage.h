#pragma once

#include "uSchedPeriod.h"
#include "uSchedServer.h"

#include <QDate>
#include <QFont>
#include <QLocale>
#include <QRectF>
#include <QString>

class QPainter;

// A printed page: header line, title, the period, footer line.
enum class TSchedPageKind
{
    Day,
    Week,
    Month
};

struct TSchedPageSpec
{
    TSchedPageKind kind = TSchedPageKind::Day;
    QDate start;
    QLocale locale;
    Qt::DayOfWeek firstDay = Qt::Monday;
    int topMinute = 8 * 60; // day page: the printed time range
    int endMinute = 18 * 60;
    int slotMinutes = 30;
};

struct TSchedPageTexts
{
    QString header;
    QString title;
    QString footer;
};

// The days a page prints: the day; the week that holds the start; five weeks from it.
QList<QDate> SchedPageDays(const TSchedPageSpec& spec);
TSchedPageTexts SchedPageTexts(const TSchedPageSpec& spec);
// The page fonts: Arial 8 pt (header and footer), 24 pt (title), 12 pt (body). Where
// Arial is missing the font system's metric-compatible substitute is used.
QFont SchedPageFont(int pointSize);
// Draws the page into the painter's device within page (device coordinates).
void SchedPaintPage(QPainter& painter, const QRectF& page, const TSchedServer* server, const TSchedPageSpec& spec);

