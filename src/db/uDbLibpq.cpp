#include "uDbLibpq.h"

#include "uDbError.h"

namespace dbbackends {

const TLibpq& libpq()
{
    // The soname the program was built against: its functions are what the code calls.
    const auto& loaded = platform::LoadLibraryOnce<TLibpq>(
        "libpq.so.5", "The PostgreSQL client library", [](void* library, TLibpq& table, QString& missing) {
#define QUILLORY_LOAD(name) QUILLORY_LIBRARY_LOAD(library, table, missing, PQ, name)
            QUILLORY_LIBPQ_FUNCTIONS(QUILLORY_LOAD)
#undef QUILLORY_LOAD
        });
    if (!loaded.failure.isEmpty())
        throw EDbError(loaded.failure);
    return loaded.table;
}

} // namespace dbbackends
