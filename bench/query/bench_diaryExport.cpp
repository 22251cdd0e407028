// The diary's iCalendar export of 100,000 fetched rows, against the size of the file it
// writes: a streaming export keeps the growth of the resident memory far below the file
// (events go out as they are made). Also the export's time beside the fetch of the rows.
//
//   bench_diaryExport [rows]

#include "benchSupport.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uDiaryExport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <algorithm>

namespace {

// Starts a new peak from the present resident size.
void resetPeak()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

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
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({"SELECT id, name, amount, stamp, note FROM bench"});
    QElapsedTimer t;
    t.start();
    q.Open();
    const double fetch = t.nsecsElapsed() / 1e6;
    const TDbRowsPtr rows = q.Rows();

    const QString ics = dir.filePath("bench.ics");
    resetPeak();
    const qint64 before = bench::currentRss();
    t.restart();
    const TDiaryExportResult result = DiaryExportICalendar(ics, *rows, {3, 1, 4}, "Bench", "bench");
    const double exported = t.nsecsElapsed() / 1e6;
    const qint64 peak = bench::peakRss();
    const qint64 size = QFileInfo(ics).size();
    std::printf("%lld rows, %lld events written\n", static_cast<long long>(count),
                static_cast<long long>(result.written));
    std::printf("fetch from SQLite into rows: %8.1f ms\n", fetch);
    std::printf("export to .ics:              %8.1f ms = %.2f x the fetch\n", exported, exported / fetch);
    std::printf("file size:                   %8.1f MB\n", size / 1e6);
    std::printf("resident memory growth:      %8.1f MB = %.3f x the file (streaming keeps this small)\n",
                (peak - before) / 1e6, double(peak - before) / double(std::max<qint64>(1, size)));
    return 0;
}
