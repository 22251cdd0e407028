#include "uIcalLibrary.h"

#include "uDiaryExport.h"

namespace diaryexport {

const TIcalLibrary& ical()
{
    const auto& loaded = platform::LoadLibraryOnce<TIcalLibrary>(
        "libical.so.3", "The calendar library", [](void* library, TIcalLibrary& table, QString& missing) {
#define QUILLORY_LOAD(name) QUILLORY_LIBRARY_LOAD(library, table, missing, ical, name)
            QUILLORY_ICAL_FUNCTIONS(QUILLORY_LOAD)
#undef QUILLORY_LOAD
        });
    if (!loaded.failure.isEmpty())
        throw EDiaryExportError(loaded.failure);
    return loaded.table;
}

} // namespace diaryexport
