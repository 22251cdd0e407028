#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// Reading of connection strings: items key "=" value separated by ";". The text itself
// is never changed by the layer; this only looks values up. A value may be enclosed in
// double or single quotes (a doubled quote inside stands for one) so that it can hold a
// ";"; unquoted values end at the next ";" and keep inner blanks. Keys compare
// case-insensitively and blanks around keys and values are ignored.
class TDbConnectionString
{
public:
    TDbConnectionString() = default;
    explicit TDbConnectionString(const QString& text);

    const QString& Text() const { return m_text; }
    const QList<QPair<QString, QString>>& Items() const { return m_items; }
    bool Has(const QString& key) const;
    // The value of the last item with the key (later items win), or the empty string.
    QString Value(const QString& key) const;
    // The first value found under any of the keys ("User ID", "UID" ...).
    QString Value(std::initializer_list<const char*> keys) const;

    // The provider's name without its version suffix, lower case:
    // "Microsoft.Jet.OLEDB.4.0" → "microsoft.jet.oledb", "SQLOLEDB.1" → "sqloledb".
    static QString ProviderKey(const QString& provider);

private:
    QString m_text;
    QList<QPair<QString, QString>> m_items;
};

// Reads the connection string held by a data link file: UTF-16LE with a byte-order mark
// (UTF-8 accepted too), a "[oledb]" line, comment lines starting with ";", and the
// string. Only a regular file of at most 64 KiB is read (a device or FIFO would never end
// or never deliver). Raises EDbError naming the file when it cannot be read, is no
// regular file, is too large, or holds no string.
QString ReadDataLinkFile(const QString& path);

// What tests watch to see how often an open reads its connection string: each parse of a
// string into items and each read of a data link file. Not thread-safe; install before
// connections open. An empty watch removes it. Returns the watch it replaced.
struct TDbConnectionStringWatch
{
    std::function<void(const QString& text)> parsed;
    std::function<void(const QString& path)> dataLinkRead;
};
TDbConnectionStringWatch WatchConnectionStrings(TDbConnectionStringWatch watch);
