#pragma once

#include "datModQuillory.h"
#include "uDataPacket.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMenu>
#include <QString>
#include <QTest>

// A submenu of the tray makes its entries when it is about to show, as a user opens it;
// a test walking the menus opens each one this way first.
inline QMenu* shown(QMenu* menu)
{
    if (menu)
        emit menu->aboutToShow();
    return menu;
}

// Favourites files written directly, for records the program itself would not make
// (chosen IDs, nested folders, damaged files).
struct FolderRow
{
    int id;
    QString name;
    int parent = 0;
};
struct QueryRow
{
    int id;
    QString name;
    int parent = 0;
};

inline void writeFavourites(const QString& folder, const QList<FolderRow>& folders,
                            const QList<QueryRow>& queries)
{
    const QDateTime when(QDate(2024, 3, 1), QTime(9, 30));
    QList<datapacket::Row> folderRows;
    for (const FolderRow& f : folders)
        folderRows.append({f.id, f.name, when, f.parent});
    QList<datapacket::Row> queryRows;
    for (const QueryRow& q : queries)
        queryRows.append({q.id, q.name, when, QStringLiteral("Provider=SQLite;Data Source=x.db"),
                          QStringLiteral("SELECT 1\r\n"), QVariant(), when, q.parent});
    const auto put = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
        file.write(bytes);
    };
    put(QDir(folder).filePath(QStringLiteral("folders.xml")),
        datapacket::writePacket(TdmQuillory::folderColumns(), folderRows));
    put(QDir(folder).filePath(QStringLiteral("queries.xml")),
        datapacket::writePacket(TdmQuillory::queryColumns(), queryRows));
}
