#include "uDbOdbcLibrary.h"

#include "uDbError.h"

#include <mutex>

namespace dbbackends {

const TOdbcLibrary& odbc()
{
    static TOdbcLibrary table;
    static QString failure;
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr const char* kName = "libodbc.so.2";
        void* library = platform::OpenLibrary(kName, failure);
        if (!library) {
            failure = QStringLiteral("The ODBC driver manager could not be loaded: %1").arg(failure);
            return;
        }
        TOdbcLibrary loaded;
        QString missing;
#define QUILLORY_ODBC_FUNCTIONS_LOAD(name) QUILLORY_LIBRARY_LOAD(library, loaded, missing, SQL, name)
        QUILLORY_ODBC_FUNCTIONS(QUILLORY_ODBC_FUNCTIONS_LOAD)
#undef QUILLORY_ODBC_FUNCTIONS_LOAD
        if (!missing.isEmpty()) {
            failure = QStringLiteral("The ODBC driver manager %1 lacks %2.").arg(QLatin1String(kName), missing);
            return;
        }
        table = loaded;
    });
    if (!failure.isEmpty())
        throw EDbError(failure);
    return table;
}

} // namespace dbbackends
