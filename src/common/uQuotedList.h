#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The one reader of quoted values: the tilde form of SQL lines, the comma lists of the
// CSV export and the values of connection strings all write a value that holds
// delimiters or blanks between quotes, with a quote inside doubled.

struct TQuotedValue
{
    QString value;      // without its quotes, a doubled quote read as one
    qsizetype end = 0;  // one past the closing quote (or the text's length)
    bool closed = true; // false when the closing quote is missing: the value ran to the end
};

// The quoted value whose opening quote stands at text[open]; the quote character is
// that one.
TQuotedValue ReadQuotedValue(QStringView text, qsizetype open);

// Blanks and control characters (codes 1 to 32) that surround and, outside quotes, end
// the items of a quoted list. Code 0 is an ordinary character.
inline bool IsListBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

// The items of a list separated by delimiter or, outside double quotes, by blanks; a
// quoted item may hold both; blanks around items are dropped; a delimiter at the very
// end gives an empty last item; a missing closing quote takes the rest of the text.
QStringList SplitQuotedList(QStringView text, QChar delimiter);
