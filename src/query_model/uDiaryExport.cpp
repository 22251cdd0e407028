#include "uDiaryExport.h"

#include "uIcalLibrary.h"
#include "uWriteWhole.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

struct ComponentFree
{
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentFree>;

// libical's text of a component; its buffer is the caller's.
QByteArray icalText(icalcomponent* component)
{
    char* text = icalcomponent_as_ical_string_r(component);
    if (!text)
        throw EDiaryExportError(QStringLiteral("The calendar entry could not be written: %1")
                                    .arg(QString::fromUtf8(icalerror_strerror(icalerrno))));
    QByteArray bytes(text);
    std::free(text);
    return bytes;
}

// A wall-clock time without a zone: a floating local time in iCalendar.
bool floatingTime(TSchedTime t, icaltimetype& out)
{
    const QDate date = SchedDateOf(t);
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return false;
    const int secs = SchedMsecsOfDay(t) / 1000;
    out = icaltime_null_time();
    out.year = date.year();
    out.month = date.month();
    out.day = date.day();
    out.hour = secs / 3600;
    out.minute = secs / 60 % 60;
    out.second = secs % 60;
    out.is_date = 0;
    out.zone = nullptr;
    return true;
}

// Where the bytes go: a save file replaced on commit for a regular (or new) file; the
// device itself for anything else (a pipe, /dev/null), which cannot be replaced by a
// rename and must not be: renaming over a device would put a plain file in its place.
class Target
{
public:
    explicit Target(const QString& fileName) : m_name(fileName)
    {
        const QFileInfo info(fileName);
        if (info.exists() && !info.isFile() && !info.isDir())
            m_file = std::make_unique<QFile>(fileName);
        else
            m_file = std::make_unique<QSaveFile>(fileName);
        // Unbuffered: a full disk must show at the write that meets it (see WriteWhole).
        if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            fail();
    }

    void write(const QByteArray& bytes)
    {
        if (!platform::WriteWhole(*m_file, bytes))
            fail();
    }

    void commit()
    {
        if (auto* save = qobject_cast<QSaveFile*>(m_file.get())) {
            if (!save->commit())
                fail();
        } else {
            m_file->close();
            if (m_file->error() != QFileDevice::NoError)
                fail();
        }
    }

private:
    [[noreturn]] void fail()
    {
        throw EDiaryExportError(QStringLiteral("Cannot write the diary to \"%1\": %2").arg(m_name, m_file->errorString()));
    }

    QString m_name;
    std::unique_ptr<QFileDevice> m_file;
};

} // namespace

TDiaryExportResult DiaryExportICalendar(const QString& fileName, const TDbRows& rows, const TDiaryChoice& choice,
                                        const QString& calendarName, const QString& uidBase)
{
    if (choice.date < 0 || choice.description < 0 || choice.date >= rows.FieldCount() ||
        choice.description >= rows.FieldCount() || choice.secondary >= rows.FieldCount())
        throw EDiaryExportError(QStringLiteral("Choose the columns of the diary before exporting it."));

    // The calendar's own lines come from libical too: its text is cut where its events go.
    ComponentPtr calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Quillory//Diary//EN"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_calscale("GREGORIAN"));
    icalproperty* name = icalproperty_new_x(calendarName.toUtf8().constData());
    icalproperty_set_x_name(name, "X-WR-CALNAME");
    icalcomponent_add_property(calendar.get(), name);
    const QByteArray whole = icalText(calendar.get());
    const qsizetype end = whole.lastIndexOf("END:VCALENDAR");
    if (end < 0)
        throw EDiaryExportError(QStringLiteral("The calendar could not be written."));

    const icaltimetype stamp = icaltime_from_timet_with_zone(std::time(nullptr), 0, icaltimezone_get_utc_timezone());
    const QByteArray uidStem = uidBase.toUtf8();
    TDiaryExportResult result;
    Target target(fileName);
    QByteArray buffer = whole.left(end);
    constexpr qsizetype kFlushAt = 1 << 16;
    for (qsizetype r = 0; r < rows.RowCount(); ++r) {
        const TSchedItemRec rec = DiaryEntry(rows, r, choice);
        icaltimetype start, finish;
        if (!floatingTime(rec.Start, start) || !floatingTime(rec.Finish, finish)) {
            ++result.skipped;
            continue;
        }
        ComponentPtr event(icalcomponent_new(ICAL_VEVENT_COMPONENT));
        const QByteArray uid = uidStem + '-' + QByteArray::number(r + 1) + "@quillory";
        icalcomponent_add_property(event.get(), icalproperty_new_uid(uid.constData()));
        icalcomponent_add_property(event.get(), icalproperty_new_dtstamp(stamp));
        icalcomponent_add_property(event.get(), icalproperty_new_dtstart(start));
        icalcomponent_add_property(event.get(), icalproperty_new_dtend(finish));
        icalcomponent_add_property(event.get(), icalproperty_new_summary(rec.Caption.toUtf8().constData()));
        buffer += icalText(event.get());
        ++result.written;
        if (buffer.size() >= kFlushAt) {
            target.write(buffer);
            buffer.clear();
        }
    }
    buffer += whole.mid(end);
    target.write(buffer);
    target.commit();
    return result;
}
