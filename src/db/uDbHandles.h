#pragma once

#include <memory>

// Owner of a C library's handle: the handle is released exactly once, on every way out
// of a scope (an error thrown halfway included), by the library function named in the
// type, e.g. CHandle<sqlite3_stmt, sqlite3_finalize>.
template <auto Release> struct CRelease
{
    template <typename T> void operator()(T* handle) const { Release(handle); }
};

template <typename T, auto Release> using CHandle = std::unique_ptr<T, CRelease<Release>>;

// The SQLite handles, shared by the SQLite and the Access backends.
#include "uDbSqliteLibrary.h"

inline void closeSqlite(sqlite3* db)
{
    sqlite3_close_v2(db);
}
inline void finalizeSqlite(sqlite3_stmt* statement)
{
    sqlite3_finalize(statement);
}
inline void freeSqlite(char* text)
{
    sqlite3_free(text);
}
using SqlitePtr = CHandle<sqlite3, closeSqlite>;
using SqliteStatementPtr = CHandle<sqlite3_stmt, finalizeSqlite>;
