#pragma once

// A user's large favourites store, written straight to its two files: the benchmarks of
// the store, the tray menus and the start all measure against the same one.

#include "datModQuillory.h"
#include "uDataPacket.h"

#include "UEncrypt.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace bench {

struct FavouritesBytes
{
    QByteArray folders;
    QByteArray queries;
};

// `queries` queries spread over `folders` folders, with scrambled passwords and a few
// lines of SQL each, as a user's saved queries are. The rows stand in name order, as the
// program writes them; their IDs are scattered, as queries added over time leave them.
inline FavouritesBytes makeFavourites(int folders, int queries)
{
    const QDateTime stamp(QDate(2024, 3, 1), QTime(9, 30, 15, 250));
    QList<datapacket::Row> folderRows;
    for (int i = folders; i >= 1; --i)
        folderRows.append(
            {i, QStringLiteral("Folder %1").arg(folders - i, 3, 10, QLatin1Char('0')), stamp, 0});
    QList<datapacket::Row> queryRows(queries);
    for (int i = 1; i <= queries; ++i) {
        const QString connect = EncryptConnectionString(
            QStringLiteral("Provider=SQLOLEDB.1;Password=secret%1;Persist Security Info=True;User ID=sa;"
                           "Initial Catalog=Shop;Data Source=server\\inst")
                .arg(i));
        const QString sql =
            QStringLiteral("SELECT c.Name, o.Total\r\nFROM Customers c\r\nINNER JOIN Orders o ON "
                           "o.CustomerID = c.ID\r\nWHERE o.Total > %1 AND c.Name <> 'x'\r\n")
                .arg(i);
        const int place = (i * 7919) % queries; // the name's place in name order
        queryRows[place] = {i, QStringLiteral("Query %1").arg(place, 5, 10, QLatin1Char('0')), stamp, connect, sql,
                            QVariant(), stamp, 1 + i % folders};
    }
    return {datapacket::writePacket(TdmQuillory::folderColumns(), folderRows),
            datapacket::writePacket(TdmQuillory::queryColumns(), queryRows)};
}

inline void writeBenchFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

inline void writeFavourites(const QString& folder, const FavouritesBytes& bytes)
{
    writeBenchFile(QDir(folder).filePath(QStringLiteral("folders.xml")), bytes.folders);
    writeBenchFile(QDir(folder).filePath(QStringLiteral("queries.xml")), bytes.queries);
}

} // namespace bench
