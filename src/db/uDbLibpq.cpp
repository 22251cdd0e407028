#include "uDbLibpq.h"

#include "uDbError.h"

#include <QString>

#include <mutex>

namespace dbbackends {

const TLibpq& libpq()
{
    static TLibpq table;
    static QString failure;
    static std::once_flag once;
    std::call_once(once, [] {
        // The soname the program was built against: its functions are what the code calls.
        constexpr const char* kName = "libpq.so.5";
        void* library = platform::OpenLibrary(kName, failure);
        if (!library) {
            failure = QStringLiteral("The PostgreSQL client library could not be loaded: %1").arg(failure);
            return;
        }
        TLibpq loaded;
        QString missing;
#define QUILLORY_LIBPQ_LOAD(name) QUILLORY_LIBRARY_LOAD(library, loaded, missing, PQ, name)
        QUILLORY_LIBPQ_FUNCTIONS(QUILLORY_LIBPQ_LOAD)
#undef QUILLORY_LIBPQ_LOAD
        if (!missing.isEmpty()) {
            failure = QStringLiteral("The PostgreSQL client library %1 lacks %2.").arg(QLatin1String(kName), missing);
            return;
        }
        table = loaded;
    });
    if (!failure.isEmpty())
        throw EDbError(failure);
    return table;
}

} // namespace dbbackends
