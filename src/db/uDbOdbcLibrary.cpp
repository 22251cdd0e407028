#include "uDbOdbcLibrary.h"

#include "uDbError.h"

namespace dbbackends {

const TOdbcLibrary& odbc()
{
    const auto& loaded = platform::LoadLibraryOnce<TOdbcLibrary>(
        "libodbc.so.2", "The ODBC driver manager", [](void* library, TOdbcLibrary& table, QString& missing) {
#define QUILLORY_LOAD(name) QUILLORY_LIBRARY_LOAD(library, table, missing, SQL, name)
            QUILLORY_ODBC_FUNCTIONS(QUILLORY_LOAD)
#undef QUILLORY_LOAD
        });
    if (!loaded.failure.isEmpty())
        throw EDbError(loaded.failure);
    return loaded.table;
}

} // namespace dbbackends
