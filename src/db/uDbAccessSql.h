#pragma once

#include <QString>

// The few forms of Access SQL that users type in hand-written SELECTs and that SQLite
// does not take, rewritten into SQLite's own:
//   SELECT TOP n ...           → SELECT ... LIMIT n (at the end of that SELECT)
//   #2004-01-31#, #1/31/2004#  → '2004-01-31' (with " hh:mm:ss" when a time is given;
//                                 a time alone falls on 1899-12-30, as Access keeps it)
//   DISTINCTROW                → DISTINCT
//   True / False               → -1 / 0 (Access's own values)
//   Like 'A*' / Like "?b"      → LIKE 'A%' / LIKE '_b' (a literal % or _ is escaped)
// The text is split into tokens first, so string literals, bracketed names and comments
// are never changed. Everything else is passed on unchanged, so SQLite's own error text
// tells the user what it does not take.
QString TranslateAccessSql(const QString& sql);

// The text form in which the Access backend keeps date/time values: "YYYY-MM-DD" at
// midnight, else "YYYY-MM-DD hh:mm:ss" (".zzz" when there are milliseconds). Sorting the
// texts sorts the dates. julianDay as QDate counts it; msecs since midnight.
QByteArray AccessDateText(qint64 julianDay, int msecs);
