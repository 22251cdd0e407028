// The headless run: `Quillory --run` of a saved query of N rows x 5 columns, written to
// /dev/null, beside the database's own shell writing the same rows as CSV (`sqlite3 -csv`,
// and `psql --csv` when QUILLORY_PG_* name a server), in turns in the same run. Prints
// the median wall time of each, the ratio to the shell, and each process's peak memory;
// then how Quillory's peak at the largest count compares with the smallest (its rows
// stream, so the peak should not grow with the rows).
//
//   bench_cli [rows ...]     (default 1000000 10000000; QUILLORY_BENCH_RUNS runs, default 3)

#include "benchSupport.h"
#include "datModQuillory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <vector>

extern char** environ;

namespace {

struct Run
{
    double seconds = 0;
    qint64 peakBytes = 0;
};

// Runs the program with its standard output on /dev/null; the wall time and the peak
// resident memory of that process alone (wait4), or exits when it fails.
Run runOnce(const QStringList& command, const QProcessEnvironment& env)
{
    std::vector<QByteArray> args;
    for (const QString& a : command)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> vars;
    for (const QString& v : env.toStringList())
        vars.push_back(v.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& v : vars)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", qPrintable(command.join(u' ')), status);
        std::exit(1);
    }
    return {seconds, qint64(usage.ru_maxrss) * 1024};
}

Run runMedian(const QStringList& command, const QProcessEnvironment& env, int runs)
{
    std::vector<double> times;
    qint64 peak = 0;
    for (int i = 0; i < runs; ++i) {
        const Run r = runOnce(command, env);
        times.push_back(r.seconds);
        peak = std::max(peak, r.peakBytes);
    }
    return {bench::median(times), peak};
}

