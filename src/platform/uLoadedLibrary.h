#pragma once

#include <QString>

// A shared library loaded when first used rather than at every start: each one the
// program links costs its start mapping, relocation and page faults, whether or not the
// user ever needs it. A table of the library's functions is filled by name once.
namespace platform {

// Opens the library by its soname; nullptr with the reason in failure when it cannot.
void* OpenLibrary(const char* soname, QString& failure);
// The named function of an open library; nullptr when it lacks it.
void* LibraryFunction(void* library, const char* name);

} // namespace platform

// Declares a table member per function of an X-macro list, typed as the library's own
// declaration of prefix##name.
#define QUILLORY_LIBRARY_MEMBER(prefix, name) decltype(&prefix##name) name = nullptr;

// Fills table from library by the names prefix##name; sets missing to a name not found.
#define QUILLORY_LIBRARY_LOAD(library, table, missing, prefix, name)                                            \
    table.name = reinterpret_cast<decltype(table.name)>(platform::LibraryFunction(library, #prefix #name));       \
    if (!table.name)                                                                                             \
        missing = QStringLiteral(#prefix #name);
