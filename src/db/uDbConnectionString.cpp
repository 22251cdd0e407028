#include "uDbConnectionString.h"

#include "uDbError.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

TDbConnectionString::TDbConnectionString(const QString& text) : m_text(text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype eq = text.indexOf(QLatin1Char('='), i);
        qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // An item without "=": skipped, as a provider would ignore it.
            if (semi < 0)
                break;
            i = semi + 1;
            continue;
        }
        QString key = text.mid(i, eq - i).trimmed();
        qsizetype j = eq + 1;
        while (j < n && text[j] == QLatin1Char(' '))
            ++j;
        QString value;
        if (j < n && (text[j] == QLatin1Char('"') || text[j] == QLatin1Char('\''))) {
            QChar quote = text[j];
            ++j;
            while (j < n) {
                if (text[j] == quote) {
                    if (j + 1 < n && text[j + 1] == quote) {
                        value += quote;
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text[j++];
            }
            qsizetype end = text.indexOf(QLatin1Char(';'), j);
            i = end < 0 ? n : end + 1;
        } else {
            qsizetype end = text.indexOf(QLatin1Char(';'), eq + 1);
            value = text.mid(eq + 1, (end < 0 ? n : end) - eq - 1).trimmed();
            i = end < 0 ? n : end + 1;
        }
        if (!key.isEmpty())
            m_items.append({key, value});
    }
}

bool TDbConnectionString::Has(const QString& key) const
{
    for (const auto& item : m_items)
        if (item.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString TDbConnectionString::Value(const QString& key) const
{
    QString out;
    for (const auto& item : m_items)
        if (item.first.compare(key, Qt::CaseInsensitive) == 0)
            out = item.second;
    return out;
}

QString TDbConnectionString::Value(std::initializer_list<const char*> keys) const
{
    for (const char* k : keys) {
        QString key = QString::fromLatin1(k);
        if (Has(key))
            return Value(key);
    }
    return {};
}

QString TDbConnectionString::ProviderKey(const QString& provider)
{
    static const QRegularExpression suffix(QStringLiteral("(\\.[0-9]+)+$"));
    QString key = provider.trimmed().toLower();
    key.remove(suffix);
    return key;
}

QString ReadDataLinkFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EDbError(
            QStringLiteral("Cannot open the data link file \"%1\": %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    QString text;
    if (bytes.startsWith("\xFF\xFE"))
        text = QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
    else if (bytes.startsWith("\xFE\xFF"))
        text = QStringDecoder(QStringDecoder::Utf16BE).decode(bytes.mid(2));
    else if (bytes.startsWith("\xEF\xBB\xBF"))
        text = QString::fromUtf8(bytes.mid(3));
    else
        text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    for (const QString& line : lines) {
        QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('[')))
            continue;
        return line;
    }
    throw EDbError(QStringLiteral("The data link file \"%1\" holds no connection string.").arg(path));
}
