#include "uDbSqliteLibrary.h"

#include "uDbError.h"

namespace dbbackends {

const TSqliteLibrary& sqlite()
{
    const auto& loaded = platform::LoadLibraryOnce<TSqliteLibrary>(
        "libsqlite3.so.0", "The SQLite library", [](void* library, TSqliteLibrary& table, QString& missing) {
#define QUILLORY_LOAD(name) QUILLORY_LIBRARY_LOAD(library, table, missing, sqlite3_, name)
            QUILLORY_SQLITE_FUNCTIONS(QUILLORY_LOAD)
#undef QUILLORY_LOAD
        });
    if (!loaded.failure.isEmpty())
        throw EDbError(loaded.failure);
    return loaded.table;
}

} // namespace dbbackends
