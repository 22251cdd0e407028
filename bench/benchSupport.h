#pragma once

// Pieces the benchmarks share: memory figures of this process and the generated
// SQLite table they all measure against.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace bench {

// The middle of several timed runs (0 for none).
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A "Vm...:" figure of /proc/self/status in bytes ("VmRSS" now, "VmHWM" the peak).
inline qint64 statusBytes(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

inline qint64 currentRss()
{
    return statusBytes("VmRSS");
}
inline qint64 peakRss()
{
    return statusBytes("VmHWM");
}

// Creates table "bench" (id INTEGER, name VARCHAR(40), amount REAL, stamp DATETIME,
// <noteColumn> VARCHAR(40)) with `rows` rows in a new SQLite file; every third note is
// null, the others are notePrefix + the row number. A benchmark cannot go on without it:
// a failure ends the program with SQLite's message.
inline void fillBenchTable(const QString& file, qint64 rows, const QString& noteColumn,
                              const QString& notePrefix)
{
    auto fail = [](const char* error) {
        std::fprintf(stderr, "filling SQLite: %s\n", error);
        std::exit(1);
    };
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(file).constData(), &db) != SQLITE_OK)
        fail(sqlite3_errmsg(db));
    const QByteArray sql =
        QStringLiteral("CREATE TABLE bench (id INTEGER, name VARCHAR(40), amount REAL, stamp DATETIME, "
                       "%1 VARCHAR(40));"
                       "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < %2) "
                       "INSERT INTO bench SELECT i, 'name-' || i, i * 1.25, "
                       "strftime('%Y-%m-%d %H:%M:%S', 1600000000 + i * 61, 'unixepoch'), "
                       "CASE WHEN i % 3 = 0 THEN NULL ELSE '%3' || i END FROM s")
            .arg(noteColumn)
            .arg(rows)
            .arg(notePrefix)
            .toUtf8();
    char* err = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err) != SQLITE_OK)
        fail(err);
    sqlite3_close(db);
}

} // namespace bench
