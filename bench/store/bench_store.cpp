// Favourites store with 10,000 queries in 500 folders: load, add one query (which
// writes queries.xml at once), save both files; beside a plain QXmlStreamReader pass
// over the same queries.xml as the reference. Prints medians; asserts nothing.
#include "datModQuillory.h"

#include "UEncrypt.h"
#include "uDataPacket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kFolders = 500;
constexpr int kQueries = 10000;
constexpr int kRuns = 7;

double medianMs(const std::function<void()>& setup, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        if (setup)
            setup();
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QDateTime stamp(QDate(2024, 3, 1), QTime(9, 30, 15, 250));

    QList<datapacket::Row> folders;
    for (int i = 1; i <= kFolders; ++i)
        folders.append({i, QStringLiteral("Folder %1").arg(kFolders - i, 3, 10, QLatin1Char('0')), stamp, 0});
    QList<datapacket::Row> queries;
    for (int i = 1; i <= kQueries; ++i) {
        const QString connect = EncryptConnectionString(
            QStringLiteral("Provider=SQLOLEDB.1;Password=secret%1;Persist Security Info=True;User ID=sa;"
                           "Initial Catalog=Shop;Data Source=server\\inst")
                .arg(i));
        const QString sql =
            QStringLiteral("SELECT c.Name, o.Total\r\nFROM Customers c\r\nINNER JOIN Orders o ON "
                           "o.CustomerID = c.ID\r\nWHERE o.Total > %1 AND c.Name <> 'x'\r\n")
                .arg(i);
        queries.append({i, QStringLiteral("Query %1").arg((i * 7919) % kQueries, 5, 10, QLatin1Char('0')),
                        stamp, connect, sql, QVariant(), stamp, 1 + i % kFolders});
    }
    const QByteArray folderBytes = datapacket::writePacket(TdmQuillory::folderColumns(), folders);
    const QByteArray queryBytes = datapacket::writePacket(TdmQuillory::queryColumns(), queries);
    const QString folderPath = dir.filePath("folders.xml");
    const QString queryPath = dir.filePath("queries.xml");
    const auto reset = [&] {
        writeFile(folderPath, folderBytes);
        writeFile(queryPath, queryBytes);
    };
    reset();

    const double reference = medianMs(nullptr, [&] {
        QFile f(queryPath);
        f.open(QIODevice::ReadOnly);
        QXmlStreamReader xml(&f);
        qsizetype attributes = 0;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement)
                attributes += xml.attributes().size();
        if (xml.hasError() || attributes < kQueries * 7)
            qFatal("reference pass failed: %s", qPrintable(xml.errorString()));
    });

    std::unique_ptr<TdmQuillory> store;
    const double load = medianMs(
        [&] {
            store.reset();
            reset();
        },
        [&] { store = std::make_unique<TdmQuillory>(dir.path()); });
    if (!store->startupErrors().isEmpty() || store->queries().size() != kQueries)
        qFatal("load failed");

    int added = 0;
    const double add = medianMs(nullptr, [&] {
        store->AddQuery(7, QStringLiteral("Added %1").arg(++added), QStringLiteral("SELECT 1\r\n"),
                        QStringLiteral("Provider=SQLite;Data Source=x.db;Password=pw"));
    });
    const double save = medianMs(nullptr, [&] { store->writeAll(); });
    store.reset();

    std::printf("favourites store: %d queries in %d folders, queries.xml %.1f MB, folders.xml %.1f kB, "
                "median of %d\n",
                kQueries, kFolders, queryBytes.size() / 1e6, folderBytes.size() / 1e3, kRuns);
    std::printf("  reference: QXmlStreamReader pass over queries.xml  %8.1f ms\n", reference);
    std::printf("  load (both files, decode, sort)                     %8.1f ms  (%.2f x reference)\n", load,
                load / reference);
    std::printf("  add one query (incl. atomic write of queries.xml)   %8.1f ms  (%.2f x reference)\n", add,
                add / reference);
    std::printf("  save both files (writeAll)                          %8.1f ms  (%.2f x reference)\n", save,
                save / reference);
    return 0;
}
