// Fetches 1,000,000 rows of five columns (integer, text, real, date-time, nullable text)
// into the in-memory rows, from SQLite and from PostgreSQL, and runs the engines' shells
// on the same rows in the same run (sqlite3 -csv, psql --csv, output to /dev/null), so
// the ratio can be read. Also prints the memory per row against the raw bytes of the
// values (8 bytes per number or date-time, the UTF-8 length of a text, 0 for a null).
//
//   bench_dbFetch [rows]      PostgreSQL is measured when QUILLORY_PG_* are set
//                              (eval "$(scripts/pgserver start /tmp/pg)").

#include "benchRows.h"
#include "benchSupport.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void resetPeak()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

struct Run
{
    double seconds = 0;
    qint64 rows = 0;
    qint64 memory = 0; // bytes held by the row set
    qint64 peak = 0;   // growth of the peak RSS during the fetch
    qint64 raw = 0;
    QString types;
};

Run fetch(const QString& connection, const QString& sql)
{
    TDbConnection con;
    con.SetConnectionString(connection);
    con.Open();
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQL({sql});
    const qint64 before = bench::currentRss();
    resetPeak();
    QElapsedTimer t;
    t.start();
    q.Open();
    Run run;
    run.seconds = t.nsecsElapsed() / 1e9;
    run.peak = bench::peakRss() - before;
    TDbRowsPtr rows = q.Rows();
    run.rows = rows->RowCount();
    run.memory = rows->MemoryBytes();
    run.raw = bench::rawBytes(*rows);
    for (const TDbField& f : rows->Fields())
        run.types += f.name + ":" + FieldTypeName(f.type) + " ";
    return run;
}

double shell(const QString& program, const QStringList& args, const QProcessEnvironment& env = {})
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

void report(const char* engine, const Run& run, double reference, const char* shellName)
{
    std::printf("%s: %lld rows fetched in %.3f s; %s on the same rows: %.3f s; ratio %.2f\n", engine,
                static_cast<long long>(run.rows), run.seconds, shellName, reference,
                reference > 0 ? run.seconds / reference : 0.0);
    std::printf("%s: row set %.1f bytes/row, peak RSS growth %.1f bytes/row, raw values %.1f bytes/row; "
                "row set / raw %.2f, peak / raw %.2f\n",
                engine, double(run.memory) / run.rows, double(run.peak) / run.rows,
                double(run.raw) / run.rows, double(run.memory) / run.raw, double(run.peak) / run.raw);
    std::printf("%s: columns %s\n", engine, qPrintable(run.types));
}

// The same rows for both engines: note is null on every third row.
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir dir;
    const QString file = dir.filePath("bench.sqlite");
    try {
        bench::fillBenchTable(file, rows, "note", "note number ");

        const QString sql = "SELECT id, name, amount, stamp, note FROM bench";
        Run lite = fetch("Provider=SQLite;Data Source=" + file, sql);
        double liteShell = shell("sqlite3", {"-csv", file, sql});
        report("SQLite", lite, liteShell, "sqlite3 -csv");

        const auto env = QProcessEnvironment::systemEnvironment();
        const QString host = env.value("QUILLORY_PG_HOST"), port = env.value("QUILLORY_PG_PORT"),
                      user = env.value("QUILLORY_PG_USER"), password = env.value("QUILLORY_PG_PASSWORD"),
                      database = env.value("QUILLORY_PG_DB", "postgres");
        if (host.isEmpty()) {
            std::printf("PostgreSQL: skipped (QUILLORY_PG_* not set)\n");
            return 0;
        }
        const QString pg = "Provider=PostgreSQL;Data Source=" + host + ":" + port +
                           ";Initial Catalog=" + database + ";User ID=" + user + ";Password=" + password;
        {
            TDbConnection con;
            con.SetConnectionString(pg);
            con.Open();
            TDbQuery q;
            q.SetConnection(&con);
            q.SetSQL({"DROP TABLE IF EXISTS quillory_bench;",
                      "CREATE TABLE quillory_bench (id integer, name varchar(40), amount double precision, "
                      "stamp timestamp, note varchar(40));",
                      QString("INSERT INTO quillory_bench SELECT i, 'name-' || i, i * 1.25, "
                              "to_timestamp(1600000000 + i * 61) AT TIME ZONE 'UTC', "
                              "CASE WHEN i % 3 = 0 THEN NULL ELSE 'note number ' || i END "
                              "FROM generate_series(1, %1) i;")
                          .arg(rows),
                      "ANALYZE quillory_bench;"});
            q.Open();
        }
        const QString pgSql = "SELECT id, name, amount, stamp, note FROM quillory_bench";
        Run pgRun = fetch(pg, pgSql);
        QProcessEnvironment penv = env;
        penv.insert("PGPASSWORD", password);
        double pgShell = shell(
            "psql", {"-X", "-q", "--csv", "-h", host, "-p", port, "-U", user, "-d", database, "-c", pgSql},
            penv);
        report("PostgreSQL", pgRun, pgShell, "psql --csv");
        TDbConnection con;
        con.SetConnectionString(pg);
        con.Open();
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQL({"DROP TABLE quillory_bench"});
        q.Open();
    } catch (const EDbError& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
