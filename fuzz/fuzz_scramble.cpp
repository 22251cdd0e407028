// Scrambling and the token list: passwords and connection strings come back exactly,
// scrambled passwords are upper-case hexadecimal, no password the database layer would
// read is left as it was, and token lists join back to their text.
#include "UEncrypt.h"
#include "fuzzSupport.h"
#include "uConnectionItems.h"
#include "uTokenList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(bytes), qsizetype(size));

    const QString hex = EncryptPassword(text);
    fuzz::check(hex.size() == text.toUtf8().size() * 2, "hex output has the wrong length");
    for (QChar c : hex)
        fuzz::check((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'), "scrambled text is not hex", hex);
    fuzz::check(DecryptPassword(hex) == text, "a password does not come back", text);
    fuzz::check(HexDecode(HexEncode(text.toUtf8())) == text.toUtf8(), "hex does not come back");

    const QString stored = EncryptConnectionString(text);
    const QString restored = DecryptConnectionString(stored);
    // A plainly written key comes back in its usual spelling, and one ";" at the end is
    // dropped: compare what the layer reads.
    const QList<TConnectionItem> before = ScanConnectionItems(text);
    const QList<TConnectionItem> after = ScanConnectionItems(restored);
    fuzz::check(before.size() == after.size(), "items changed through scrambling", text + "\n" + restored);
    const QList<TConnectionItem> scrambled = ScanConnectionItems(stored);
    fuzz::check(scrambled.size() == before.size(), "scrambling changed the items", text + "\n" + stored);
    for (qsizetype i = 0; i < before.size(); ++i) {
        const bool password = before[i].key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0 ||
                              before[i].key.compare(QLatin1String("Pwd"), Qt::CaseInsensitive) == 0;
        fuzz::check(before[i].key.compare(after[i].key, Qt::CaseInsensitive) == 0, "a key changed", text);
        if (password && before[i].value.isEmpty())
            continue;
        fuzz::check(before[i].value == after[i].value, "a value changed", text + "\n" + restored);
        if (password)
            fuzz::check(scrambled[i].value == EncryptPassword(before[i].value), "a password was not scrambled",
                        text + "\n" + stored);
    }

    TTokenList list(QLatin1Char(';'), text);
    QString expected = text;
    if (expected.endsWith(QLatin1Char(';')))
        expected.chop(1);
    fuzz::check(list.JoinText() == expected, "a token list does not join back to its text", text);
    return 0;
}
