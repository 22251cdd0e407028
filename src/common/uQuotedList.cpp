#include "uQuotedList.h"

TQuotedValue ReadQuotedValue(QStringView text, qsizetype open)
{
    const QChar quote = text[open];
    const qsizetype n = text.size();
    TQuotedValue out;
    out.closed = false;
    qsizetype p = open + 1;
    while (p < n) {
        // Runs between quotes are copied whole.
        qsizetype next = text.indexOf(quote, p);
        if (next < 0)
            next = n;
        out.value += text.sliced(p, next - p);
        p = next;
        if (p == n)
            break;
        if (p + 1 < n && text[p + 1] == quote) {
            out.value += quote;
            p += 2;
            continue;
        }
        ++p;
        out.closed = true;
        break;
    }
    out.end = p;
    return out;
}

QStringList SplitQuotedList(QStringView text, QChar delimiter)
{
    constexpr QChar kQuote = u'"';
    QStringList items;
    const qsizetype n = text.size();
    qsizetype p = 0;
    auto skipBlanks = [&] {
        while (p < n && IsListBlank(text[p]))
            ++p;
    };
    skipBlanks();
    while (p < n) {
        if (text[p] == kQuote) {
            TQuotedValue quoted = ReadQuotedValue(text, p);
            items << std::move(quoted.value);
            p = quoted.end;
        } else {
            const qsizetype start = p;
            while (p < n && !IsListBlank(text[p]) && text[p] != delimiter)
                ++p;
            items << text.sliced(start, p - start).toString();
        }
        skipBlanks();
        if (p < n && text[p] == delimiter) {
            if (p + 1 == n)
                items << QString();
            ++p;
            skipBlanks();
        }
    }
    return items;
}
