#include "uDbSqliteLibrary.h"

#include "uDbError.h"

#include <mutex>

namespace dbbackends {

const TSqliteLibrary& sqlite()
{
    static TSqliteLibrary table;
    static QString failure;
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr const char* kName = "libsqlite3.so.0";
        void* library = platform::OpenLibrary(kName, failure);
        if (!library) {
            failure = QStringLiteral("The SQLite library could not be loaded: %1").arg(failure);
            return;
        }
        TSqliteLibrary loaded;
        QString missing;
#define QUILLORY_SQLITE_LOAD(name) QUILLORY_LIBRARY_LOAD(library, loaded, missing, sqlite3_, name)
        QUILLORY_SQLITE_FUNCTIONS(QUILLORY_SQLITE_LOAD)
#undef QUILLORY_SQLITE_LOAD
        if (!missing.isEmpty()) {
            failure = QStringLiteral("The SQLite library %1 lacks %2.").arg(QLatin1String(kName), missing);
            return;
        }
        table = loaded;
    });
    if (!failure.isEmpty())
        throw EDbError(failure);
    return table;
}

} // namespace dbbackends
