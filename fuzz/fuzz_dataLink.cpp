// The .udl reader and the connection-string parser over any bytes: a clear error or a
// string; the parser's values are the texts between the item's separators.
#include "fuzzSupport.h"
#include "uConnectionItems.h"
#include "uDbConnectionString.h"
#include "uDbError.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    fuzz::ensureApplication();
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.udl"));
    {
        QFile f(path);
        fuzz::check(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        f.write(reinterpret_cast<const char*>(bytes), qsizetype(size));
    }
    QString text;
    try {
        text = ReadDataLinkFile(path);
        fuzz::check(!text.trimmed().isEmpty(), "an empty connection string was read");
        fuzz::check(!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')), "a string spans lines");
    } catch (const EDbError& e) {
        fuzz::check(e.message().contains(path), "the error does not name the file", e.message());
        text = QString::fromUtf8(reinterpret_cast<const char*>(bytes), qsizetype(size));
    }
    const TDbConnectionString items(text);
    const QList<TConnectionItem> scanned = ScanConnectionItems(text);
    fuzz::check(items.Items().size() == scanned.size(), "parser and scanner disagree");
    for (const TConnectionItem& item : scanned) {
        fuzz::check(item.itemStart <= item.valueStart && item.valueStart <= item.valueEnd && item.valueEnd <= text.size(),
                    "an item's span is outside the text", text);
        fuzz::check(!item.key.isEmpty() && item.key == item.key.trimmed(), "a key is empty or has blanks", text);
        if (item.quote.isNull())
            fuzz::check(item.value == text.mid(item.valueStart, item.valueEnd - item.valueStart) &&
                            !item.value.contains(QLatin1Char(';')),
                        "an unquoted value is not its text", text);
    }
    (void)items.Value(QStringLiteral("Provider"));
    (void)TDbConnectionString::ProviderKey(items.Value(QStringLiteral("Provider")));
    return 0;
}
