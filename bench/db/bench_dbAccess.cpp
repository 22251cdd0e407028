// The Access backend on nwind.mdb, beside mdb-export in the same run. The backend reads
// through its reader process (quillory-access-reader, limited; one a connection), so its
// figures include starting that process at open:
//  - open + the designer's example 3 (left outer join, GROUP BY, ORDER BY);
//  - a full scan of the largest table ("Order Details": open, read into the SQLite copy,
//    fetch every row into the in-memory rows) against `mdb-export nwind.mdb "Order
//    Details" > /dev/null`, which opens, reads and writes the same rows (its process
//    start-up is shown apart, as the export of the 3-row Shippers table);
//  - the memory SQLite holds for all nine tables against the file's size;
//  - what starting the reader costs: a bare start and exit (no file opened) with its
//    limits, and the table list request (start, open, catalogue).
// Rounds alternate between the two sides; medians are printed.
//
//   bench_dbAccess [file.mdb [table]] [rounds]

#include "benchSupport.h"
#include "uDbAccessReader.h"
#include "uDbConnection.h"
#include "uDbError.h"
#include "uDbQuery.h"
#include "uLimitedProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using bench::median;

std::unique_ptr<TDbConnection> openFile(const QString& file)
{
    auto con = std::make_unique<TDbConnection>();
    con->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file);
    con->Open();
    return con;
}

TDbRowsPtr run(TDbConnection& con, const QString& sql)
{
    TDbQuery q;
    q.SetConnection(&con);
    q.SetSQLText(sql);
    q.Open();
    return q.Rows();
}

double exportMs(const QString& file, const QString& table)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start("mdb-export", {file, table});
    p.waitForFinished(-1);
    if (p.exitCode() != 0)
        std::fprintf(stderr, "mdb-export failed\n");
    return t.nsecsElapsed() / 1e6;
}

// CPU time of the processes this one has waited for, in ms.
double childrenCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// The reader started with its limits and no request: it exits at once. Wall time; its
// CPU time (and the fork's) goes to cpu.
double bareStartMs(std::vector<double>& cpu)
{
    const double cpuBefore = childrenCpuMs();
    QElapsedTimer t;
    t.start();
    const platform::TLimitedChild child =
        platform::StartLimitedProcess(dbbackends::AccessReaderProgram(), {}, {quint64(256) << 20, 32, false});
    char byte;
    while (read(child.output, &byte, 1) > 0) {
    }
    close(child.output);
    waitpid(child.pid, nullptr, 0);
    const double wall = t.nsecsElapsed() / 1e6;
    cpu.push_back(childrenCpuMs() - cpuBefore);
    return wall;
}

double listMs(const QString& file)
{
    QElapsedTimer t;
    t.start();
    dbbackends::TAccessReader(file, 30).Start([](char, const char*, quint32) {});
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString file = args.value(0, QStringLiteral(QUILLORY_TESTDATA "/access/nwind.mdb"));
    const QString table = args.value(1, QStringLiteral("Order Details"));
    const int rounds = args.value(2, QStringLiteral("21")).toInt();
    const QString example3 = "SELECT C.CompanyName, Count(O.OrderID) AS Orders\nFROM \n"
                             "Customers AS C LEFT OUTER JOIN Orders AS O ON C.CustomerID=O.CustomerID\n"
                             "GROUP BY C.CompanyName\nORDER BY Orders desc";
    try {
        std::vector<double> example, scan, exported, startup, bare, bareCpu, list;
        qsizetype rows = 0;
        qint64 rowBytes = 0;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer t;
            t.start();
            {
                auto con = openFile(file);
                run(*con, example3);
            }
            example.push_back(t.nsecsElapsed() / 1e6);

            exported.push_back(exportMs(file, table));
            startup.push_back(exportMs(file, QStringLiteral("Shippers")));

            t.restart();
            {
                auto con = openFile(file);
                TDbRowsPtr r = run(*con, "SELECT * FROM [" + table + "]");
                rows = r->RowCount();
                rowBytes = r->MemoryBytes();
            }
            scan.push_back(t.nsecsElapsed() / 1e6);

            bare.push_back(bareStartMs(bareCpu));
            list.push_back(listMs(file));
        }

        // Memory of the copy: every table read once, measured by SQLite's own count.
        const qint64 before = sqlite3_memory_used();
        auto con = openFile(file);
        QStringList tables;
        con->GetTableNames(tables);
        for (const QString& t : tables)
            run(*con, "SELECT count(*) FROM [" + t + "]");
        const qint64 copy = sqlite3_memory_used() - before;
        const qint64 size = QFileInfo(file).size();

        std::printf("file %s (%lld bytes), %d rounds, medians\n", qPrintable(file), size, rounds);
        std::printf("open + example 3:                 %8.2f ms\n", median(example));
        std::printf("full scan of \"%s\" (%lld rows): %8.2f ms   (rows held: %lld bytes)\n", qPrintable(table),
                    (long long)rows, median(scan), (long long)rowBytes);
        std::printf("mdb-export of the same table:     %8.2f ms\n", median(exported));
        std::printf("mdb-export of Shippers (3 rows):  %8.2f ms   (its start-up, roughly)\n", median(startup));
        std::printf("ratio scan / mdb-export:          %8.2f   (%.2f against mdb-export less its start-up)\n",
                    median(scan) / median(exported), median(scan) / std::max(0.01, median(exported) - median(startup)));
        std::printf("reader start + exit, no request:  %8.2f ms   (its CPU time: %.2f ms; the rest is waiting for a core)\n",
                    median(bare), median(bareCpu));
        std::printf("reader table list (start, open):  %8.2f ms   (paid once, at open)\n",
                    median(list));
        std::printf("SQLite copy of all %lld tables:     %8lld bytes = %.2f x the file's size\n",
                    (long long)tables.size(), copy, double(copy) / double(size));
    } catch (const EDbError& e) {
        std::fprintf(stderr, "error: %s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
