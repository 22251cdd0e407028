#pragma once

#include "uLoadedLibrary.h"

#include <sqlite3.h>

// SQLite, loaded on the first SQLite or Access connection instead of at every start: a
// tray program that may never open a query should not load its database libraries. A
// file including this header calls SQLite through the table: the names defined at the
// end stand for its members.
#define QUILLORY_SQLITE_FUNCTIONS(F) \
    F(bind_blob) F(bind_double) F(bind_int64) F(bind_text) F(busy_timeout) F(clear_bindings) F(close_v2) \
        F(column_blob) F(column_bytes) F(column_count) F(column_decltype) F(column_double) F(column_int64) \
        F(column_name) F(column_text) F(column_type) F(db_release_memory) F(errmsg) F(exec) \
        F(extended_result_codes) F(finalize) F(free) F(interrupt) F(keyword_check) F(open_v2) F(prepare_v2) \
        F(progress_handler) F(reset) F(set_authorizer) F(step)

struct TSqliteLibrary
{
#define QUILLORY_SQLITE_MEMBER(name) QUILLORY_LIBRARY_MEMBER(sqlite3_, name)
    QUILLORY_SQLITE_FUNCTIONS(QUILLORY_SQLITE_MEMBER)
#undef QUILLORY_SQLITE_MEMBER
};

namespace dbbackends {
// The library, loaded once; EDbError saying why when it cannot be.
const TSqliteLibrary& sqlite();
} // namespace dbbackends

#define sqlite3_bind_blob dbbackends::sqlite().bind_blob
#define sqlite3_bind_double dbbackends::sqlite().bind_double
#define sqlite3_bind_int64 dbbackends::sqlite().bind_int64
#define sqlite3_bind_text dbbackends::sqlite().bind_text
#define sqlite3_busy_timeout dbbackends::sqlite().busy_timeout
#define sqlite3_clear_bindings dbbackends::sqlite().clear_bindings
#define sqlite3_close_v2 dbbackends::sqlite().close_v2
#define sqlite3_column_blob dbbackends::sqlite().column_blob
#define sqlite3_column_bytes dbbackends::sqlite().column_bytes
#define sqlite3_column_count dbbackends::sqlite().column_count
#define sqlite3_column_decltype dbbackends::sqlite().column_decltype
#define sqlite3_column_double dbbackends::sqlite().column_double
#define sqlite3_column_int64 dbbackends::sqlite().column_int64
#define sqlite3_column_name dbbackends::sqlite().column_name
#define sqlite3_column_text dbbackends::sqlite().column_text
#define sqlite3_column_type dbbackends::sqlite().column_type
#define sqlite3_db_release_memory dbbackends::sqlite().db_release_memory
#define sqlite3_errmsg dbbackends::sqlite().errmsg
#define sqlite3_exec dbbackends::sqlite().exec
#define sqlite3_extended_result_codes dbbackends::sqlite().extended_result_codes
#define sqlite3_finalize dbbackends::sqlite().finalize
#define sqlite3_free dbbackends::sqlite().free
#define sqlite3_interrupt dbbackends::sqlite().interrupt
#define sqlite3_keyword_check dbbackends::sqlite().keyword_check
#define sqlite3_open_v2 dbbackends::sqlite().open_v2
#define sqlite3_prepare_v2 dbbackends::sqlite().prepare_v2
#define sqlite3_progress_handler dbbackends::sqlite().progress_handler
#define sqlite3_reset dbbackends::sqlite().reset
#define sqlite3_set_authorizer dbbackends::sqlite().set_authorizer
#define sqlite3_step dbbackends::sqlite().step