void report(const char* engine, qint64 rows, const Run& ours, const char* shellName, const Run& shell)
{
    std::printf("%-10s %10lld rows  Quillory --run %7.2f s  %7.1f MiB   %-12s %7.2f s  %7.1f MiB   "
                "ratio %.2f\n",
                engine, static_cast<long long>(rows), ours.seconds, double(ours.peakBytes) / 1048576.0,
                shellName, shell.seconds, double(shell.peakBytes) / 1048576.0, ours.seconds / shell.seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<qint64> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(QByteArray(argv[i]).toLongLong());
    if (counts.empty())
        counts = {1000000, 10000000};
    const int runs = qEnvironmentVariableIsSet("QUILLORY_BENCH_RUNS") ? qEnvironmentVariableIntValue("QUILLORY_BENCH_RUNS") : 3;

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));

    const auto pgEnv = QProcessEnvironment::systemEnvironment();
    const QString pgHost = pgEnv.value(QStringLiteral("QUILLORY_PG_HOST"));
    const bool withPg = !pgHost.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("psql")).isEmpty();
    const QString pgConnect = QStringLiteral("Provider=PostgreSQL;Data Source=%1:%2;Initial Catalog=%3;User ID=%4;Password=%5")
                                  .arg(pgHost, pgEnv.value(QStringLiteral("QUILLORY_PG_PORT")),
                                       pgEnv.value(QStringLiteral("QUILLORY_PG_DB")),
                                       pgEnv.value(QStringLiteral("QUILLORY_PG_USER")),
                                       pgEnv.value(QStringLiteral("QUILLORY_PG_PASSWORD")));
    QProcessEnvironment psqlEnv = env;
    psqlEnv.insert(QStringLiteral("PGPASSWORD"), pgEnv.value(QStringLiteral("QUILLORY_PG_PASSWORD")));
    const QStringList psql = {QStringLiteral("psql"), QStringLiteral("-X"), QStringLiteral("-q"),
                              QStringLiteral("-h"), pgHost, QStringLiteral("-p"),
                              pgEnv.value(QStringLiteral("QUILLORY_PG_PORT")), QStringLiteral("-U"),
                              pgEnv.value(QStringLiteral("QUILLORY_PG_USER")), QStringLiteral("-d"),
                              pgEnv.value(QStringLiteral("QUILLORY_PG_DB"))};
    // Filling the table takes longer than the data layer waits for a silent server.
    const auto execute = [&](const QString& sql) {
        runOnce(psql + QStringList{QStringLiteral("-c"), sql}, psqlEnv);
    };

    std::map<qint64, qint64> peaks; // Quillory's peak by row count, SQLite runs
    for (const qint64 rows : counts) {
        const QString file = dir.filePath(QStringLiteral("bench%1.sqlite").arg(rows));
        bench::fillBenchTable(file, rows, QStringLiteral("note"), QStringLiteral("note-"));
        const QString sqliteConnect = QStringLiteral("Provider=SQLite;Data Source=") + file;
        const QString pgTable = QStringLiteral("quillory_bench_cli_%1").arg(rows);
        if (withPg)
            execute(QStringLiteral("DROP TABLE IF EXISTS %1; CREATE TABLE %1 AS SELECT i AS id, "
                                   "('name-' || i)::varchar(40) AS name, i * 1.25::float8 AS amount, "
                                   "to_timestamp(1600000000 + i * 61)::timestamp AS stamp, "
                                   "CASE WHEN i % 3 = 0 THEN NULL ELSE ('note-' || i)::varchar(40) END AS note "
                                   "FROM generate_series(1::bigint, %2) AS i")
                        .arg(pgTable)
                        .arg(rows));
        // A copy of the program of its own, with favourites beside it.
        const QString bin = dir.filePath(QStringLiteral("bin%1").arg(rows));
        const QString program = bin + QStringLiteral("/Quillory");
        if (!QDir().mkpath(bin) || !QFile::copy(QStringLiteral(QUILLORY_BIN_DIR "/Quillory"), program)) {
            std::fprintf(stderr, "no Quillory in " QUILLORY_BIN_DIR "\n");
            return 1;
        }
        {
            TdmQuillory store(bin);
            store.AddFolder(QStringLiteral("Bench"));
            const int folder = store.folders().first().ID;
            store.AddQuery(folder, QStringLiteral("SQLite"), QStringLiteral("SELECT * FROM bench"), sqliteConnect);
            if (withPg)
                store.AddQuery(folder, QStringLiteral("PostgreSQL"), QStringLiteral("SELECT * FROM %1").arg(pgTable),
                               pgConnect);
        }

        const Run ours = runMedian({program, QStringLiteral("--run"), QStringLiteral("Bench/SQLite")}, env, runs);
        const Run shell = runMedian({QStringLiteral("sqlite3"), QStringLiteral("-csv"), file,
                                     QStringLiteral("SELECT * FROM bench")},
                                    env, runs);
        report("SQLite", rows, ours, "sqlite3 -csv", shell);
        peaks[rows] = ours.peakBytes;
        if (withPg) {
            const Run oursPg =
                runMedian({program, QStringLiteral("--run"), QStringLiteral("Bench/PostgreSQL")}, env, runs);
            const Run shellPg = runMedian(
                psql + QStringList{QStringLiteral("--csv"), QStringLiteral("-c"), QStringLiteral("SELECT * FROM %1").arg(pgTable)},
                psqlEnv, runs);
            report("PostgreSQL", rows, oursPg, "psql --csv", shellPg);
            execute(QStringLiteral("DROP TABLE %1").arg(pgTable));
        }
        QFile::remove(file);
    }
    if (peaks.size() > 1)
        std::printf("Quillory peak memory, %lld rows / %lld rows: %.2f (aim <= 1.20)\n",
                    static_cast<long long>(peaks.rbegin()->first), static_cast<long long>(peaks.begin()->first),
                    double(peaks.rbegin()->second) / double(peaks.begin()->second));
    if (!withPg)
        std::printf("PostgreSQL left out: QUILLORY_PG_* name no server, or psql is missing\n");
    return 0;
}
