#pragma once

#include <QString>

#include <mutex>

// A shared library loaded when first used rather than at every start: each one the
// program links costs its start mapping, relocation and page faults, whether or not the
// user ever needs it. A table of the library's functions is filled by name once.
namespace platform {

// Opens the library by its soname; nullptr with the reason in failure when it cannot.
void* OpenLibrary(const char* soname, QString& failure);
// The named function of an open library; nullptr when it lacks it.
void* LibraryFunction(void* library, const char* name);

// A library's table of functions, or why there is none.
template <typename Table> struct TLoadedLibrary
{
    Table table;
    QString failure; // empty when loaded
};

// Opens the library once, for the whole run, and fills a Table through
// fill(library, table, missing), which names in missing a function it did not find. what
// names the library in the failure ("The SQLite library").
template <typename Table, typename Fill>
const TLoadedLibrary<Table>& LoadLibraryOnce(const char* soname, const char* what, Fill fill)
{
    static TLoadedLibrary<Table> loaded;
    static std::once_flag once;
    std::call_once(once, [&] {
        QString failure;
        void* library = OpenLibrary(soname, failure);
        if (!library) {
            loaded.failure = QStringLiteral("%1 could not be loaded: %2").arg(QLatin1String(what), failure);
            return;
        }
        Table table;
        QString missing;
        fill(library, table, missing);
        if (!missing.isEmpty()) {
            loaded.failure =
                QStringLiteral("%1 %2 lacks %3.").arg(QLatin1String(what), QLatin1String(soname), missing);
            return;
        }
        loaded.table = table;
    });
    return loaded;
}

} // namespace platform

// Declares a table member per function of an X-macro list, typed as the library's own
// declaration of prefix##name.
#define QUILLORY_LIBRARY_MEMBER(prefix, name) decltype(&prefix##name) name = nullptr;

// Fills table from library by the names prefix##name; sets missing to a name not found.
#define QUILLORY_LIBRARY_LOAD(library, table, missing, prefix, name)                                            \
    table.name = reinterpret_cast<decltype(table.name)>(platform::LibraryFunction(library, #prefix #name));       \
    if (!table.name)                                                                                             \
        missing = QStringLiteral(#prefix #name);
