#pragma once

#include "uLoadedLibrary.h"

#include <libical/ical.h>

// libical, loaded on the first calendar export instead of at every start. A file
// including this header calls libical through the table: the names defined at the end
// stand for its members.
#define QUILLORY_ICAL_FUNCTIONS(F) \
    F(component_add_property) F(component_as_ical_string_r) F(component_free) \
        F(component_new) F(errno_return) F(error_strerror) F(property_new_calscale) \
        F(property_new_dtend) F(property_new_dtstamp) F(property_new_dtstart) \
        F(property_new_prodid) F(property_new_summary) F(property_new_uid) \
        F(property_new_version) F(property_new_x) F(property_set_x_name) \
        F(time_from_timet_with_zone) F(time_null_time) F(timezone_get_utc_timezone)

struct TIcalLibrary
{
#define QUILLORY_ICAL_MEMBER(name) QUILLORY_LIBRARY_MEMBER(ical, name)
    QUILLORY_ICAL_FUNCTIONS(QUILLORY_ICAL_MEMBER)
#undef QUILLORY_ICAL_MEMBER
};

namespace diaryexport {
// The library, loaded once; EDiaryExportError saying why when it cannot be.
const TIcalLibrary& ical();
} // namespace diaryexport

#define icalcomponent_add_property diaryexport::ical().component_add_property
#define icalcomponent_as_ical_string_r diaryexport::ical().component_as_ical_string_r
#define icalcomponent_free diaryexport::ical().component_free
#define icalcomponent_new diaryexport::ical().component_new
#define icalerrno_return diaryexport::ical().errno_return
#define icalerror_strerror diaryexport::ical().error_strerror
#define icalproperty_new_calscale diaryexport::ical().property_new_calscale
#define icalproperty_new_dtend diaryexport::ical().property_new_dtend
#define icalproperty_new_dtstamp diaryexport::ical().property_new_dtstamp
#define icalproperty_new_dtstart diaryexport::ical().property_new_dtstart
#define icalproperty_new_prodid diaryexport::ical().property_new_prodid
#define icalproperty_new_summary diaryexport::ical().property_new_summary
#define icalproperty_new_uid diaryexport::ical().property_new_uid
#define icalproperty_new_version diaryexport::ical().property_new_version
#define icalproperty_new_x diaryexport::ical().property_new_x
#define icalproperty_set_x_name diaryexport::ical().property_set_x_name
#define icaltime_from_timet_with_zone diaryexport::ical().time_from_timet_with_zone
#define icaltime_null_time diaryexport::ical().time_null_time
#define icaltimezone_get_utc_timezone diaryexport::ical().timezone_get_utc_timezone
