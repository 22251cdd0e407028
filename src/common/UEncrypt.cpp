#include "UEncrypt.h"

#include "uConnectionItems.h"

#include <cmath>

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

// Every "Password" and "Pwd" value the database layer reads (the same scanner: quoted
// values whole, blanks around keys and "=", every repeat of the key) is replaced where it
// stands; the rest of the text is copied unchanged. An item written plainly as
// "password=value" comes out as "Password=<new>" with the name as spelled here, and a
// restored value that comes out empty takes its item along, as they always did.
QString transformConnectionString(const QString& text, QString (*transform)(const QString&), bool restoring)
{
    const QList<TConnectionItem> items = ScanConnectionItems(text);
    QString out;
    out.reserve(text.size() + 16);
    qsizetype copied = 0;
    for (const TConnectionItem& item : items) {
        QString name;
        for (const char* key : {"Password", "Pwd"})
            if (item.key.compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
                name = QLatin1String(key);
        if (name.isEmpty() || item.value.isEmpty())
            continue;
        const QString value = transform(item.value);
        const bool plain = item.quote.isNull() && item.valueStart == item.itemStart + name.size() + 1 &&
                           text.at(item.itemStart + name.size()) == QLatin1Char('=');
        if (plain) {
            out += QStringView(text).sliced(copied, item.itemStart - copied);
            copied = item.valueEnd;
            if (restoring && value.isEmpty()) {
                if (copied < text.size() && text[copied] == QLatin1Char(';'))
                    ++copied;
                else if (out.endsWith(QLatin1Char(';')))
                    out.chop(1);
                continue;
            }
            out += name + QLatin1Char('=') + value;
            continue;
        }
        out += QStringView(text).sliced(copied, item.valueStart - copied);
        if (item.quote.isNull()) {
            out += value;
        } else {
            QString inner = value;
            inner.replace(item.quote, QString(2, item.quote));
            out += item.quote + inner;
            if (item.closed)
                out += item.quote;
        }
        copied = item.valueEnd;
    }
    out += QStringView(text).sliced(copied);
    // One ";" at the very end was never kept (unless it belongs to an unclosed quote).
    const bool trailingInValue = !items.isEmpty() && !items.last().closed;
    if (out.endsWith(QLatin1Char(';')) && text.endsWith(QLatin1Char(';')) && !trailingInValue)
        out.chop(1);
    return out;
}
} // namespace

quint8 ScrambleKey(qsizetype length)
{
    const quint64 product = quint64(length) * kScrambleMultiplier;
    // Exact integer square root; the floating-point estimate can be one off for large values.
    auto root = quint64(std::sqrt(double(product)));
    while (root * root > product)
        --root;
    while ((root + 1) * (root + 1) <= product)
        ++root;
    return quint8((root + kScrambleOffset) & 0xFF);
}

QString EncryptConnectionString(const QString& connectionString)
{
    return transformConnectionString(connectionString, EncryptPassword, false);
}

QString DecryptConnectionString(const QString& connectionString)
{
    return transformConnectionString(connectionString, DecryptPassword, true);
}

QString EncryptPassword(const QString& password)
{
    return HexEncode(XorReverse(password.toUtf8()));
}

QString DecryptPassword(const QString& scrambled)
{
    return QString::fromUtf8(XorReverse(HexDecode(scrambled)));
}

QByteArray XorReverse(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    const char key = char(ScrambleKey(n));
    QByteArray result(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        result[i] = char(bytes[n - 1 - i] ^ key);
    return result;
}

QString HexEncode(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() * 2);
    for (const char b : bytes)
        text += ByteToHex(quint8(b));
    return text;
}

QByteArray HexDecode(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2)
        bytes.append(char(HexPairToByte(text[i], text[i + 1])));
    return bytes;
}

QString ByteToHex(quint8 value)
{
    const char digits[2] = {kHexDigits[value >> 4], kHexDigits[value & 0x0F]};
    return QString::fromLatin1(digits, 2);
}

int HexDigitValue(QChar c)
{
    int v = int(c.unicode()) - 48;
    if (v > 9)
        v -= 7;
    return (v < 0 || v > 15) ? 0 : v;
}

quint8 HexPairToByte(QChar high, QChar low)
{
    return quint8(HexDigitValue(high) * 16 + HexDigitValue(low));
}
