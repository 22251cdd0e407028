#pragma once

#include <QString>
#include <QStringList>

// The tilde form: the lines of an SQL text as one text, the form in which the last
// fetched SQL is kept in the parameter file. Lines are separated by "~"; a line holding
// a blank, a control character (codes 1 to 32), a double quotation mark or a "~" is
// enclosed in double quotation marks with every quotation mark inside doubled.
//
// Every list of lines comes back unchanged from ReadTildeText(TildeText(lines)). Texts
// written by hand read as the same rules say: unquoted blanks separate lines, and blanks
// and control characters around items are dropped.

// One line that is empty gives "\"\""; no lines give an empty text.
QString TildeText(const QStringList& lines);

// Never fails: a quotation mark without its closing one takes the rest of the text.
QStringList ReadTildeText(const QString& text);
