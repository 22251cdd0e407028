// Favourites store of 10,000 queries in 100 folders: load; add and delete one query
// (each writes queries.xml at once) beside one bare atomic write of the same bytes; the
// exit after no change. Prints medians; asserts nothing.
//
//   bench_store [rounds]    (default 15)
#include "datModQuillory.h"

#include "benchFavourites.h"
#include "benchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>
#include <unistd.h>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kFolders = 100;
constexpr int kQueries = 10000;

double timeMs(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e6;
}

// What the store's write comes down to: the same bytes under a temporary name, synced
// and renamed over the file.
void bareAtomicWrite(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        qFatal("bare write failed");
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    const bench::FavouritesBytes bytes = bench::makeFavourites(kFolders, kQueries);
    const QString queryPath = dir.filePath("queries.xml");
    // The user's files were written long before the start: flushed, so that the first
    // write's sync does not also pay for writing them.
    const auto reset = [&] {
        bench::writeFavourites(dir.path(), bytes);
        ::sync();
    };

    std::vector<double> reference, load, firstAdd, add, del, bareAdd, bareDel;
    int added = 0;
    for (int r = 0; r < rounds; ++r) {
        reset();
        reference.push_back(timeMs([&] {
            QFile f(queryPath);
            f.open(QIODevice::ReadOnly);
            QXmlStreamReader xml(&f);
            qsizetype attributes = 0;
            while (!xml.atEnd())
                if (xml.readNext() == QXmlStreamReader::StartElement)
                    attributes += xml.attributes().size();
            if (xml.hasError() || attributes < kQueries * 7)
                qFatal("reference pass failed: %s", qPrintable(xml.errorString()));
        }));
        std::unique_ptr<TdmQuillory> store;
        load.push_back(timeMs([&] { store = std::make_unique<TdmQuillory>(dir.path()); }));
        if (!store->startupErrors().isEmpty() || store->queries().size() != kQueries)
            qFatal("load failed");
        const auto addOne = [&] {
            store->AddQuery(7, QStringLiteral("Added %1").arg(++added), QStringLiteral("SELECT 1\r\n"),
                            QStringLiteral("Provider=SQLite;Data Source=x.db;Password=pw"));
        };
        firstAdd.push_back(timeMs(addOne));
        add.push_back(timeMs(addOne));
        // The bare writes go to a file of their own: the store's file is left as it wrote it.
        const QString barePath = dir.filePath("bare.xml");
        QByteArray written = readAll(queryPath);
        bareAdd.push_back(timeMs([&] { bareAtomicWrite(barePath, written); }));
        const int victim = store->queries().at(r * 37 % kQueries).ID;
        del.push_back(timeMs([&] { store->DeleteQuery(victim); }));
        written = readAll(queryPath);
        bareDel.push_back(timeMs([&] { bareAtomicWrite(barePath, written); }));

        // The exit: nothing changed since the last write, so nothing is written.
        const QDateTime before = QFileInfo(queryPath).lastModified();
        const qint64 folderSize = QFileInfo(dir.filePath("folders.xml")).size();
        store.reset();
        if (QFileInfo(queryPath).lastModified() != before ||
            QFileInfo(dir.filePath("folders.xml")).size() != folderSize)
            std::printf("  (the exit wrote a file)\n");
    }

    using bench::median;
    std::printf("favourites store: %d queries in %d folders, queries.xml %.1f MB, median of %d rounds\n",
                kQueries, kFolders, bytes.queries.size() / 1e6, rounds);
    std::printf("  QXmlStreamReader pass over queries.xml     %8.2f ms\n", median(reference));
    std::printf("  load (both files, decode, sort)            %8.2f ms  (%.2f x the pass)\n", median(load),
                median(load) / median(reference));
    std::printf("  bare atomic write of queries.xml           %8.2f ms\n", median(bareAdd));
    std::printf("  first add after load                       %8.2f ms  (%.2f x the bare write)\n",
                median(firstAdd), median(firstAdd) / median(bareAdd));
    std::printf("  add one query                              %8.2f ms  (%.2f x the bare write)\n", median(add),
                median(add) / median(bareAdd));
    std::printf("  delete one query                           %8.2f ms  (%.2f x the bare write)\n", median(del),
                median(del) / median(bareDel));
    return 0;
}
