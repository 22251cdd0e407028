// Shows 1,000,000 rows of five columns (integer, text, real, date-time, nullable text)
// in the data grid: binding the rows (model reset, column sizing, first paint), a jump
// to the last row with its paint, and a walk of the data set's cursor over every row
// while the grid is bound. The same view over a bare model that makes up its texts
// from the row number runs beside it, so the grid's own cost can be read as a ratio.
// Also prints the memory the binding adds, against the rows' own bytes.
//
//   bench_grid [rows] [rounds of the jump]

#include "benchSupport.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbRowCursor.h"
#include "uDbRows.h"
#include "uDbRowsBuilder.h"
#include "uDbRowsModel.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

TDbRowsPtr makeRows(int count)
{
    QList<TDbField> fields{{"id", "id", TDbFieldType::Integer, "INTEGER", 0},
                           {"name", "name", TDbFieldType::String, "TEXT", 0},
                           {"amount", "amount", TDbFieldType::Float, "REAL", 0},
                           {"at", "at", TDbFieldType::DateTime, "DATETIME", 0},
                           {"note", "note", TDbFieldType::String, "TEXT", 0}};
    TDbRowsBuilder b(fields);
    const QDateTime start(QDate(2020, 1, 1), QTime(8, 0));
    for (int i = 0; i < count; ++i) {
        b.AppendInteger(i);
        b.AppendText(QStringLiteral("name %1").arg(i));
        b.AppendFloat(i * 0.25);
        b.AppendDateTime(start.addSecs(i * 60));
        if (i % 2)
            b.AppendText(QStringLiteral("note"));
        else
            b.AppendNull();
    }
    return b.Finish();
}

// The least a model can do: texts made up from the row number, nothing stored.
class BareModel : public QAbstractTableModel
{
public:
    explicit BareModel(int rows) : m_rows(rows) {}
    int rowCount(const QModelIndex& = {}) const override { return m_rows; }
    int columnCount(const QModelIndex& = {}) const override { return 5; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return QString::number(index.row() * 5 + index.column());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o == Qt::Horizontal && role == Qt::DisplayRole)
            return QStringLiteral("column %1").arg(section);
        return {};
    }

private:
    int m_rows;
};

struct Times
{
    double bind = 0;
    double last = 0;
    double walk = 0;
};

double threadCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double seconds(QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1'000'000;
    const int jumpRounds = argc > 2 ? QByteArray(argv[2]).toInt() : 9;

    TDbRowsPtr rows = makeRows(count);
    std::printf("rows: %d, five columns, %.1f MB held by the rows\n", count, rows->MemoryBytes() / 1e6);

    Times grid;
    qint64 added = 0;
    {
        TDbRowCursor cursor;
        TDbDataSource source;
        source.SetDataSet(&cursor);
        TDbGrid view;
        view.resize(800, 600);
        view.SetDataSource(&source);
        view.show();
        app.processEvents();
        const qint64 before = bench::currentRss();
        QElapsedTimer t;
        t.start();
        cursor.SetRows(rows);
        view.grab();
        grid.bind = seconds(t);
        added = bench::currentRss() - before;
        // What the binding left queued (the follow of the first row, the paint on screen)
        // belongs to the binding, not to the jump.
        app.processEvents();
        t.restart();
        cursor.Last();
        app.processEvents();
        view.grab();
        grid.last = seconds(t);
        t.restart();
        for (cursor.First(); !cursor.Eof(); cursor.Next()) {
        }
        app.processEvents();
        grid.walk = seconds(t);
        if (view.currentIndex().row() != count - 1)
            std::printf("the grid did not follow the walk to its end\n");
    }

    Times bare;
    qint64 bareAdded = 0;
    {
        BareModel model(0);
        QTableView view;
        view.resize(800, 600);
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.verticalHeader()->hide();
        view.show();
        app.processEvents();
        const qint64 before = bench::currentRss();
        QElapsedTimer t;
        t.start();
        BareModel full(count);
        view.setModel(&full);
        view.selectionModel()->setCurrentIndex(full.index(0, 0), QItemSelectionModel::ClearAndSelect);
        view.grab();
        bare.bind = seconds(t);
        bareAdded = bench::currentRss() - before;
        app.processEvents();
        t.restart();
        view.selectionModel()->setCurrentIndex(full.index(count - 1, 0), QItemSelectionModel::ClearAndSelect);
        view.scrollTo(full.index(count - 1, 0));
        app.processEvents(); // the paint on screen, as for the grid
        view.grab();
        bare.last = seconds(t);
    }

    // The jump again in paired rounds, beside a bare view over the grid's own kind of model
    // and the same rows: the grid's cost beyond what the view and the model take anyway.
    // Thread CPU time, so that other work on the machine does not count.
    std::vector<double> gridJumps, viewJumps, jumpRatios;
    {
        TDbRowCursor cursor;
        TDbDataSource source;
        source.SetDataSet(&cursor);
        TDbGrid grid;
        grid.resize(800, 600);
        grid.SetDataSource(&source);
        grid.show();
        cursor.SetRows(rows);
        TDbRowsModel model;
        model.SetRows(rows);
        QTableView view;
        view.resize(800, 600);
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.verticalHeader()->hide();
        view.setModel(&model);
        view.show();
        app.processEvents();
        // Each round binds the rows afresh, as a window opening them does.
        for (int round = 0; round < jumpRounds; ++round) {
            cursor.SetRows(nullptr);
            cursor.SetRows(rows);
            app.processEvents();
            grid.grab();
            double t = threadCpu();
            cursor.Last();
            app.processEvents();
            grid.grab();
            gridJumps.push_back(threadCpu() - t);

            model.SetRows(nullptr);
            model.SetRows(rows);
            view.selectionModel()->setCurrentIndex(model.index(0, 0), QItemSelectionModel::ClearAndSelect);
            app.processEvents();
            view.grab();
            t = threadCpu();
            view.selectionModel()->setCurrentIndex(model.index(count - 1, 0), QItemSelectionModel::ClearAndSelect);
            view.scrollTo(model.index(count - 1, 0));
            app.processEvents();
            view.grab();
            viewJumps.push_back(threadCpu() - t);
            jumpRatios.push_back(gridJumps.back() / viewJumps.back());
        }
        if (grid.currentIndex().row() != count - 1)
            std::printf("the grid did not follow the jump to the last row\n");
    }

    std::printf("%-34s %10s %10s %7s\n", "", "grid", "bare view", "ratio");
    std::printf("%-34s %9.1fms %9.1fms %6.2fx\n", "bind rows and first paint", grid.bind * 1e3,
                bare.bind * 1e3, grid.bind / bare.bind);
    std::printf("%-34s %9.1fms %9.1fms %6.2fx\n", "jump to last row and paint", grid.last * 1e3,
                bare.last * 1e3, grid.last / bare.last);
    std::printf("%-34s %9.2fms %9.2fms %6.2fx  (CPU, median of %d paired rounds; the bare view over "
                "the grid's own model)\n",
                "jump to last row and paint", bench::median(gridJumps) * 1e3, bench::median(viewJumps) * 1e3,
                bench::median(jumpRatios), jumpRounds);
    std::printf("%-34s %9.2fms %9.2fms %6.2fx  (CPU, the first of those rounds)\n", "", gridJumps.front() * 1e3,
                viewJumps.front() * 1e3, gridJumps.front() / viewJumps.front());
    std::printf("%-34s %9.1fms\n", "cursor walk over all rows, bound", grid.walk * 1e3);
    std::printf("memory added by binding: %.1f MB (bare view: %.1f MB); the rows hold %.1f MB\n", added / 1e6,
                bareAdded / 1e6, rows->MemoryBytes() / 1e6);
    return 0;
}
