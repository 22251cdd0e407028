// Exports 1,000,000 fetched rows of five columns (integer, text, real, date-time, and a
// nullable "...Text" column with commas) to a CSV file, and runs the sqlite3 shell writing
// the same rows as CSV to a file in the same run, so the ratio can be read. Each side runs
// three times; the best run counts. Also prints how much the resident memory grew during
// the export, against the size of the file: a streaming writer keeps that small.
//
//   bench_exportCSV [rows]

#include "benchSupport.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"
#include "uExportCSV.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

qint64 statusValue(const char* key)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(strlen(key))).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

void resetPeak()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double shell(const QString& database, const QString& sql, const QString& out)
{
    QProcess p;
    p.setStandardOutputFile(out, QIODevice::Truncate);
    QElapsedTimer t;
    t.start();
    p.start("sqlite3", {"-csv", database, sql});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir dir;
    const QString file = dir.filePath("bench.sqlite");
    const QString ours = dir.filePath("ours.csv");
    const QString theirs = dir.filePath("sqlite3.csv");
    try {
        bench::fillBenchTable(file, rows, "NoteText", "note, number ");

        const QString sql = "SELECT id, name, amount, stamp, NoteText FROM bench";
        TDbConnection con;
        con.SetConnectionString("Provider=SQLite;Data Source=" + file);
        con.Open();
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQL({sql});
        QElapsedTimer t;
        t.start();
        q.Open();
        const double fetchSeconds = t.nsecsElapsed() / 1e9;

        double best = 1e9, bestShell = 1e9;
        qint64 growth = 0;
        for (int run = 0; run < 3; ++run) {
            const qint64 before = statusValue("VmRSS:");
            resetPeak();
            t.restart();
            {
                TCSVStream csv(ours);
                csv.ExportDataSet(q);
            }
            const double s = t.nsecsElapsed() / 1e9;
            growth = std::max(growth, statusValue("VmHWM:") - before);
            const double sh = shell(file, sql, theirs);
            std::printf("run %d: export %.3f s, sqlite3 -csv %.3f s\n", run + 1, s, sh);
            best = std::min(best, s);
            if (sh > 0)
                bestShell = std::min(bestShell, sh);
        }
        const qint64 size = QFileInfo(ours).size();
        std::printf("%lld rows, fetched in %.3f s\n", static_cast<long long>(q.RecordCount()), fetchSeconds);
        std::printf("export to CSV: %.3f s (%.1f MB); sqlite3 -csv on the same rows: %.3f s (%.1f MB); "
                    "ratio %.2f\n",
                    best, size / 1e6, bestShell, QFileInfo(theirs).size() / 1e6, best / bestShell);
        std::printf("fetch + export: %.3f s; ratio to sqlite3 -csv %.2f\n", fetchSeconds + best,
                    (fetchSeconds + best) / bestShell);
        std::printf("resident memory growth during an export: %.1f MB (file %.1f MB)\n", growth / 1e6,
                    size / 1e6);
    } catch (const EDbError& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    } catch (const EExportError& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
