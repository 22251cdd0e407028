// The query window's memory over a saved query of 1,000,000 rows (integer, text, real,
// date-time, nullable text): the process's resident memory before the window opens,
// while it shows the rows, and after it is closed, each beside the raw bytes of the values
// (8 bytes per number or date-time, the UTF-8 length of a text, 0 for a null) from the
// same run. A small window is opened and closed first, so that what the toolkit keeps
// for good (fonts, styles) is not counted. Several rounds: the allocator's behaviour can
// change after the first large block it frees.
//
//   bench_windowMemory [rows] [rounds]

#include "benchRows.h"
#include "benchSupport.h"
#include "datModQuillory.h"
#include "formShowQuery.h"
#include "uDbGrid.h"
#include "uDbRows.h"
#include "uDbRowsModel.h"

#include "uPageMemory.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

// Opens the saved query and waits until the grid shows all its rows.
std::unique_ptr<TfrmShowQuery> openWindow(QApplication& app, int queryId, int rows)
{
    auto w = std::make_unique<TfrmShowQuery>();
    w->LoadQuery(queryId);
    w->show();
    QElapsedTimer t;
    t.start();
    while (w->gridData->model()->rowCount() < rows && t.elapsed() < 120000)
        app.processEvents(QEventLoop::AllEvents, 50);
    w->grab();
    if (w->gridData->model()->rowCount() != rows) {
        std::fprintf(stderr, "the window shows %d rows, not %d\n", w->gridData->model()->rowCount(), rows);
        std::exit(1);
    }
    return w;
}

void closeWindow(QApplication& app, std::unique_ptr<TfrmShowQuery> w)
{
    w.reset();
    app.sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app.processEvents();
}

double mb(qint64 bytes)
{
    return bytes / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::UseOneHeap(); // as the program does at its start
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1'000'000;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    QTemporaryDir dir;
    const QString file = dir.filePath("bench.sqlite");
    bench::fillBenchTable(file, rows, "note", "note number ");
    QDir().mkpath(dir.filePath("store"));
    dmQuillory = new TdmQuillory(dir.filePath("store"));
    dmQuillory->AddFolder(QStringLiteral("Bench"));
    const int folder = dmQuillory->folders().first().ID;
    const QString connection = "Provider=SQLite;Data Source=" + file;
    dmQuillory->AddQuery(folder, "small", "SELECT id, name, amount, stamp, note FROM bench LIMIT 10", connection);
    const int small = dmQuillory->currentQuery()->ID;
    dmQuillory->AddQuery(folder, "large", "SELECT id, name, amount, stamp, note FROM bench", connection);
    const int large = dmQuillory->currentQuery()->ID;

    closeWindow(app, openWindow(app, small, std::min(rows, 10)));

    std::printf("%d rows; resident memory of the process, growth from before the window opened:\n", rows);
    for (int round = 1; round <= rounds; ++round) {
        const qint64 start = bench::currentRss();
        auto w = openWindow(app, large, rows);
        const qint64 held = bench::currentRss();
        const TDbRowsModel* model = static_cast<const TDbRowsModel*>(w->gridData->model());
        const qint64 rowSet = model->Rows()->MemoryBytes();
        const qint64 raw = bench::rawBytes(*model->Rows());
        closeWindow(app, std::move(w));
        const qint64 after = bench::currentRss();
        std::printf("round %d: raw values %.1f MB; row set %.1f MB (%.2f x raw); window open +%.1f MB "
                    "(%.2f x raw); after it closed %+.1f MB (%.3f x raw)\n",
                    round, mb(raw), mb(rowSet), double(rowSet) / raw, mb(held - start), double(held - start) / raw,
                    mb(after - start), double(after - start) / raw);
    }
    delete dmQuillory;
    return 0;
}
