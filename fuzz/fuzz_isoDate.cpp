// The ISO date reader every fetched date passes through. Any bytes read without fault;
// what it takes is a real day and time of day, and the text written back from that reads
// as the same value. The rows' date columns take the same bytes and hold that value, or
// show the cell empty when it was none, without ever turning into text.
#include "fuzzSupport.h"
#include "uDateText.h"
#include "uDbRowsBuilder.h"

#include <QDate>
#include <QTime>

namespace {

QString show(const char* text, qsizetype length)
{
    return QString::fromLatin1(QByteArray(text, length).toPercentEncoding(" :-+.,TZ"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    const auto length = qsizetype(size);

    qint64 day = -1;
    int msecs = -1;
    const TIsoText kind = ParseIsoDateTime(text, length, day, msecs);
    if (kind == TIsoText::None) {
        fuzz::check(day == -1 && msecs == -1, "outputs set for no date", show(text, length));
    } else {
        const QDate date = QDate::fromJulianDay(day);
        fuzz::check(date.isValid(), "no valid day", show(text, length));
        fuzz::check(msecs >= 0 && msecs < kMsecsPerDay, "time of day out of range", show(text, length));
        fuzz::check(kind == TIsoText::DateTime || msecs == 0, "a date alone with a time", show(text, length));
        const QByteArray again =
            date.toString(Qt::ISODate).toLatin1() + ' ' + IsoText(QTime::fromMSecsSinceStartOfDay(msecs));
        qint64 day2 = 0;
        int msecs2 = 0;
        fuzz::check(ParseIsoDateTime(again.constData(), again.size(), day2, msecs2) == TIsoText::DateTime &&
                        day2 == day && msecs2 == msecs,
                    "written text reads back differently", show(text, length) + " -> " + QString::fromLatin1(again));
    }

    int timeOfDay = -1;
    if (ParseIsoTime(text, length, timeOfDay)) {
        fuzz::check(timeOfDay >= 0 && timeOfDay < kMsecsPerDay, "time out of range", show(text, length));
        const QByteArray again = IsoText(QTime::fromMSecsSinceStartOfDay(timeOfDay));
        int again2 = -1;
        fuzz::check(ParseIsoTime(again.constData(), again.size(), again2) && again2 == timeOfDay,
                    "written time reads back differently", show(text, length));
    }

    TDbRowsBuilder builder({TDbField{"d", {}, TDbFieldType::Date, {}, 0},
                            TDbField{"dt", {}, TDbFieldType::DateTime, {}, 0},
                            TDbField{"t", {}, TDbFieldType::Time, {}, 0}});
    for (int column = 0; column < 3; ++column)
        builder.AppendText(text, length);
    const TDbRowsPtr rows = builder.Finish();
    fuzz::check(rows->Field(0).type == TDbFieldType::Date || rows->Field(0).type == TDbFieldType::DateTime,
                "a date column changed its kind", show(text, length));
    fuzz::check(rows->Field(1).type == TDbFieldType::DateTime && rows->Field(2).type == TDbFieldType::Time,
                "a date column changed its kind", show(text, length));
    qint64 heldDay = 0;
    int heldMsecs = 0;
    for (int column = 0; column < 2; ++column) {
        fuzz::check(rows->IsNull(0, column) == (kind == TIsoText::None), "null does not follow the reader",
                    show(text, length));
        if (kind != TIsoText::None)
            fuzz::check(rows->AsJulianDayTime(0, column, heldDay, heldMsecs) && heldDay == day &&
                            heldMsecs == msecs,
                        "the rows hold another value", show(text, length));
    }
    fuzz::check(rows->Warning().isEmpty() == (kind != TIsoText::None && !rows->IsNull(0, 2)),
                "the warning does not follow the empty cells", show(text, length) + " " + rows->Warning());
    return 0;
}
