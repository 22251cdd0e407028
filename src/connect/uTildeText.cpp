#include "uTildeText.h"

namespace {

constexpr QChar kDelimiter = u'~';
constexpr QChar kQuote = u'"';

// Blank and control characters: they end an unquoted item and are skipped between items.
// Code 0 is an ordinary character here (a text ends at its length, not at a zero).
bool isSpace(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

bool needsQuotes(const QString& line)
{
    for (QChar c : line)
        if (isSpace(c) || c == kQuote || c == kDelimiter)
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
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype p = 0;
    auto skipSpaces = [&] {
        while (p < n && isSpace(text[p]))
            ++p;
    };
    skipSpaces();
    while (p < n) {
        QString item;
        if (text[p] == kQuote) {
            // Up to the closing quote that is not doubled; a doubled one stands for one.
            ++p;
            while (p < n) {
                if (text[p] == kQuote) {
                    if (p + 1 < n && text[p + 1] == kQuote) {
                        item += kQuote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const qsizetype start = p;
            while (p < n && !isSpace(text[p]) && text[p] != kDelimiter)
                ++p;
            item = text.mid(start, p - start);
        }
        lines << item;
        skipSpaces();
        if (p < n && text[p] == kDelimiter) {
            // A "~" at the very end stands for a last, empty line.
            if (p + 1 == n)
                lines << QString();
            ++p;
            skipSpaces();
        }
    }
    return lines;
}
