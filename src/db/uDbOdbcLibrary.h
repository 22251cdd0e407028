#pragma once

#include "uLoadedLibrary.h"

#include <sql.h>
#include <sqlext.h>

// The ODBC driver manager, loaded on the first ODBC connection or data source list
// instead of at every start, as SQLite is (uDbSqliteLibrary). A file including this
// header calls ODBC through the table: the names defined at the end stand for its members.
#define QUILLORY_ODBC_FUNCTIONS(F) \
    F(AllocHandle) F(Cancel) F(ColAttribute) F(Columns) F(DataSources) F(DescribeCol) F(Disconnect) \
        F(DriverConnect) F(ExecDirect) F(Fetch) F(FreeHandle) F(GetData) F(GetDiagRec) F(GetInfo) \
        F(MoreResults) F(NumResultCols) F(SetConnectAttr) F(SetEnvAttr) F(SetStmtAttr) F(Tables)

struct TOdbcLibrary
{
#define QUILLORY_ODBC_FUNCTIONS_MEMBER(name) QUILLORY_LIBRARY_MEMBER(SQL, name)
    QUILLORY_ODBC_FUNCTIONS(QUILLORY_ODBC_FUNCTIONS_MEMBER)
#undef QUILLORY_ODBC_FUNCTIONS_MEMBER
};

namespace dbbackends {
// The library, loaded once; EDbError saying why when it cannot be.
const TOdbcLibrary& odbc();
} // namespace dbbackends

#define SQLAllocHandle dbbackends::odbc().AllocHandle
#define SQLCancel dbbackends::odbc().Cancel
#define SQLColAttribute dbbackends::odbc().ColAttribute
#define SQLColumns dbbackends::odbc().Columns
#define SQLDataSources dbbackends::odbc().DataSources
#define SQLDescribeCol dbbackends::odbc().DescribeCol
#define SQLDisconnect dbbackends::odbc().Disconnect
#define SQLDriverConnect dbbackends::odbc().DriverConnect
#define SQLExecDirect dbbackends::odbc().ExecDirect
#define SQLFetch dbbackends::odbc().Fetch
#define SQLFreeHandle dbbackends::odbc().FreeHandle
#define SQLGetData dbbackends::odbc().GetData
#define SQLGetDiagRec dbbackends::odbc().GetDiagRec
#define SQLGetInfo dbbackends::odbc().GetInfo
#define SQLMoreResults dbbackends::odbc().MoreResults
#define SQLNumResultCols dbbackends::odbc().NumResultCols
#define SQLSetConnectAttr dbbackends::odbc().SetConnectAttr
#define SQLSetEnvAttr dbbackends::odbc().SetEnvAttr
#define SQLSetStmtAttr dbbackends::odbc().SetStmtAttr
#define SQLTables dbbackends::odbc().Tables
