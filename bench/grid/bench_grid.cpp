// Shows 1,000,000 rows of five columns (integer, text, real, date-time, nullable text)
// in the data grid: binding the rows (model reset, column sizing, first paint), a jump
// to the last row with its paint, and a walk of the data set's cursor over every row
// while the grid is bound. The same view over a bare model that makes up its texts
// from the row number runs beside it, so the grid's own cost can be read as a ratio.
// Also prints the memory the binding adds, against the rows' own bytes.
//
//   bench_grid [rows]

#include "benchSupport.h"
#include "uDbDataSource.h"
#include "uDbGrid.h"
#include "uDbRowCursor.h"
#include "uDbRows.h"
#include "uDbRowsBuilder.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>

#include <cstdio>

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
        t.restart();
        view.selectionModel()->setCurrentIndex(full.index(count - 1, 0), QItemSelectionModel::ClearAndSelect);
        view.scrollTo(full.index(count - 1, 0));
        view.grab();
        bare.last = seconds(t);
    }

    std::printf("%-34s %10s %10s %7s\n", "", "grid", "bare view", "ratio");
    std::printf("%-34s %9.1fms %9.1fms %6.2fx\n", "bind rows and first paint", grid.bind * 1e3,
                bare.bind * 1e3, grid.bind / bare.bind);
    std::printf("%-34s %9.1fms %9.1fms %6.2fx\n", "jump to last row and paint", grid.last * 1e3,
                bare.last * 1e3, grid.last / bare.last);
    std::printf("%-34s %9.1fms\n", "cursor walk over all rows, bound", grid.walk * 1e3);
    std::printf("memory added by binding: %.1f MB (bare view: %.1f MB); the rows hold %.1f MB\n", added / 1e6,
                bareAdded / 1e6, rows->MemoryBytes() / 1e6);
    return 0;
}
