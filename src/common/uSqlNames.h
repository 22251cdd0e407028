#pragma once

#include <QString>

// Rules for writing a table or field name into SQL text, shared by the designer's
// statement generator and the database layer.

// True for a name that any engine reads as itself without quotes: ASCII letters, digits
// and underscores, not starting with a digit.
bool IsPlainSqlName(const QString& name);

// True when the name (in any case) is a reserved word of standard SQL, SQLite, SQL Server
// or Access SQL: such a name must be quoted even when it is plain.
bool IsSqlReservedWord(const QString& name);

// "[" + name + "]" with every "]" doubled: the bracket form of Access and SQL Server.
QString BracketSqlName(const QString& name);
