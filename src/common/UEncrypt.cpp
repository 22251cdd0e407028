#include "UEncrypt.h"

#include "uTokenList.h"

#include <cmath>
#include <exception>

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

QString transformConnectionString(const QString& connectionString, QString (*transform)(const QString&))
{
    try {
        TTokenList items(QLatin1Char(';'), connectionString);
        for (const char* key : {"Password", "Pwd"}) {
            const QString name = QString::fromLatin1(key);
            const QString value = items.Value(name);
            if (!value.isEmpty())
                items.SetValue(name, transform(value));
        }
        return items.JoinText();
    } catch (const std::exception&) {
        return connectionString;
    }
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
    return transformConnectionString(connectionString, EncryptPassword);
}

QString DecryptConnectionString(const QString& connectionString)
{
    return transformConnectionString(connectionString, DecryptPassword);
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
