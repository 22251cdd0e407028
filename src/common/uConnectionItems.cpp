#include "uConnectionItems.h"

#include "uQuotedList.h"

QList<TConnectionItem> ScanConnectionItems(const QString& text)
{
    QList<TConnectionItem> items;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A piece without "=": skipped, as a provider would ignore it.
            if (semi < 0)
                break;
            i = semi + 1;
            continue;
        }
        TConnectionItem item;
        item.itemStart = i;
        item.key = text.mid(i, eq - i).trimmed();
        qsizetype j = eq + 1;
        while (j < n && text[j] == QLatin1Char(' '))
            ++j;
        if (j < n && (text[j] == QLatin1Char('"') || text[j] == QLatin1Char('\''))) {
            item.quote = text[j];
            item.valueStart = j;
            TQuotedValue quoted = ReadQuotedValue(text, j);
            item.value = std::move(quoted.value);
            item.closed = quoted.closed;
            j = quoted.end;
            item.valueEnd = j;
            const qsizetype end = text.indexOf(QLatin1Char(';'), j);
            i = end < 0 ? n : end + 1;
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), eq + 1);
            const qsizetype stop = end < 0 ? n : end;
            qsizetype a = eq + 1, b = stop;
            while (a < b && text[a].isSpace())
                ++a;
            while (b > a && text[b - 1].isSpace())
                --b;
            item.valueStart = a;
            item.valueEnd = b;
            item.value = text.mid(a, b - a);
            i = end < 0 ? n : end + 1;
        }
        if (!item.key.isEmpty())
            items.append(item);
    }
    return items;
}
