// The diary's first fill over fetched rows (date-time, text and a secondary column: every
// row read, one appointment each, one update of the store) beside the fetch of the same
// rows from SQLite, as a user meets it: on a fresh heap (the allocator's free memory handed
// back with malloc_trim(0) before each fetch and each fill). Rounds pair one fetch with
// the fills of its rows; medians of the rounds and of the paired ratios are printed.
// Also the heap bytes the store holds per appointment beside the bytes per row of the
// rows it comes from. Aims: first fill <= 0.3 x the fetch, <= 48 bytes per appointment.
//
//   bench_diary [rows] [rounds]

#include "benchSupport.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uDiary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

using bench::median;

// Bytes the heap has handed out, small chunks and mapped blocks together.
qint64 heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks) + qint64(m.hblkhd);
}

struct Fill
{
    double ms = 0;
    qint64 bytes = 0;
    qsizetype count = 0;
};

// One first fill into a new store on a fresh heap; the store is gone afterwards.
Fill firstFill(const TDbRowsPtr& rows, const TDiaryChoice& choice)
{
    Fill f;
    auto store = std::make_unique<TSchedServer>();
    malloc_trim(0);
    const qint64 before = heapInUse();
    QElapsedTimer t;
    t.start();
    DiaryFill(*store, rows, choice);
    f.ms = t.nsecsElapsed() / 1e6;
    f.bytes = heapInUse() - before;
    f.count = store->Count();
    store.reset();
    malloc_trim(0);
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100'000;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 7;
    QTemporaryDir dir;
    const QString file = dir.filePath("bench.sqlite");
    bench::fillBenchTable(file, count, "note", "note ");
    TDbConnection con;
    con.SetConnectionString("Provider=SQLite;Data Source=" + file);
    con.Open();
    const QString sql = "SELECT id, name, amount, stamp, note FROM bench";

    std::vector<double> fetch, fill, fillSecondary, ratio, ratioSecondary, perItem, perItemSecondary, perRow;
    qsizetype appointments = 0;
    for (int run = 0; run < rounds; ++run) {
        malloc_trim(0);
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQL({sql});
        QElapsedTimer t;
        t.start();
        q.Open();
        const double fetched = t.nsecsElapsed() / 1e6;
        const TDbRowsPtr rows = q.Rows();

        const Fill plain = firstFill(rows, {3, 1, -1});
        const Fill secondary = firstFill(rows, {3, 1, 4});
        appointments = plain.count;
        const double n = double(std::max<qsizetype>(1, plain.count));
        fetch.push_back(fetched);
        fill.push_back(plain.ms);
        fillSecondary.push_back(secondary.ms);
        ratio.push_back(plain.ms / fetched);
        ratioSecondary.push_back(secondary.ms / fetched);
        perItem.push_back(plain.bytes / n);
        perItemSecondary.push_back(secondary.bytes / n);
        perRow.push_back(rows->MemoryBytes() / double(std::max<qsizetype>(1, rows->RowCount())));
    }
    const double row = median(perRow);
    std::printf("%lld rows, %lld appointments, %d paired rounds on a fresh heap, medians\n",
                static_cast<long long>(count), static_cast<long long>(appointments), rounds);
    std::printf("fetch from SQLite into rows:               %8.1f ms\n", median(fetch));
    std::printf("first fill (date + description):           %8.1f ms = %.2f x the fetch (aim <= 0.30)\n",
                median(fill), median(ratio));
    std::printf("first fill (with a secondary column):      %8.1f ms = %.2f x the fetch (aim <= 0.30)\n",
                median(fillSecondary), median(ratioSecondary));
    std::printf("rows held:                                 %8.1f bytes per row\n", row);
    std::printf("store (date + description):                %8.1f bytes per appointment = %.2f x a row (aim <= 48)\n",
                median(perItem), median(perItem) / row);
    std::printf("store (with a secondary column):           %8.1f bytes per appointment = %.2f x a row (aim <= 48)\n",
                median(perItemSecondary), median(perItemSecondary) / row);
    return 0;
}
