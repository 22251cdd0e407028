// Fetches a wide text result (50 text columns × 100,000 rows by default) from SQLite into
// the in-memory rows and runs `sqlite3 -csv` on the same query in the same round, output
// to /dev/null. CPU time of each side (this process's for the fetch, the child's for the
// shell), several paired rounds; prints each round and the medians with their ratio.
//
//   bench_dbWide [rows] [columns] [rounds]

#include "benchSupport.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>

namespace {

double processCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double childrenCpu()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void fill(const QString& file, int rows, int columns)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(file).constData(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "filling SQLite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    QStringList defs, values;
    for (int c = 1; c <= columns; ++c) {
        defs << QStringLiteral("c%1 VARCHAR(40)").arg(c);
        values << QStringLiteral("'value %1 of row ' || i").arg(c);
    }
    const QByteArray sql = QStringLiteral("CREATE TABLE wide (%1);"
                                          "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < %2) "
                                          "INSERT INTO wide SELECT %3 FROM s")
                               .arg(defs.join(", "))
                               .arg(rows)
                               .arg(values.join(", "))
                               .toUtf8();
    char* err = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "filling SQLite: %s\n", err);
        std::exit(1);
    }
    sqlite3_close(db);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int columns = argc > 2 ? QByteArray(argv[2]).toInt() : 50;
    const int rounds = argc > 3 ? QByteArray(argv[3]).toInt() : 7;
    QTemporaryDir dir;
    const QString file = dir.filePath("wide.sqlite");
    fill(file, rows, columns);
    const QString sql = QStringLiteral("SELECT * FROM wide");

    std::vector<double> ours, theirs, ratios;
    try {
        TDbConnection con;
        con.SetConnectionString("Provider=SQLite;Data Source=" + file);
        con.Open();
        for (int round = 0; round < rounds; ++round) {
            TDbQuery q;
            q.SetConnection(&con);
            q.SetSQL({sql});
            double cpu = processCpu();
            q.Open();
            const double fetch = processCpu() - cpu;
            if (q.RecordCount() != rows) {
                std::fprintf(stderr, "fetched %lld rows, not %d\n", static_cast<long long>(q.RecordCount()), rows);
                return 1;
            }
            q.Close();

            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            cpu = childrenCpu();
            p.start("sqlite3", {"-csv", file, sql});
            if (!p.waitForFinished(600000) || p.exitCode() != 0) {
                std::fprintf(stderr, "sqlite3 failed: %s\n", p.readAllStandardError().constData());
                return 1;
            }
            const double shell = childrenCpu() - cpu;
            std::printf("round %d: fetch %.1f ms CPU, sqlite3 -csv %.1f ms CPU, ratio %.2f\n", round + 1,
                        fetch * 1e3, shell * 1e3, fetch / shell);
            ours.push_back(fetch);
            theirs.push_back(shell);
            ratios.push_back(fetch / shell);
        }
    } catch (const EDbError& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    std::printf("%d text columns x %d rows: fetch %.1f ms CPU; sqlite3 -csv on the same query %.1f ms CPU; "
                "median of paired ratios %.2f\n",
                columns, rows, bench::median(ours) * 1e3, bench::median(theirs) * 1e3, bench::median(ratios));
    return 0;
}
