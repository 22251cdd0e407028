// Fills the appointment store with the rows of a 100,000-row SQLite table (one
// appointment per row, 14 min 24 s each, the captions from a text column) in one update
// and lays out and paints a month view over the busiest weeks (about 1,400 appointments
// a day). Beside it, the fetch of the same rows from SQLite into the in-memory rows. Runs
// alternate; medians are printed. Aim: fill + first paint <= 0.5 x the fetch.
//
//   bench_calendar [rows] [--shots folder]   (--shots writes the four modes as PNG files)

#include "benchSupport.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uSchedAllView.h"

#include <QApplication>
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 count = args.size() > 1 && !args[1].startsWith("--") ? args[1].toLongLong() : 100'000;
    const int shots = int(args.indexOf("--shots"));

    QTemporaryDir dir;
    const QString file = dir.filePath("bench.sqlite");
    bench::fillBenchTable(file, count, "note", "note ");
    TDbConnection con;
    con.SetConnectionString("Provider=SQLite;Data Source=" + file);
    con.Open();

    // The appointments the store receives: made once from the fetched rows.
    std::vector<TSchedItemRec> recs;
    {
        TDbQuery q;
        q.SetConnection(&con);
        q.SetSQL({"SELECT id, name, amount, stamp, note FROM bench"});
        q.Open();
        const TDbRowsPtr rows = q.Rows();
        recs.reserve(size_t(rows->RowCount()));
        for (qsizetype r = 0; r < rows->RowCount(); ++r) {
            TSchedItemRec rec;
            rec.Start = SchedTimeFromDateTime(rows->AsDateTime(r, 3));
            rec.Finish = rec.Start + 864'000;
            rec.Caption = rows->AsString(r, 1);
            recs.push_back(std::move(rec));
        }
    }
    const QDate busiest = SchedDateOf(recs[recs.size() / 2].Start);

    std::vector<double> fetch, fill, paint;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        {
            TDbQuery q;
            q.SetConnection(&con);
            q.SetSQL({"SELECT id, name, amount, stamp, note FROM bench"});
            q.Open();
            if (q.RecordCount() != count)
                std::printf("fetched %lld rows\n", static_cast<long long>(q.RecordCount()));
        }
        fetch.push_back(t.nsecsElapsed() / 1e6);

        TSchedServer server;
        TSchedAllView view;
        view.resize(1000, 700);
        view.SetServer(&server);
        view.SetViewMode(vmMonth);
        view.SetStartDate(busiest);
        view.show();
        app.processEvents();
        t.restart();
        {
            TSchedUpdateGuard update(server);
            for (const TSchedItemRec& rec : recs)
                server.Add(rec);
        }
        const double filled = t.nsecsElapsed() / 1e6;
        const QPixmap shot = view.viewport()->grab();
        const double total = t.nsecsElapsed() / 1e6;
        fill.push_back(filled);
        paint.push_back(total - filled);
        if (run == 0 && shots > 0 && shots + 1 < args.size()) {
            const QString folder = args[shots + 1];
            view.resize(900, 600);
            const std::pair<TSchedViewMode, const char*> modes[] = {
                {vmDay, "day"}, {vmWorkWeek, "workweek"}, {vmWeek, "week"}, {vmMonth, "month"}};
            for (const auto& [mode, name] : modes) {
                view.SetViewMode(mode);
                view.SetStartDate(busiest);
                view.grab().save(folder + "/calendar-" + name + ".png");
            }
        }
    }
    const double f = median(fetch), s = median(fill), p = median(paint);
    std::printf("%lld rows, month view 1000 x 700 over %s, 5 alternating runs, medians\n",
                static_cast<long long>(count), qPrintable(busiest.toString(Qt::ISODate)));
    std::printf("fetch from SQLite into rows:      %8.1f ms\n", f);
    std::printf("store fill (one update):          %8.1f ms\n", s);
    std::printf("month view layout + first paint:  %8.1f ms\n", p);
    std::printf("fill + first paint:               %8.1f ms = %.2f x the fetch (aim <= 0.50)\n", s + p, (s + p) / f);
    return 0;
}
