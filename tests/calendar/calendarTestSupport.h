#pragma once

#include "uSchedServer.h"

#include <QDate>
#include <QTime>

// A short appointment (864 seconds) at date and time with the given caption.
inline void add(TSchedServer& s, QDate date, QTime time, const QString& caption)
{
    TSchedItemRec r;
    r.Start = SchedTimeFromDate(date, time);
    r.Finish = r.Start + 864'000;
    r.Caption = caption;
    s.Add(r);
}
