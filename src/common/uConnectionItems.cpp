#include "uConnectionItems.h"

#include "uQuotedList.h"

QList<TConnectionItem> ScanConnectionItems(const QString& text)
{
    QList<TConnectionItem> items;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // The "=" is looked for only up to the piece's end, so that a long run of pieces
        // without one is read in one pass rather than searched to the end for each.
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        const qsizetype pieceEnd = semi < 0 ? n : semi;
        const qsizetype found = QStringView(text).sliced(i, pieceEnd - i).indexOf(QLatin1Char('='));
        if (found < 0) {
            // A piece without "=": skipped, as a provider would ignore it.
            if (semi < 0)
                break;
            i = semi + 1;
            continue;
        }
        const qsizetype eq = i + found;
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
