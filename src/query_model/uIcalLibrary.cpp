#include "uIcalLibrary.h"

#include "uDiaryExport.h"

#include <mutex>

namespace diaryexport {

const TIcalLibrary& ical()
{
    static TIcalLibrary table;
    static QString failure;
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr const char* kName = "libical.so.3";
        void* library = platform::OpenLibrary(kName, failure);
        if (!library) {
            failure = QStringLiteral("The calendar library could not be loaded: %1").arg(failure);
            return;
        }
        TIcalLibrary loaded;
        QString missing;
#define QUILLORY_ICAL_LOAD(name) QUILLORY_LIBRARY_LOAD(library, loaded, missing, ical, name)
        QUILLORY_ICAL_FUNCTIONS(QUILLORY_ICAL_LOAD)
#undef QUILLORY_ICAL_LOAD
        if (!missing.isEmpty()) {
            failure = QStringLiteral("The calendar library %1 lacks %2.").arg(QLatin1String(kName), missing);
            return;
        }
        table = loaded;
    });
    if (!failure.isEmpty())
        throw EDiaryExportError(failure);
    return table;
}

} // namespace diaryexport
