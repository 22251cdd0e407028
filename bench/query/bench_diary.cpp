// The diary's fill over 100,000 fetched rows (date-time, text and a secondary column:
// every row read, one appointment each, one update of the store) beside the fetch of the
// same rows from SQLite. 5 alternating runs, medians. Aim: fill <= 0.5 x the fetch.
//
//   bench_diary [rows]

#include "benchSupport.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uDiary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using bench::median;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100'000;
    QTemporaryDir dir;
    const QString file = dir.filePath("bench.sqlite");
    bench::fillBenchTable(file, count, "note", "note ");
    TDbConnection con;
    con.SetConnectionString("Provider=SQLite;Data Source=" + file);
    con.Open();
    const QString sql = "SELECT id, name, amount, stamp, note FROM bench";

    std::vector<double> fetch, fill, fillSecondary;
    qsizetype appointments = 0;
    for (int run = 0; run < 5; ++run) {
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQL({sql});
        QElapsedTimer t;
        t.start();
        q.Open();
        fetch.push_back(t.nsecsElapsed() / 1e6);
        const TDbRowsPtr rows = q.Rows();

        TSchedServer store;
        t.restart();
        DiaryFill(store, rows.get(), {3, 1, -1});
        fill.push_back(t.nsecsElapsed() / 1e6);
        TSchedServer other;
        t.restart();
        DiaryFill(other, rows.get(), {3, 1, 4});
        fillSecondary.push_back(t.nsecsElapsed() / 1e6);
        appointments = store.Count();
    }
    const double f = median(fetch), d = median(fill), s = median(fillSecondary);
    std::printf("%lld rows, %lld appointments, 5 alternating runs, medians\n", static_cast<long long>(count),
                static_cast<long long>(appointments));
    std::printf("fetch from SQLite into rows:         %8.1f ms\n", f);
    std::printf("FillDiary (date + description):      %8.1f ms = %.2f x the fetch (aim <= 0.50)\n", d, d / f);
    std::printf("FillDiary (with a secondary column): %8.1f ms = %.2f x the fetch\n", s, s / f);
    return 0;
}
