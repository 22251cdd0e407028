#include "uTildeText.h"

#include "uQuotedList.h"

namespace {

constexpr QChar kDelimiter = u'~';
constexpr QChar kQuote = u'"';

bool needsQuotes(const QString& line)
{
    for (QChar c : line)
        if (IsListBlank(c) || c == kQuote || c == kDelimiter)
            return true;
    return false;
}

QString quoted(const QString& line)
{
    QString out;
    out.reserve(line.size() + 2);
    out += kQuote;
    for (QChar c : line) {
        if (c == kQuote)
            out += kQuote;
        out += c;
    }
    out += kQuote;
    return out;
}

} // namespace

QString TildeText(const QStringList& lines)
{
    if (lines.size() == 1 && lines.first().isEmpty())
        return QString(2, kQuote);
    QString out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += kDelimiter;
        out += needsQuotes(lines[i]) ? quoted(lines[i]) : lines[i];
    }
    return out;
}

QStringList ReadTildeText(const QString& text)
{
    return SplitQuotedList(text, kDelimiter);
}
