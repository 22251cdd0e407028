#pragma once

#include <QList>
#include <QString>

// One key "=" value item of a connection string, with where its parts stand in the text.
struct TConnectionItem
{
    QString key;   // blanks around it removed
    QString value; // quotes removed (a doubled quote inside stands for one), or trimmed
    qsizetype itemStart = 0;  // first character of the item (its key, blanks included)
    qsizetype valueStart = 0; // first character of the value as written (its opening quote)
    qsizetype valueEnd = 0;   // one past its last character (past the closing quote)
    QChar quote;              // the quote the value was written in; null when unquoted
    bool closed = true;       // false for a quote left open (the value runs to the end)
};

// The items of a connection string, the way the database layer reads them: items end at
// ";"; a value may be enclosed in double or single quotes so that it can hold a ";"
// (unterminated quotes run to the end); unquoted values keep inner blanks; pieces
// without "=" and items without a key are skipped. The one scanner behind
// TDbConnectionString and the password scrambler, so both see the same values.
QList<TConnectionItem> ScanConnectionItems(const QString& text);
